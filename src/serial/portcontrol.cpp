#include "serial/portcontrol.h"

#include "app/frmhalvec.h"
#include "config/module1.h"
#include "panel/machinepanel.h"
#include "rxedit/rxedit.h"
#include "serial/serial.h"

#include <QGroupBox>
#include <QPointer>
#include <QTimer>

namespace
{
// Stored speed texts and their codes. "150" is offered by the setup dialog,
// so it has its own code rather than leaving the port at whatever speed the
// previous machine used.
struct SpeedEntry {
    const char *text;
    int code;
};
constexpr SpeedEntry kSpeeds[] = {
    {"150", Serial::Baud150},     {"300", Serial::Baud300},       {"600", Serial::Baud600},
    {"1200", Serial::Baud1200},   {"2400", Serial::Baud2400},     {"4800", Serial::Baud4800},
    {"9600", Serial::Baud9600},   {"19200", Serial::Baud19200},   {"38400", Serial::Baud38400},
    {"57600", Serial::Baud57600}, {"115200", Serial::Baud115200},
};

// The speeds Port Scan steps through, fastest first, and round again.
struct ScanStep {
    int from;
    int to;
    int code;
};
constexpr ScanStep kScanSteps[] = {
    {9600, 4800, Serial::Baud4800}, {4800, 2400, Serial::Baud2400}, {2400, 1200, Serial::Baud1200},
    {1200, 600, Serial::Baud600},   {600, 9600, Serial::Baud9600},
};

constexpr int kPurgePauseMs = 300;
const QString kEol = QStringLiteral("\n");
} // namespace

PortControl::PortControl(frmHalvec &win) : QObject(&win), w(win)
{
    // A device pulled out while open: the port has closed itself; show why.
    connect(&w.s1, &Serial::Lost, this, [this] {
        const int mc = w.m.SelectedMC;
        if (mc >= 1 && mc <= Module1::Max_MC) mark(unavailableText(w.m.mc(mc, MCPORT)));
    });
}

QString PortControl::missingText(const QString &port)
{
    return QStringLiteral(" ATTENTION") + kEol + kEol + QStringLiteral(" ") + port + kEol + kEol +
           QStringLiteral("  is Missing");
}

QString PortControl::unavailableText(const QString &port)
{
    return QStringLiteral("  ATTENTION") + kEol + kEol + QStringLiteral("  ") + port + kEol +
           QStringLiteral("  is  unavailable");
}

void PortControl::mark(const QString &text)
{
    if (w.panel) w.panel->markBadPort(text);
    emit portMarked(text);
}

void PortControl::loadMachineSettings(int mc)
{
    Module1 &m = w.m;
    const QString speed = m.mc(mc, MCDRATE);
    for (const auto &e : kSpeeds)
        if (speed == QLatin1String(e.text)) m.s_speed = e.code;
    m.s_stopbits = m.mc(mc, MCSBITS) == QLatin1String("1") ? Serial::Stop1 : Serial::Stop2;
    if (m.mc(mc, MCDBITS) == QLatin1String("8")) {
        m.s_databits = Serial::Bits8;
        m.s_parity = Serial::ParityNone;
    } else {
        m.s_databits = Serial::Bits7;
        m.s_parity = Serial::ParityEven;
    }
    m.s_rtscts = false;
    m.s_xonxoff = false;
    const QString flow = m.mc(mc, MCFLOW);
    if (flow == QLatin1String("1"))
        m.s_xonxoff = true;
    else if (flow == QLatin1String("2"))
        m.s_rtscts = true;
}

QString PortControl::listedPortOfSelected() const
{
    const int mc = w.m.SelectedMC;
    if (mc < 1 || mc > Module1::Max_MC) return {};
    const QString port = w.m.mc(mc, MCPORT);
    if (port.isEmpty()) return {};
    const QStringList names = w.ports.names();
    return names.contains(port) ? port : QString();
}

