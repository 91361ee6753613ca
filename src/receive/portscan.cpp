#include "receive/portscan.h"

#include "app/bytetext.h"
#include "app/frmhalvec.h"
#include "app/platform.h"
#include "config/module1.h"
#include "panel/machinepanel.h"
#include "receive/scanscore.h"
#include "rxedit/rxedit.h"
#include "serial/portcontrol.h"
#include "serial/serial.h"

#include <QCheckBox>

PortScan::PortScan(frmHalvec &win) : QObject(&win), w(win) {}

void PortScan::start()
{
    w.m.AutoScanning = true;
    w.m.AutoGotSpeed = false;
    w.m.AutoParityCounter = 0;
    w.portControl->ChangeComPars(255);
    w.m.AutoErrCounter = 100;
    // A window already open (not modal, without the panel) is shown again
    // modally, and with the panel: the scan is no use without it.
    if (rxedit *open = w.rxEdit(false); open && open->isVisible()) open->hide();
    rxedit *rx = w.showRxEdit(true);
    rx->placeAutoGroup();
}

void PortScan::Auto_RX_Data()
{
    if (w.m.SelectedMC == 0) {
        // No machine to detect for: nothing to score, but the bytes must
        // still leave the port, or they would be offered again and again.
        w.s1.ReadAll();
        return;
    }
    rxedit *rx = w.rxEdit(false);
    ScanScore score(w.m.AutoGotSpeed, w.m.AutoErrCounter, w.m.AutoParityCounter);
    QByteArray shown;
    const auto show = [&] {
        if (rx && !shown.isEmpty()) rx->appendReceived(bytesToText(shown));
        shown.clear();
    };
    while (w.m.AutoScanning && w.s1.BytesAvailable() > 0) {
        const QByteArray b = w.s1.Read(1);
        if (b.isEmpty()) break;
        const ScanVerdict v = score.feed(quint8(b.at(0)));
        if (!v.shown) continue;
        shown += b;
        if (rx) rx->chkCTSOK->setChecked(true);
        if (v.nextSpeed || v.sevenEven) {
            show();
            w.portControl->ChangeComPars(v.nextSpeed ? 0 : 2);
        }
        if (rx && (v.speedFound || v.sevenEven)) {
            if (v.speedFound) rx->chkSpeedOK->setChecked(true);
            rx->chkDBitsOK->setChecked(true);
            rx->chkParityOK->setChecked(true);
        }
    }
    show();
}

QString PortScan::rateText(int baudCode)
{
    switch (baudCode) {
    case Serial::Baud300:
    case Serial::Baud600:
    case Serial::Baud1200:
    case Serial::Baud2400:
    case Serial::Baud4800:
    case Serial::Baud9600:
    case Serial::Baud19200:
    case Serial::Baud38400:
    case Serial::Baud57600:
    case Serial::Baud115200:
        return QString::number(Serial::bitsPerSecond(baudCode));
    default:
        return {};
    }
}

void PortScan::PushButton1_Action()
{
    rxedit *rx = w.rxEdit(false);
    if (!rx) return;
    for (QCheckBox *c : {rx->chkCTSOK, rx->chkDBitsOK, rx->chkParityOK, rx->chkSpeedOK}) {
        if (!c->isChecked()) {
            w.platform.message(
                rx,
                QStringLiteral("Machine communications settings have not been detected. If the "
                               "autodetect function has failed then you will need to setup the "
                               "communications parameters manually"),
                QStringLiteral("Detection not complete"), QMessageBox::Ok, Platform::Icon::Warning);
            return;
        }
    }
    const int mc = w.m.SelectedMC;
    if (mc < 1 || mc > w.m.Last_MC) {
        w.platform.message(rx, QStringLiteral("The parameters were invalid and could not be saved"),
                           QStringLiteral("Save Parameters"), QMessageBox::Ok,
                           Platform::Icon::Warning);
        return;
    }
    if (const QString rate = rateText(w.s1.Baud()); !rate.isEmpty()) w.m.setMc(mc, MCDRATE, rate);
    const bool eight = w.s1.Bits() == Serial::Bits8;
    w.m.setMc(mc, MCDBITS, eight ? QStringLiteral("8") : QStringLiteral("7"));
    w.m.setMc(mc, MCPARITY, eight ? QStringLiteral("None") : QStringLiteral("Even"));
    w.m.setMc(mc, MCSBITS, QStringLiteral("1"));
    w.m.setMc(mc, MCFLOW, QStringLiteral("1"));
    w.m.WriteIni(0);
    w.panel->ShowSelectedMC();
}
