// tavrin-sim: a machine tool's control on a pseudo-terminal or a TCP port,
// for trying the program without a machine.

#include "core/base/clock.h"
#include "process/stopsignals.h"
#include "sim/simblockwise.h"
#include "sim/simtransport.h"
#include "sim/simxmodem.h"
#include "sim/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace
{
// A command line longer than this is dropped.
constexpr qsizetype MaxCommand = 4096;

// What the control saw on the line, one event a line, apart from the dialogue.
void event(const QString &line)
{
    std::fputs(qPrintable(line + '\n'), stderr);
    std::fflush(stderr);
}

void out(const QString &line)
{
    std::fputs(qPrintable(line + '\n'), stdout);
    std::fflush(stdout);
}

// Why it cannot start: on standard error, as a program's complaints go.
void complain(const QString &line)
{
    std::fprintf(stderr, "tavrin-sim: %s\n", qPrintable(line));
}

// Whole lines from stdin, one command each; EOF ends the program.
class Console : public QObject
{
public:
    explicit Console(Simulator &sim) : m_notifier(0, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this, &sim] {
            char buf[1024];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n <= 0) {
                m_notifier.setEnabled(false);
                emit sim.quit();
                return;
            }
            for (const char c : QByteArrayView(buf, n)) {
                if (c != '\n') {
                    m_tooLong = m_tooLong || m_line.size() >= MaxCommand;
                    if (!m_tooLong) m_line += c;
                    continue;
                }
                if (m_tooLong) out(QStringLiteral("Command too long; ignored."));
                else sim.command(QString::fromLocal8Bit(m_line).trimmed());
                m_line.clear();
                m_tooLong = false;
            }
        });
    }

private:
    QSocketNotifier m_notifier;
    QByteArray m_line;
    bool m_tooLong = false;
};

