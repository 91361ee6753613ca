// The machine simulator: its control's DC3 and DC1 in virtual time, what
// each family of controls punches and how it shows replies, the greeting of
// its network port, and the tavrin-sim program itself on its pseudo-terminal.

#include "sim/simblockwise.h"
#include "sim/simcontrol.h"
#include "sim/simtransport.h"
#include "sim/simulator.h"
#include "sim/simxmodem.h"
#include "virtualclock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace
{
constexpr qint64 Ms = 1'000'000;

// `bytes` arrive `gapMs` apart; the DC3 then (-1: none) and the DC1, the
// level at the DC3, the characters after it and those lost.
struct Marks {
    SimControlConfig config;
    int gapMs, bytes;
    qint64 dc3Ms, dc1Us;
    int level, after;
    qint64 lost;
};

// The PC's end of the line: what the simulator sends, at once.
class Wire : public SimTransport
{
public:
    QString deviceName() const override { return QStringLiteral("test"); }
    bool write(const QByteArray &bytes) override { return sent += bytes, true; }
    void setRoom(qsizetype) override {}
    qint64 characterNs() const override { return Ms; }
    QByteArray sent;
};
} // namespace

class TestSim : public QObject
{
    Q_OBJECT
private slots:
    void marks_data()
    {
        QTest::addColumn<Marks>("m");
        const SimControlConfig small{256, 100, 192, 64, true};
        // 195 at once, in one read: all were on their way before the DC3, so
        // none counts after it. DC1 when 195 - 64 have gone at 100 a second.
        QTest::newRow("all at once") << Marks{small, 0, 195, 0, 1'310'000, 192, 0, 0};
        // 1 + 0.9 i bytes after byte i: 192.7 at the 213th ms; 195.4 at 216 ms.
        QTest::newRow("while it empties") << Marks{small, 1, 217, 213, 1'530'000, 192, 3, 0};
        QTest::newRow("big buffer")
            << Marks{{4096, 1000, 3072, 1024, true}, 0, 3082, 0, 2'058'000, 3072, 0, 0};
        // 260 into 256: four lost; DC1 when 256 - 64 have gone.
        QTest::newRow("overrun")
            << Marks{{256, 100, 250, 64, true}, 0, 260, 0, 1'920'000, 250, 0, 4};
        QTest::newRow("no flow") << Marks{{256, 100, 192, 64, false}, 0, 300, -1, 0, 0, 0, 44};
    }
    void marks()
    {
        QFETCH(Marks, m);
        VirtualClock clock;
        SimControl control(clock, m.config);
        QList<std::pair<QByteArray, qint64>> toPc;
        control.toPc = [&](const QByteArray &b, qint64 ns) { toPc.append({b, ns}); };
        QList<SimControl::Hold> holds;
        connect(&control, &SimControl::dc1Sent, [&](const SimControl::Hold &h) { holds << h; });
        for (int i = 0; i < m.bytes; ++i) {
            clock.advance(i ? m.gapMs * Ms : 0);
            control.receive('G', clock.nowNs());
        }
        QCOMPARE(control.overruns(), m.lost);
        clock.advance(10 * VirtualClock::Second);
        QCOMPARE(toPc.size(), m.dc3Ms < 0 ? 0 : 2);
        if (m.dc3Ms < 0) return;
        QCOMPARE(toPc[0], std::pair(QByteArray("\x13"), m.dc3Ms * Ms));
        QCOMPARE(toPc[1].first, QByteArray("\x11"));
        QVERIFY2(qAbs(toPc[1].second - m.dc1Us * 1000) < 1000, QByteArray::number(toPc[1].second));
        QCOMPARE(holds.size(), 1);
        QCOMPARE(holds[0].levelAtDc3, m.level);
        QCOMPARE(holds[0].afterDc3, m.after);
    }

