// The link: a machine's port opened with its stored settings, port problems,
// send refusals, and where received bytes go and what text they make.

#include "core/base/atomicfile.h"
#include "core/log/transferlog.h"
#include "machinevalues.h"
#include "pty.h"
#include "shoprig.h"

#include <QDir>
#include <QRegularExpression>

#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace
{
constexpr qint64 Ms = 1'000'000;
const Program program = Program::fromFile("G01 X1\rM30\r");

// Machines at 9600 8N1 on ttyFAKE0, each changed by "KEY=value|KEY=value".
struct Rig : ShopRig<> {
    QList<std::tuple<int, PortStatus, QString>> problems;
    ReceiveSession &rx = link.receiver();
    QByteArray text;

    explicit Rig(const QStringList &machines = {})
    {
        for (const QString &values : machines)
            config.table().append(
                machineWith("MCDRATE=9600|MCDBITS=8|MCPARITY=None|MCFLOW=0|" + values,
                            MachineConfig::defaults("ttyFAKE0")));
        QObject::connect(&shop, &Workshop::portProblem,
                         [this](int i, PortStatus s, const QString &p) {
                             problems.append({i, s, p});
                         });
        QObject::connect(&rx, &ReceiveSession::text, [this](const QByteArray &b) { text += b; });
    }
    QString settings() const { return port.settings().toString(); }
    // The selected machine's program, sent from the user's line.
    Workshop::SendResult send(const Program &p, int line, const ProgramSource &from = {})
    {
        shop.program(shop.selected()).load(p.text(), from);
        return shop.send(line);
    }
    Link &sending() { return *shop.selectedLink(); }
};
using Settings = std::tuple<QString, bool, QString>;
using Problem = std::tuple<QString, QStringList, PortStatus>;
using Strip = std::tuple<QString, QByteArray, QByteArray>;
using Refusal = std::tuple<QString, int, int, QString>;
} // namespace