void PortControl::OpenPort()
{
    const int mc = w.m.SelectedMC;
    if (mc < 1 || mc > Module1::Max_MC) return;
    const QString port = listedPortOfSelected();
    if (port.isEmpty()) {
        // Never leave the port open on a device that is not this machine's.
        if (w.s1.isOpen()) w.s1.Close();
        mark(missingText(w.m.mc(mc, MCPORT)));
        return;
    }
    w.s1.setPortName(port);
    loadMachineSettings(mc);
    w.s1.Close();
    if (!S_Open_Port(w.s1)) mark(unavailableText(port));
}

void PortControl::Set_port_properties(Serial &port)
{
    const Module1 &m = w.m;
    port.setBaud(m.s_speed);
    port.setBits(m.s_databits);
    port.setStop(m.s_stopbits);
    port.setParity(m.s_parity);
    port.setXON(m.s_xonxoff);
    port.setDataTerminalReady(true);
    port.setCTS(m.s_rtscts);
    // With the hardware handshake on, RTS belongs to the port.
    if (!m.s_rtscts) port.setRequestToSend(true);
}

void PortControl::S_Set_Port(Serial &port)
{
    Set_port_properties(port);
    port.Reset();
    Set_port_properties(port);
}

void PortControl::S_Purge_Port(Serial &port, std::function<void()> done)
{
    port.setBaud(Serial::Baud115200);
    port.Reset();
    port.Flush();
    QTimer::singleShot(kPurgePauseMs, this, [this, p = QPointer<Serial>(&port), done] {
        if (p) S_Set_Port(*p);
        if (done) done();
    });
}

bool PortControl::S_Open_Port(Serial &port)
{
    Set_port_properties(port);
    const bool ok = port.Open();
    Set_port_properties(port);
    return ok;
}

void PortControl::ChangeComPars(int code)
{
    Module1 &m = w.m;
    const auto eightNoParity = [&m] {
        m.s_databits = Serial::Bits8;
        m.s_parity = Serial::ParityNone;
        m.s_stopbits = Serial::Stop1;
        return QStringLiteral(",n,8,1");
    };
    QString suffix;
    switch (code) {
    case 255:
        m.AutoComSpeed = 9600;
        m.s_speed = Serial::Baud9600;
        suffix = eightNoParity();
        break;
    case 0:
        for (const auto &step : kScanSteps)
            if (m.AutoComSpeed == step.from) {
                m.AutoComSpeed = step.to;
                m.s_speed = step.code;
                break;
            }
        suffix = eightNoParity();
        break;
    case 2:
        m.s_databits = Serial::Bits7;
        m.s_parity = Serial::ParityEven;
        m.s_stopbits = Serial::Stop1;
        suffix = QStringLiteral(",e,7,1");
        break;
    default:
        return;
    }
    if (rxedit *r = w.rxEdit(false); r && r->AutoGroup)
        r->AutoGroup->setTitle(QString::number(m.AutoComSpeed) + suffix);
    S_Set_Port(w.s1);
    // Bytes received under the old settings must not be scored under the new.
    w.s1.ReadAll();
    w.s1.Flush();
}

bool PortControl::openSelectedPort()
{
    const QString port = listedPortOfSelected();
    if (port.isEmpty()) return false;
    Serial &s = w.s1;
    loadMachineSettings(w.m.SelectedMC);
    if (s.isOpen() && s.portName() == port) {
        // Already this machine's port; make sure it runs with this machine's
        // settings (a Port Scan may have left others on it).
        const Module1 &m = w.m;
        if (s.Baud() != m.s_speed || s.Bits() != m.s_databits || s.Parity() != m.s_parity ||
            s.Stop() != m.s_stopbits || s.XON() != m.s_xonxoff || s.CTS() != m.s_rtscts)
            S_Set_Port(s);
        return true;
    }
    s.Close();
    s.setPortName(port);
    return S_Open_Port(s);
}