    // Typed at a control of `control` (files in each family's format or in
    // none), or sent to it by the PC: what it punches and what it says.
    void families_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("fromPc");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("said");
        const auto file = [this](const char *name, const QByteArray &bytes) {
            QFile f(m_dir.filePath(name));
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? bytes : "";
        };
        const QByteArray part = file("part.nc", "G01 X1\nM30\n"),
            o1234 = file("O1234.nc", "%\nO1234 (FLANGE)\nG01 X1.5\nM30\n%\n"),
            shaft = file("SHAFT123.MPF", "%_N_SHAFT123_MPF\n;$PATH=/_N_MPF_DIR\nG0 X10\n"),
            sub = file("SUB1.SPF", "M17\r\n"), bore = file("BORE1.MIN", "$BORE1.MIN%\nM02\n%\n"),
            pgm100 = file("100.H", "0 BEGIN PGM 100 MM\n1 L X+10 R0 FMAX\n2 END PGM 100 MM\n");
        const auto row = [](const char *control, const char *command, const QByteArray &wire,
                            const QString &said, const QByteArray &fromPc = {}) {
            QTest::addRow("%s %s %s", control, command, qPrintable(said.left(16)))
                << control << command << fromPc << wire << said;
        };
        const auto punched = [](const char *what, const QByteArray &wire) {
            const QString text = QStringLiteral("Punching %1: %2 bytes.\nPunched %2 bytes.");
            return text.arg(what).arg(wire.size());
        };
        QByteArray wire = QByteArray(10, '\0') + "%\n" + part + "%\n";
        row("fanuc", "punch part.nc", wire, punched("part.nc", wire));
        wire = "%\nO0001\n(SEND O1234 N2310)\n%\n";
        row("fanuc", "request O1234 2310", wire, punched("a request for O1234", wire));
        wire = "%\nO0001\n(LIST O1*)\n%\n";
        row("haas", "list O1*", wire, punched("a request for the list", wire));
        wire = "%\nO0001\n(COMPARE)\n%\n" + o1234;
        row("haas", "compare O1234.nc", wire, punched("a comparison with O1234.nc", wire));
        wire = "%_N_PART_MPF\n;$PATH=/_N_MPF_DIR\n" + part + shaft +
               "%_N_SUB1_SPF\r\n;$PATH=/_N_SPF_DIR\r\n" + sub;
        row("siemens", "punch part.nc SHAFT123.MPF SUB1.SPF", wire,
            punched("part.nc SHAFT123.MPF SUB1.SPF", wire));
        wire = "0 BEGIN PGM part MM\n" + part + "3 END PGM part MM\n" + pgm100;
        row("heidenhain", "punch part.nc 100.H", wire, punched("part.nc 100.H", wire));
        wire = "0 BEGIN PGM REQ MM\n1 ;SEND 100\n2 END PGM REQ MM\n";
        row("heidenhain", "request 100", wire, punched("a request for 100", wire));
        wire = "$PART.MIN%\n" + part + "%\n" + bore + "%%\n";
        row("okuma", "punch part.nc BORE1.MIN", wire, punched("part.nc BORE1.MIN", wire));
        wire = "%\nO0001\n(SEND BORE1)\n%\n";
        row("okuma", "request BORE1", wire, punched("a request for BORE1", wire));
        row("siemens", "request", "",
            "Usage: request NAME [BLOCK], e.g. request O1234 or request O1234 N2310");
        row("okuma", "punch part.nc nothing.nc", "",
            "Cannot punch nothing.nc: No such file or directory");
        row("fanuc", "", "", "Reply: NOT FOUND O1234", "%\nO0001\n(NOT FOUND O1234)\n%\n");
        row("siemens", "", "", "Reply: NOT FOUND SHAFT123",
            "%_N_REQ_MPF\n;$PATH=/_N_MPF_DIR\n;NOT FOUND SHAFT123\nM30\n");
        row("heidenhain", "", "", "Reply: 100.H 1234\nReply: PART.H",
            "0 BEGIN PGM REQ MM\n1 ;100.H 1234\n2 ;PART.H\r\n3 END PGM REQ MM\n");
        row("fanuc", "", "", "Received O7.nc: 5 lines, 20 bytes", "%\nO7\n(SAME)\nG01 X1\n%\n");
    }
    void families()
    {
        QFETCH(QString, control);
        QFETCH(QString, command);
        QFETCH(QByteArray, fromPc);
        QFETCH(QByteArray, wire);
        QFETCH(QString, said);
        VirtualClock clock;
        Wire pc;
        Simulator sim(clock, pc, {}, m_dir.path());
        sim.setFamily(*ControlFamily::named(control));
        QStringList lines;
        connect(&sim, &Simulator::say, [&](const QString &line) { lines << line; });
        QDir::setCurrent(m_dir.path());
        sim.command(command);
        emit pc.received(fromPc);
        clock.advance(60 * VirtualClock::Second);
        QCOMPARE(pc.sent, wire);
        QCOMPARE(lines.join('\n'), said);
    }

    // The control set up by `setup` ("xmodem crc nak=1", "blockwise
    // corrupt=2", "7O1", "eia", "silent"), a command typed, then the PC's
    // answers 10 ms apart: the bytes on the wire and what it said.
    void protocols_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArrayList>("fromPc");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("said");
        QCOMPARE(SimXmodem::crc16("123456789"), 0x31c3); // the CRC's check value
        const QByteArray o1234 = "%\nO1234\n" + QByteArray(20, 'X').replace("X", "G01 X1.5\n") + "%\n";
        for (const auto &[name, bytes] : {std::pair("O1234.nc", o1234), std::pair("15.H", QByteArray("0 BEGIN PGM 15 MM\r\n1 END PGM 15 MM\r\n")),
                                          std::pair("G1.nc", QByteArray("G1\n"))}) {
            QFile f(m_dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
        const QByteArray b1 = SimXmodem::block(o1234, 1, false), c1 = SimXmodem::block(o1234, 1, true),
                         c2 = SimXmodem::block(o1234, 2, true), b2 = SimXmodem::block(o1234, 2, false), eot = "\x04", ack = "\x06", nak = "\x15";
        QByteArray c2bad = c2;
        c2bad[40] = 'Y';
        const QString got = "Received O1234.nc: 23 lines, 190 bytes\nreceived O1234.nc, ";
        QTest::newRow("xmodem nak") << "xmodem nak=1" << "" << QByteArrayList{b1, b1, b2, eot} << nak + nak + ack + ack + ack
                                    << "block 1: NAK on purpose (1 of 1)\n" + got + "2 blocks, 1 repeated";
        QTest::newRow("xmodem crc") << "xmodem crc" << "" << QByteArrayList{c1, c2bad, c2, eot}
                                    << "C" + ack + nak + ack + ack << "block 2: bad CRC, NAK\n" + got + "2 blocks, 1 repeated";
        QByteArray c1bad = c1;
        c1bad.back() = char(~c1bad.back());
        // A receiver with no block yet asks again with "C"; it NAKs the first EOT.
        QTest::newRow("xmodem punch") << "xmodem corrupt=1" << "punch O1234.nc" << QByteArrayList{"C", "C", ack, ack, nak, ack}
                                      << c1bad + c1 + c2 + eot + eot << "Punching O1234.nc: 190 bytes.\nblock 1: sent damaged on purpose\n"
                                         "block 1: NAK, sent again\nEOT: NAK, sent again\nsent O1234.nc, 2 blocks, 1 repeated";
        QTest::newRow("xmodem silent") << "xmodem silent" << "" << QByteArrayList{b1} << QByteArray()
                                       << "silent: the PC's bytes are ignored";
        const QByteArray begin = SimBlockwise::frame('\x02', "0 BEGIN PGM 15 MM"), end = SimBlockwise::frame('\x02', "1 END PGM 15 MM");
        QTest::newRow("blockwise in") << "blockwise" << "" << QByteArrayList{"\x01H15E\x17\x1f", begin, end.chopped(1) + '\0', end, "\x03\x04"}
                                      << ack + ack + nak + ack << "the PC sends 15\nblock 2: bad BCC, NAK\nReceived 15.nc: 2 lines, 34 bytes\n"
                                                                  "received 15.nc, 2 blocks, 1 repeated";
        QTest::newRow("blockwise give up") << "blockwise nak=4" << "" << QByteArrayList{"\x01H15E\x17\x1f", begin, begin, begin, begin}
            << ack + nak + nak + nak + eot << "the PC sends 15\nblock 1: NAK on purpose (1 of 4)\nblock 1: NAK on purpose (2 of 4)\n"
               "block 1: NAK on purpose (3 of 4)\nblock 1: NAK on purpose (4 of 4)\nblock 1: damaged 4 times, transfer abandoned";
        QTest::newRow("blockwise punch") << "blockwise" << "punch 15.H" << QByteArrayList{ack, nak, ack, ack}
            << "\x01H15A\x17\x1b" + begin + begin + end + "\x03\x04"
            << "Punching 15.H: 36 bytes.\nblock 1: NAK, sent again\nsent 15.H, 2 blocks, 1 repeated";
        QTest::newRow("blockwise error") << "blockwise" << "request 15" << QByteArrayList{SimBlockwise::frame('\x01', "NOT FOUND")}
            << QByteArray("\x01H15E\x17\x1f") << "the PC sent the error text \"NOT FOUND\"";
        QTest::newRow("blockwise dir") << "blockwise" << "dir" << QByteArrayList{ack, SimBlockwise::frame('\x02', "15.H 36"), "\x03\x04"}
            << "\x01H*E\x17\x31" + ack << "directory: 15.H 36\ndirectory received, 1 block, 0 repeated";
        // Haas frames G1.nc in ten NULs and "%" lines; the parity bit is the eighth.
        QTest::newRow("7O1 punch") << "7O1" << "punch G1.nc" << QByteArrayList{"G\xb1\n"} << QByteArray(10, '\x80') + "\x25\x8a\xc7\x31\x8a\x25\x8a"
            << "Punching G1.nc: 17 bytes.\nparity: 1 character(s) with a wrong parity bit\nPunched 17 bytes.";
        QTest::newRow("eia") << "eia" << "punch G1.nc" << QByteArrayList{"\x0b\x80\x46\x01\x02\x80\x37\x40\x01\x6b\x15\x03\x80\x0b\x80"}
            << QByteArray(10, '\0') + "\x0b\x80\x67\x01\x80\x0b\x80"
            << "Punching G1.nc: 17 bytes.\nEIA: 1 character(s) with an even number of holes or no meaning, dropped\n"
               "Received O12.nc: 4 lines, 13 bytes\nPunched 17 bytes.";
    }
    void protocols()
    {
        QFETCH(QString, setup);
        QFETCH(QString, command);
        QFETCH(QByteArrayList, fromPc);
        VirtualClock clock;
        Wire pc;
        Simulator sim(clock, pc, {}, m_dir.path());
        sim.setFamily(*ControlFamily::named("haas"));
        const auto number = [&](const char *key) { return setup.section(key, 1).section(' ', 0, 0).toInt(); };
        const SimFaults faults{number("corrupt="), number("nak="), setup.contains("silent")};
        if (setup.startsWith("xmodem")) sim.setProtocol(new SimXmodem(clock, faults, setup.contains("crc")));
        if (setup.startsWith("blockwise")) sim.setProtocol(new SimBlockwise(clock, faults));
        SimLineCode code;
        code.eia = setup == "eia";
        code.setFormat(setup);
        sim.setLineCode(code);
        sim.setSilent(faults.silent);
        QStringList lines;
        connect(&sim, &Simulator::say, [&](const QString &line) { lines << line; });
        connect(&sim, &Simulator::report, [&](const QString &line) { lines << line; });
        QDir::setCurrent(m_dir.path());
        sim.command(command);
        for (const QByteArray &bytes : fromPc) {
            clock.advance(10 * Ms);
            emit pc.received(bytes);
        }
        clock.advance(2000 * Ms);
        QTEST(pc.sent, "wire");
        QTEST(lines.join('\n'), "said");
    }

    // Options it can not follow are refused, saying why.
    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("dtr, no device") << QStringList{"--dtr"} << "--dtr needs a serial device with modem "
                                           "lines (--device); a pseudo-terminal and a TCP port have none.";
        QTest::newRow("dtr on a pty") << QStringList{"--dtr", "--device", "/dev/ptmx"}
                                      << "--dtr: /dev/ptmx has no modem lines (a pseudo-terminal has none).";
        QTest::newRow("eia in blocks") << QStringList{"--code", "eia", "--protocol", "xmodem"}
            << "--code eia punches whole 8-channel codes: it goes with --format 8N1 and the plain protocol only.";
        QTest::newRow("format") << QStringList{"--format", "7N2"} << "--format takes 8N1, 7E1 or 7O1.";
    }
    void refused()
    {
        QFETCH(QStringList, args);
        QProcess sim;
        sim.start(TAVRIN_SIM, args);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QFETCH(QString, said);
        QCOMPARE(QString::fromLocal8Bit(sim.readAllStandardError()), "tavrin-sim: " + said + '\n');
    }

    // Every PC that connects is greeted, as a network serial server does.
    void greeting()
    {
        const QByteArray hello = "ser2net port tcp,2000 device serialdev, /dev/ttyS0, 9600n81\r\n";
        TcpTransport tcp(0, 9600);
        tcp.greet(hello);
        QStringList said;
        connect(&tcp, &SimTransport::message, [&](const QString &line) { said << line; });
        for (int i = 1; i <= 2; ++i) {
            QTcpSocket pc;
            pc.connectToHost(QHostAddress::LocalHost, tcp.deviceName().section(':', -1).toUShort());
            QVERIFY(QTest::qWaitFor([&] { return pc.bytesAvailable() >= hello.size(); }, 5000));
            QCOMPARE(pc.readAll(), hello);
            pc.disconnectFromHost();
            QVERIFY(QTest::qWaitFor([&] { return said.size() == 2 * i; }, 5000));
        }
    }

    // The program on its pseudo-terminal: a program sent to it saved byte for
    // byte in a folder it makes, its run-out taking no room in the buffer (no
    // DC3 for it); a request punched as the control named plays it.
    void program()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.filePath("received/sim");
        QProcess sim;
        sim.start(TAVRIN_SIM, {"--save", dir, "--control", "Siemens"});
        const auto line = [&sim] {
            (void)QTest::qWaitFor([&] { return sim.canReadLine() || (sim.waitForReadyRead(20), false); }, 5000);
            return QString::fromLocal8Bit(sim.readLine()).trimmed();
        };
        const QString port = line();
        QVERIFY2(port.startsWith("Port: /dev/"), qPrintable(port));
        QCOMPARE(line(), "Siemens control: buffer 256 bytes, emptied at 100 characters a second; "
                         "DC3 at 192, DC1 at 64.");
        const int fd = ::open(qPrintable(port.mid(6)), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::cfsetspeed(&t, B115200);
        ::tcsetattr(fd, TCSANOW, &t);
        const QByteArray program = "%\r\nO1234 (FLANGE)\r\nG01 X1.5 F300\r\nM30\r\n%";
        const QByteArray sent = program + QByteArray(2000, '\0');
        QCOMPARE(::write(fd, sent.constData(), sent.size()), sent.size());
        QString said;
        for (int i = 0; i < 5 && !said.startsWith("Received"); ++i)
            said = line();
        QCOMPARE(said, "Received O1234.nc: 5 lines, 40 bytes");
        QFile saved(dir + "/O1234.nc");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), program);

        sim.write("request SHAFT123\n");
        const QByteArray request = "%_N_REQ_MPF\n;$PATH=/_N_MPF_DIR\n;SEND SHAFT123\nM30\n";
        QByteArray got;
        (void)QTest::qWaitFor([&] {
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) got.append(buf, n);
            return got.size() >= request.size();
        }, 5000);
        QCOMPARE(got, request);
        ::close(fd);
        sim.write("quit\n");
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 0);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