class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void settingsFromStoredValues_data()
    {
        QTest::addColumn<Settings>("row");
        for (const QString speed :
             {"150", "300", "600", "1200", "2400", "4800", "9600", "38400", "57600", "115200"})
            QTest::newRow(qPrintable(speed)) << Settings{"MCDRATE=" + speed, true, speed + " 8N1"};
        for (const char *speed : {"14400", "fast", ""})
            QTest::addRow("'%s' keeps the speed before", speed)
                << Settings{QStringLiteral("MCDRATE=") + speed, true, "19200 8N1"};
        QTest::newRow("unlisted speed first: 300") << Settings{"MCDRATE=fast", false, "300 8N1"};
        QTest::newRow("7 data bits, 2 stop bits, flow 2")
            << Settings{"MCDBITS=7|MCPARITY=Odd|MCSBITS=2|MCFLOW=2", true, "9600 7O2 RTS/CTS"};
        QTest::newRow("flow 1") << Settings{"MCFLOW=1", true, "9600 8N1 XON/XOFF"};
        QTest::newRow("6 data bits, 1.5 stop bits, flow 3")
            << Settings{"MCDBITS=6|MCSBITS=1.5|MCFLOW=3", true, "9600 6N2"};
        QTest::newRow("4 data bits, parity x, flow 5")
            << Settings{"MCDBITS=4|MCPARITY=x|MCFLOW=5", true, "9600 7E1 DTR/DSR"};
        QTest::newRow("flow x") << Settings{"MCFLOW=x", true, "9600 8N1"};
    }
    void settingsFromStoredValues()
    {
        QFETCH(Settings, row);
        // afterOther: machine 1, at 19200 bit/s, selected first.
        const auto &[values, afterOther, expected] = row;
        Rig r({"MCDRATE=19200", "MCPORT=ttyFAKE1|" + values});
        if (afterOther) r.shop.select(1);
        r.shop.select(2);
        QVERIFY(r.port.isOpen() && r.port.name() == "ttyFAKE1");
        QCOMPARE(r.settings(), expected);
        QVERIFY(r.problems.isEmpty());
        r.port.loseDevice();
        QCOMPARE(r.problems, (QList{std::tuple{2, PortStatus::Unavailable, QString("ttyFAKE1")}}));
    }

    // The port closes (never left on another machine's device); sends refused.
    void portProblems_data()
    {
        QTest::addColumn<Problem>("row");
        const QStringList one{"ttyFAKE0"};
        // No port, a port not listed, and one listed in another case.
        for (const char *name : {"none", "NOINIVAL", "", "ttyUSB3", "TTYFAKE0"})
            QTest::addRow("'%s'", name) << Problem{name, one, PortStatus::Missing};
        QTest::newRow("no ports at all") << Problem{"ttyFAKE0", {}, PortStatus::Missing};
        QTest::newRow("will not open") << Problem{"ttyFAKE0", one, PortStatus::Unavailable};
    }
    void portProblems()
    {
        QFETCH(Problem, row);
        const auto &[name, listed, status] = row;
        Rig r({"", "MCPORT=" + name});
        r.shop.select(1);
        r.ports.list = listed;
        r.port.openFails = status == PortStatus::Unavailable;
        r.shop.select(2);
        QCOMPARE(r.problems, (QList{std::tuple{2, status, name}}));
        QVERIFY(!r.port.isOpen());
        QCOMPARE(r.send(program, 0), Workshop::SendResult::NoPort);
        QVERIFY(!r.port.isOpen());
        QCOMPARE(r.port.written, QByteArray());
    }

    // A send after Port Scan goes with the machine's own settings.
    void sendRefusalsAndSettings()
    {
        Rig r({"MCDRATE=2400|MCDBITS=7|MCPARITY=Even|MCSBITS=2|MCFLOW=4"});
        QCOMPARE(r.send(program, 0), Workshop::SendResult::NoMachine);
        r.shop.select(1);
        QCOMPARE(r.send(Program::fromFile("G"), 0), Workshop::SendResult::NoProgram);
        QCOMPARE(r.shop.beginScan(), Workshop::ScanResult::Started);
        QCOMPARE(r.settings(), QStringLiteral("9600 8N1"));
        r.shop.endReceive(); // Port Scan closed without saving: the machine's own again
        QCOMPARE(r.settings(), QStringLiteral("2400 7E2"));
        QCOMPARE(r.send(program, 0), Workshop::SendResult::Started);
        QCOMPARE(r.settings(), QStringLiteral("2400 7E2"));
        QCOMPARE(r.send(program, 0), Workshop::SendResult::Busy);
        QCOMPARE(r.shop.beginScan(), Workshop::ScanResult::Refused);
        r.port.deliver("\x11");
        QVERIFY(r.clock.runUntil([&] { return !r.sending().sending(); }));
        QCOMPARE(r.settings(), QStringLiteral("2400 7E2"));
        QCOMPARE(r.port.written, QByteArray("G01 X1\r\nM30\r\n") + QByteArray(2000, '\0'));
    }

    // Whole, in chunks and byte by byte.
    void strip_data()
    {
        QTest::addColumn<Strip>("row");
        QByteArray others;
        for (int c = 1; c < 256; ++c)
            others += char(c);
        const QByteArray nul(1, '\0');
        QTest::newRow("none: every NUL goes, nothing else")
            << Strip{"", QByteArray(20, '\0') + others + nul + others + QByteArray(30, '\0'),
                     others + others};
        QTest::newRow("13: every CR goes") << Strip{"13", nul + "A\rB\r\r\nC\r", nul + "AB\nC"};
        QTest::newRow("10: every LF") << Strip{"10", "A\n\nB\r\nC\n", "AB\rC"};
        QTest::newRow("9: every TAB goes") << Strip{"9", "A\tB\t", "AB"};
    }
    void strip()
    {
        QFETCH(Strip, row);
        const auto &[option, received, text] = row;
        for (const qsizetype chunk : {received.size(), qsizetype(7), qsizetype(1)}) {
            Rig r;
            r.rx.setStripByte(machineWith("MCSTRIPEOB=" + option).stripByte());
            for (qsizetype i = 0; i < received.size(); i += chunk) {
                r.rx.feed(received.mid(i, chunk));
                r.clock.advance(10 * Ms);
            }
            r.clock.advance(ReceiveSession::SilenceMs * Ms);
            QCOMPARE(r.text, text);
        }
    }

    // A send gets them for its flow control, also while receiving; it ends idle.
    void routing_data()
    {
        QTest::addColumn<bool>("receiving");
        QTest::addColumn<bool>("sending");
        QTest::newRow("idle") << false << false;
        QTest::newRow("receiving") << true << false;
        QTest::newRow("sending") << false << true;
        QTest::newRow("receiving during a send") << true << true;
    }
    void routing()
    {
        QFETCH(bool, receiving);
        QFETCH(bool, sending);
        Rig r;
        const MachineConfig m = machineWith("MCPORT=ttyFAKE0|MCFLOW=4|MCEOB=CR"); // waits for DC1
        QVERIFY(r.link.openForSend(m));
        if (sending) QVERIFY(r.link.startSend(Program::fromFile("G01\r"), {}, m));
        if (receiving) r.link.beginReceive();
        r.port.deliver("AB\x11");
        QVERIFY(r.clock.runUntil([&] { return !r.link.sending(); }));
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(r.text, receiving ? QByteArray("AB\x11") : QByteArray());
        QCOMPARE(r.port.written.left(4), sending ? QByteArray("G01\r") : QByteArray());
        const bool still = receiving && !sending;
        QCOMPARE(r.link.state(), still ? LinkState::Receiving : LinkState::Idle);
        r.port.deliver("Z");
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(r.text.endsWith('Z'), still);
    }

    // An EIA machine gets EIA rows, every line ended by EOB whatever its
    // MCEOB, leader and run-out as blank tape; punched back, it is the
    // program again with LF line ends.
    void eiaSentAndReceivedBack()
    {
        Rig r;
        const MachineConfig m = machineWith("MCPORT=ttyFAKE0|MCCODE=EIA|MCEOB=CRLF|MCLEADER=\\NUL");
        QVERIFY(r.link.openForSend(m));
        QVERIFY(r.link.startSend(Program::fromFile("%\r\nN1 G01 X-1.5\r\n(T1)\r\n%\r\n"), {}, m));
        QVERIFY(r.clock.runUntil([&] { return !r.link.sending(); }));
        const QByteArray tape =
            QByteArray::fromHex("00 0B 80 45 01 10 67 20 01 10 37 40 01 6B 15 80"
                                "1A 23 01 4A 80 0B 80");
        QCOMPARE(r.port.written, tape + QByteArray(2000, '\0'));
        r.link.beginReceive();
        r.port.deliver(r.port.written);
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(r.text, QByteArray("%\nN1 G01 X-1.5\n(T1)\n%\n"));
    }

    // What an EIA machine punches, burst by burst (a second of quiet after
    // each), and the text it makes: each burst in the code its holes say.
    void eiaHeard_data()
    {
        QTest::addColumn<QByteArrayList>("bursts");
        QTest::addColumn<QByteArray>("text");
        const auto eia = [](const char *hex) { return QByteArray::fromHex(hex); };
        QTest::newRow("EIA after blank tape")
            << QByteArrayList{"\0\0" + eia("0B 80 45 01 80")} << QByteArray("%\nN1\n");
        QTest::newRow("7-bit ISO: its % is EIA's V, the LF is no EIA code")
            << QByteArrayList{"%\nG1\n%\n"} << QByteArray("%\nG1\n%\n");
        QTest::newRow("too short to decide: EIA at the end of the burst")
            << QByteArrayList{eia("01 02")} << QByteArray("12");
        QTest::newRow("DC3 decides nothing; EIA's 3 is its row")
            << QByteArrayList{"\x13", eia("0B 13 80")} << QByteArray("\x13%3\n");
        QTest::newRow("EIA, then ISO")
            << QByteArrayList{eia("0B 80 0B 80"), "%\nG1\n%\n"} << QByteArray("%\n%\n%\nG1\n%\n");
        QTest::newRow("no code in EIA stays as it came")
            << QByteArrayList{eia("0B 80 02 03 80")} << QByteArray("%\n2\x03\n");
    }
    void eiaHeard()
    {
        QFETCH(QByteArrayList, bursts);
        QFETCH(QByteArray, text);
        Rig r;
        QCOMPARE(r.link.openFor(machineWith("MCPORT=ttyFAKE0|MCCODE=EIA")), PortStatus::Open);
        r.link.beginReceive();
        for (const QByteArray &burst : bursts) {
            r.port.deliver(burst);
            r.clock.advance(VirtualClock::Second);
        }
        QCOMPARE(r.text, text);
    }

    // Held until more comes or half a second of silence; dropped at the end.
    void lineEndsHeldToTheEndOfABurst()
    {
        Rig r;
        r.port.open("ttyFAKE0", {});
        r.link.beginReceive();
        QSignalSpy ended(&r.rx, &ReceiveSession::burstEnded);
        r.port.deliver("N10 X1\r");
        r.clock.advance(100 * Ms);
        QCOMPARE(r.text, QByteArray("N10 X1"));
        r.port.deliver("\nN20\r\n");
        r.clock.advance(450 * Ms);
        QCOMPARE(r.text, QByteArray("N10 X1\r\nN20"));
        QVERIFY(r.rx.inBurst() && ended.isEmpty());
        r.clock.advance(100 * Ms);
        QCOMPARE(r.text, QByteArray("N10 X1\r\nN20\r\n"));
        QVERIFY(!r.rx.inBurst() && ended.count() == 1);
        r.port.deliver("N30\r\n");
        r.clock.advance(100 * Ms);
        r.link.endReceive();
        r.clock.advance(VirtualClock::Second);
        QCOMPARE(r.text, QByteArray("N10 X1\r\nN20\r\nN30"));
        QCOMPARE(r.link.state(), LinkState::Idle);
    }

    // One line per transfer beside the configuration file: when, which way,
    // machine, port, file, bytes, lines, seconds, outcome.
    void transferLog_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("expected");
        for (const auto &[how, expected] :
             {std::pair{"send", "send\tMILL 2\tttyFAKE0\tpart7.nc\t13\t2\t0\\.[0-9]{3}\tcompleted"},
              {"stop", "send\tMILL 2\tttyFAKE0\tpart7.nc\t8\t1\t0\\.[0-9]{3}\tstopped"},
              {"lose", "send\tMILL 2\tttyFAKE0\tpart7.nc\t0\t0\t0\\.[0-9]{3}\tport lost"},
              {"reset", "send\tMILL 2\tttyFAKE0\tpart7.nc\t0\t0\t0\\.[0-9]{3}\tthe control was "
                        "reset at line 1 of 2"},
              {"receive", "receive\tMILL 2\tttyFAKE0\t-\t10\t3\t1\\.000\tcompleted"},
              {"receive lose", "receive\tMILL 2\tttyFAKE0\t-\t10\t3\t1\\.000\tport lost"}})
            QTest::newRow(how) << QString(how) << QString(expected);
    }
    void transferLog()
    {
        QFETCH(QString, how);
        QFETCH(QString, expected);
        Rig r({"MCNAME=MILL 2|MCEOB=CRLF" + QString(how == "reset" ? "|MCFLOW=1" : "")});
        r.shop.select(1);
        const ProgramSource part7 = ProgramSource::file(r.dir.filePath("part7.nc"));
        if (how.startsWith("receive")) {
            r.shop.beginReceive();
            r.port.deliver("N1\r\nN2\rN3\n");
            r.clock.advance(VirtualClock::Second);
            if (how.endsWith("lose")) r.port.loseDevice();
            r.shop.endReceive();
        } else {
            QCOMPARE(r.send(program, 0, part7), Workshop::SendResult::Started);
            if (how == "stop") {
                QVERIFY(r.clock.runUntil([&] { return r.port.written.contains('\n'); }));
                r.sending().job()->stop();
            }
            if (how == "lose") r.port.loseDevice();
            if (how == "reset") r.port.deliver("\x13\x16"); // DC3, SYN
            QVERIFY(r.clock.runUntil([&] { return !r.sending().sending(); }));
        }
        const QString log = readFile(r.dir.filePath("transfers.log"));
        const QRegularExpression line(
            "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d)\\t" + expected +
            "\n$");
        QVERIFY2(line.match(log).hasMatch(), qPrintable(log));
    }

    // At 1 MB the log moves to transfers.log.1; one that cannot be written
    // is reported once and leaves the transfers alone.
    void transferLogRollsOverOrFailsOnce()
    {
        Rig r({""});
        r.shop.select(1);
        const QString path = r.dir.filePath("transfers.log");
        const QByteArray old(TransferLog::RollOverBytes - 40, 'x');
        QVERIFY(writeFileAtomically(path, old).isEmpty());
        r.shop.beginReceive();
        r.shop.endReceive();
        QCOMPARE(readFile(path + ".1"), old);
        QCOMPARE(readFile(path).count('\n'), 1);

        QSignalSpy failed(&r.recorder.log(), &TransferLog::failed);
        QVERIFY(QFile::remove(path) && QDir(r.dir.path()).mkdir("transfers.log"));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(r.send(program, 0), Workshop::SendResult::Started);
            QVERIFY(r.clock.runUntil([&] { return !r.sending().sending(); }));
        }
        QCOMPARE(failed.count(), 1);
        QCOMPARE(r.port.written.count("G01 X1\r\nM30\r\n"), 2);
    }

    // Another user's symbolic link in place of the log, or of the file it
    // rolls over to, is not followed; a line that cannot be written whole
    // (beyond RLIMIT_FSIZE, as on a full disk) leaves nothing of itself.
    void transferLogRefusals_data()
    {
        QTest::addColumn<Refusal>("row");
        const QString other = "it is a symbolic link that belongs to another user";
        QTest::newRow("another user's transfers.log") << Refusal{"transfers.log", 65534, 0, other};
        QTest::newRow("another user's transfers.log.1")
            << Refusal{"transfers.log.1", 65534, 0, other};
        QTest::newRow("own transfers.log") << Refusal{"transfers.log", 0, 0, ""};
        QTest::newRow("line cut short") << Refusal{"", 0, 10, "File too large"};
    }
    void transferLogRefusals()
    {
        QFETCH(Refusal, row);
        // The link's owner; room: the bytes the log may still grow by (0: no limit).
        const auto &[link, owner, room, reason] = row;
        if (owner != 0 && ::geteuid() != 0) QSKIP("only root can give a link to another user");
        Rig r({""});
        r.shop.select(1);
        QTemporaryDir other;
        const QString log = r.dir.filePath("transfers.log"), target = other.filePath("target");
        // Near 1 MB, so that the line rolls it over.
        const QByteArray old(link.endsWith(".1") ? TransferLog::RollOverBytes - 40 : 10, 'x');
        QVERIFY(writeFileAtomically(log, old).isEmpty());
        QVERIFY(writeFileAtomically(target, "secret\n").isEmpty());
        if (!link.isEmpty()) {
            const QByteArray at = QFile::encodeName(r.dir.filePath(link));
            QVERIFY(link != "transfers.log" || QFile::remove(log));
            QVERIFY(::symlink(QFile::encodeName(target), at) == 0 &&
                    (owner == 0 || ::lchown(at, owner, owner) == 0));
        }
        QSignalSpy failed(&r.recorder.log(), &TransferLog::failed);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const rlimit small{room ? rlim_t(old.size() + room) : saved.rlim_cur, saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN); // so a write beyond the limit just fails
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        r.shop.beginReceive();
        r.shop.endReceive();
        setrlimit(RLIMIT_FSIZE, &saved);
        if (reason.isEmpty()) {
            QCOMPARE(failed.count(), 0);
            QVERIFY(readFile(target).startsWith("secret\n") && readFile(target).count('\n') == 2);
            return;
        }
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), link.isEmpty() ? log : r.dir.filePath(link));
        QCOMPARE(failed.at(0).at(1).toString(), reason);
        QCOMPARE(readFile(target), QByteArray("secret\n"));
        if (link != "transfers.log") QCOMPARE(readFile(log), old);
    }

    // A path to a serial device works as a port name, a link to one too;
    // a path to anything else is missing.
    void devicePaths()
    {
        Pty pty;
        QTemporaryDir dir;
        const QString link = dir.filePath("by-id-usb-FTDI");
        QVERIFY(QFile::link(pty.slavePath(), link));
        for (const auto &[name, status] :
             {std::pair{pty.slavePath(), PortStatus::Open}, {link, PortStatus::Open},
              {QStringLiteral("/dev/null"), PortStatus::Missing},
              {dir.path(), PortStatus::Missing}}) {
            Rig r({"MCPORT=" + name});
            r.shop.select(1);
            QCOMPARE(r.problems.isEmpty() ? PortStatus::Open : std::get<1>(r.problems.value(0)),
                     status);
            QCOMPARE(r.port.isOpen(), status == PortStatus::Open);
        }
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