int number(const QCommandLineParser &p, const QString &name, int fallback, bool *ok)
{
    if (!p.isSet(name)) return fallback;
    bool good = false;
    const int n = p.value(name).toInt(&good);
    if (!good || n <= 0) {
        complain(QStringLiteral("--%1 needs a positive whole number.").arg(name));
        *ok = false;
    }
    return n;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-sim"));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "A machine tool's control for trying Tavrin without a machine. It offers a serial\n"
        "device (a pseudo-terminal, or a TCP port with --tcp) and prints its name: type\n"
        "that into a machine's Port in Tavrin. It takes what Tavrin sends into a buffer it\n"
        "empties at --rate, sends DC3 at --dc3-at and DC1 at --dc1-at, reports how many\n"
        "characters still came after each DC3, saves every program it receives and shows\n"
        "every reply. It frames what it punches as --control's family of controls does.\n"
        "Commands on its input: punch FILE [FILE...], request NAME [BLOCK],\n"
        "list [PATTERN], compare FILE, status, help, quit."));
    p.addHelpOption();
    p.addOptions({
        {"buffer", "Buffer size in bytes (default 256).", "N"},
        {"rate", "Characters a second the control takes from its buffer (default 100).", "CPS"},
        {"dc3-at", "Send DC3 when the buffer holds N bytes (default 3/4 of it).", "N"},
        {"dc1-at", "Send DC1 when it is down to N bytes (default 1/4 of it).", "N"},
        {"no-flow", "Send no DC3 or DC1: a control without XON/XOFF."},
        {"save", "Folder for the programs received, made when missing (default the current one).",
         "FOLDER"},
        {"tcp", "Listen on this TCP port of 127.0.0.1, as a network serial server, instead of a "
                "pseudo-terminal.", "PORT"},
        {"baud", "With --tcp: the speed of the line beyond the server; with --device: the device's "
                 "(default 9600).", "BAUD"},
        {"device", "Work this serial device (e.g. /dev/ttyUSB0, 8N1 raw) instead of a pseudo-terminal.",
         "PATH"},
        {"greet", "With --tcp: greet each connection with TEXT and CR LF, as some network serial "
                  "servers do.", "TEXT"},
        {"control", "The control's family: " + ControlFamily::names() + " (default fanuc).",
         "FAMILY"},
        {"protocol", "plain (the default), xmodem (as Haas controls) or blockwise (as Heidenhain "
                     "controls).", "PROTOCOL"},
        {"crc", "With --protocol xmodem: ask with \"C\" for blocks with a CRC-16, not a checksum."},
        {"corrupt-block", "Damage block N once, going out, or take it as damaged coming in.", "N"},
        {"nak", "Answer NAK to the first N blocks that come in.", "N"},
        {"silent", "Take nothing and answer nothing."},
        {"format", "8N1 (the default), 7E1 or 7O1: with 7 bits the control puts the parity bit "
                   "into the eighth itself.", "FORMAT"},
        {"code", "iso (the default) or eia: punch and take EIA RS-244 tape code.", "CODE"},
        {"dtr", "With --device: hold DTR low while the buffer is full, at --dc3-at, instead of DC3, "
                "and high again at --dc1-at."},
    });
    p.process(app);

    bool ok = true;
    SimControl::Config c;
    c.bufferSize = number(p, "buffer", 256, &ok);
    c.bytesPerSecond = number(p, "rate", 100, &ok);
    c.dc3At = number(p, "dc3-at", c.bufferSize * 3 / 4, &ok);
    c.dc1At = p.isSet("dc1-at") ? number(p, "dc1-at", 0, &ok) : c.bufferSize / 4;
    c.flow = !p.isSet("no-flow") || p.isSet("dtr");
    c.dtr = p.isSet("dtr");
    const int port = number(p, "tcp", 0, &ok), baud = number(p, "baud", 9600, &ok);
    if (ok && (c.dc3At > c.bufferSize || c.dc1At >= c.dc3At)) {
        complain(QStringLiteral("The marks need --dc1-at < --dc3-at <= --buffer."));
        ok = false;
    }
    if (ok && port > 65535) {
        complain(QStringLiteral("--tcp takes a port number up to 65535."));
        ok = false;
    }
    const ControlFamily *family = ControlFamily::named(p.value("control"));
    if (ok && p.isSet("control") && !family) {
        complain(QStringLiteral("--control takes %1.").arg(ControlFamily::names()));
        ok = false;
    }
    if (ok && p.isSet("greet") && !p.isSet("tcp")) {
        complain(QStringLiteral("--greet needs --tcp."));
        ok = false;
    }
    const QString protocol = p.value("protocol").toLower();
    if (ok && p.isSet("protocol") && protocol != "plain" && protocol != "xmodem" && protocol != "blockwise") {
        complain(QStringLiteral("--protocol takes plain, xmodem or blockwise."));
        ok = false;
    }
    SimFaults faults;
    faults.corruptBlock = number(p, "corrupt-block", 0, &ok);
    faults.nak = number(p, "nak", 0, &ok);
    faults.silent = p.isSet("silent");
    SimLineCode lineCode;
    lineCode.eia = p.value("code").toLower() == "eia";
    if (ok && p.isSet("format") && !lineCode.setFormat(p.value("format"))) {
        complain(QStringLiteral("--format takes 8N1, 7E1 or 7O1."));
        ok = false;
    }
    if (ok && p.isSet("code") && !lineCode.eia && p.value("code").toLower() != "iso") {
        complain(QStringLiteral("--code takes iso or eia."));
        ok = false;
    }
    if (ok && lineCode.eia && (lineCode.parity != SimLineCode::Parity::None || p.isSet("protocol"))) {
        complain(QStringLiteral("--code eia punches whole 8-channel codes: it goes with --format 8N1 and "
                                "the plain protocol only."));
        ok = false;
    }
    if (ok && p.isSet("dtr") && !p.isSet("device")) {
        complain(QStringLiteral("--dtr needs a serial device with modem lines (--device); a pseudo-terminal "
                                "and a TCP port have none."));
        ok = false;
    }
    if (ok && p.isSet("device") && p.isSet("tcp")) {
        complain(QStringLiteral("--device and --tcp exclude each other."));
        ok = false;
    }
    if (ok && (protocol.isEmpty() || protocol == "plain") && (faults.corruptBlock || faults.nak)) {
        complain(QStringLiteral("--corrupt-block and --nak need --protocol xmodem or blockwise."));
        ok = false;
    }
    if (ok && protocol != "xmodem" && p.isSet("crc")) {
        complain(QStringLiteral("--crc needs --protocol xmodem."));
        ok = false;
    }
    if (!ok) return 2;
    const QString folder = p.isSet("save") ? p.value("save") : QDir::currentPath();
    // A folder named for the programs is made when it is missing.
    if (!QDir().mkpath(folder)) {
        complain(QStringLiteral("Cannot make the folder %1.").arg(folder));
        return 2;
    }

    std::unique_ptr<SimTransport> transport;
    QString error;
    if (p.isSet("tcp")) {
        auto tcp = std::make_unique<TcpTransport>(quint16(port), baud);
        error = tcp->error();
        if (p.isSet("greet")) tcp->greet(p.value("greet").toLocal8Bit() + "\r\n");
        transport = std::move(tcp);
    } else if (p.isSet("device")) {
        auto device = std::make_unique<DeviceTransport>(p.value("device"), baud);
        error = device->error();
        if (error.isEmpty() && c.dtr && !device->hasModemLines()) {
            complain(QStringLiteral("--dtr: %1 has no modem lines (a pseudo-terminal has none).").arg(p.value("device")));
            return 2;
        }
        transport = std::move(device);
    } else {
        auto pty = std::make_unique<PtyTransport>();
        error = pty->error();
        transport = std::move(pty);
    }
    if (!error.isEmpty()) {
        complain(QStringLiteral("Cannot open the device: %1").arg(error));
        return 1;
    }
    Simulator sim(Clock::system(), *transport, c, folder);
    if (!family) family = &ControlFamily::standard();
    sim.setFamily(*family);
    sim.setLineCode(lineCode);
    sim.setSilent(faults.silent);
    if (protocol == "xmodem") sim.setProtocol(new SimXmodem(Clock::system(), faults, p.isSet("crc")));
    if (protocol == "blockwise") sim.setProtocol(new SimBlockwise(Clock::system(), faults));
    QObject::connect(&sim, &Simulator::report, &event);
    QObject::connect(&sim, &Simulator::say, &out);
    QObject::connect(&sim, &Simulator::quit, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &app, &QCoreApplication::quit);
    Console console(sim);

    out(QStringLiteral("Port: %1").arg(transport->deviceName()));
    out(QStringLiteral("%1 control: buffer %2 bytes, emptied at %3 characters a second; %4")
            .arg(QLatin1String(family->title))
            .arg(c.bufferSize)
            .arg(c.bytesPerSecond)
            .arg(c.dtr    ? QStringLiteral("DTR low at %1, high at %2.").arg(c.dc3At).arg(c.dc1At)
                 : c.flow ? QStringLiteral("DC3 at %1, DC1 at %2.").arg(c.dc3At).arg(c.dc1At)
                        : QStringLiteral("no DC3/DC1.")));
    if (protocol == "xmodem")
        out(QStringLiteral("XMODEM with %1: asks the PC for a program every 3 s; punch FILE sends one when "
                           "the PC asks.").arg(p.isSet("crc") ? "CRC-16" : "checksum"));
    if (protocol == "blockwise")
        out(QStringLiteral("Blockwise: takes the programs the PC sends; punch FILE, request NAME, dir [PATTERN]."));
    if (lineCode.eia || lineCode.parity != SimLineCode::Parity::None)
        out(QStringLiteral("Line: %1.").arg(lineCode.eia ? QStringLiteral("EIA RS-244 tape code")
                                                      : p.value("format").toUpper() +
                                                            QStringLiteral(", the parity bit sent as the eighth")));
    out(QStringLiteral("Programs received go to %1. Type help for commands.")
            .arg(QDir::toNativeSeparators(QDir(folder).absolutePath())));
    const int code = app.exec();
    sim.finish();
    return code;
}
