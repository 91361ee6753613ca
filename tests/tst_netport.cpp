// Machines behind network serial servers, through the program's one port:
// raw TCP against a local server, RFC 2217 against pyserial's port manager
// in front of a pseudo-terminal, and the Telnet side against scripted servers.

#include "core/ports/anyport.h"
#include "core/link/link.h"
#include "core/ports/qtserialport.h"
#include "fakeport.h"
#include "machinevalues.h"
#include "pty.h"
#include "virtualclock.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <numeric>
#include <optional>
#include <termios.h>

namespace
{
constexpr int IAC = 255, SB = 250, SE = 240, NOP = 241, WILL = 251, DO = 253, DONT = 254,
              COM_PORT = 44;

QByteArray bytes(std::initializer_list<int> list)
{
    return std::accumulate(list.begin(), list.end(), QByteArray(),
                           [](QByteArray b, int c) { return b += char(c); });
}
QByteArray sb(int command, const QByteArray &value = {})
{
    return bytes({IAC, SB, COM_PORT, command}) + value + bytes({IAC, SE});
}

// Runs the event loop until `done` holds, looking again whenever `sender`
// emits `signal`.
template <typename T, typename Signal>
bool until(const T *sender, Signal signal, const std::function<bool()> &done)
{
    while (!done())
        if (!QSignalSpy(sender, signal).wait(5000)) return done();
    return true;
}

QByteArray readPty(Pty &pty, qsizetype n)
{
    QByteArray got = pty.readAll();
    until(&pty, &Pty::readyRead, [&] { return (got += pty.readAll()).size() >= n; });
    return got;
}

// A device server the test plays, and the one connection it takes.
struct Server : QTcpServer {
    QTcpSocket *peer = nullptr;
    QByteArray got;

    Server() { listen(QHostAddress::LocalHost); }
    QString address(const QString &scheme) const
    {
        return scheme + "://127.0.0.1:" + QString::number(serverPort());
    }
    // The next `n` bytes the port sent.
    QByteArray read(qsizetype n)
    {
        if (!peer &&
            until(this, &QTcpServer::newConnection, [&] { return hasPendingConnections(); }))
            peer = nextPendingConnection();
        if (peer)
            until(peer, &QTcpSocket::readyRead,
                  [&] { return (got += peer->readAll()).size() >= n; });
        const QByteArray out = got.left(n);
        got.remove(0, out.size());
        return out;
    }
};

// The port, and the link over it.
struct Rig {
    Server server;
    AnyPort port;
    FakePortList ports;
    Link link;
    std::optional<SendOutcome> outcome;
    QByteArray got; // what the port received
    QSignalSpy lost{&port, &SerialPort::lost};

    explicit Rig(Clock &clock = Clock::system()) : port(clock), link(port, ports, clock)
    {
        QObject::connect(&link, &Link::sendFinished, [this](SendOutcome o) { outcome = o; });
        QObject::connect(&port, &SerialPort::received, [this](const QByteArray &b) { got += b; });
    }
    // Opened on the scripted server, which answers the options the port
    // offers with `answer` to the serial port option.
    bool agree(int answer = DO)
    {
        return port.open(server.address("rfc2217"), {}) &&
               server.read(15) == bytes({IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3, IAC,
                                         WILL, COM_PORT}) &&
               server.peer->write(bytes({IAC, answer, COM_PORT})) == 3;
    }
    // Why the port closed, in the server's words.
    QString closed(const QString &why) const
    {
        return "the server at " + server.address("rfc2217") + " " + why;
    }
    bool finished()
    {
        return until(&link, &Link::sendFinished, [this] { return outcome.has_value(); });
    }
    bool received(qsizetype n)
    {
        return until(&port, &SerialPort::received, [&] { return got.size() >= n; });
    }
};

// Bytes from a server; the data the port passes on; why it closes, if it does.
using Sub = std::tuple<QByteArray, QByteArray, QString>;

const MachineConfig machine = machineWith("MCDRATE=115200|MCDBITS=8|MCFLOW=0|MCBLKTIC=None");
} // namespace

class TestNetPort : public QObject
{
    Q_OBJECT

    Pty pty;
    QProcess pyserial; // serving `pty`
    QString rfc2217;
    QByteArray everyByte = QByteArray(256, 0);

    // The speed, stop bits and handshake the server gave its device.
    QString device() const
    {
        termios t{};
        tcgetattr(pty.slaveFd(), &t);
        return QStringLiteral("%1 %2%3%4")
            .arg(cfgetospeed(&t))
            .arg(t.c_cflag & CSTOPB ? 2 : 1)
            .arg(t.c_iflag & IXON && t.c_iflag & IXOFF ? " XON/XOFF" : "")
            .arg(t.c_cflag & CRTSCTS ? " RTS/CTS" : "");
    }

private slots:
    void initTestCase()
    {
        std::iota(everyByte.begin(), everyByte.end(), 0);
        QVERIFY(pty.isOpen());
        pyserial.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        pyserial.start("/usr/bin/python3",
                       {TAVRIN_TEST_DATA "/../support/rfc2217_server.py", pty.slavePath()});
        QVERIFY2(pyserial.waitForReadyRead(5000), "python3 with python3-serial is needed");
        rfc2217 = "rfc2217://127.0.0.1:" + pyserial.readLine().trimmed();
    }
    void cleanupTestCase()
    {
        pyserial.kill();
        pyserial.waitForFinished();
    }

    // Written before the connection is made, the bytes wait; the device in
    // use before is closed. (Every byte the other way: everyByteBeforeTheClose.)
    void rawTcpCarriesEveryByte()
    {
        Rig r;
        Pty other;
        QVERIFY(r.port.open(other.slavePath(), {}));
        QVERIFY(r.port.open(r.server.address("tcp"), lineSettings(9600)));
        QVERIFY(QtSerialPort().open(other.slavePath(), {}));
        QVERIFY(r.port.isOpen() && !r.port.canChangeSettings());
        const QByteArray block = everyByte.repeated(64);
        QVERIFY(r.port.write(block));
        QCOMPARE(r.port.bytesToWrite(), qint64(block.size()));
        QCOMPARE(r.server.read(block.size()), block);
        QTRY_COMPARE(r.port.bytesToWrite(), qint64(0));
    }

    // A program goes out whole with its run-out of NULs; what the machine
    // sends reaches the received text. 0xFF passes both ways.
    void sendAndReceiveThroughTheLink_data()
    {
        QTest::addColumn<bool>("telnet");
        QTest::newRow("tcp") << false;
        QTest::newRow("rfc2217") << true;
    }
    void sendAndReceiveThroughTheLink()
    {
        QFETCH(bool, telnet);
        Rig r;
        QByteArray text;
        QObject::connect(&r.link.receiver(), &ReceiveSession::text,
                         [&](const QByteArray &b) { text += b; });
        const auto read = [&](qsizetype n) { return telnet ? readPty(pty, n) : r.server.read(n); };
        QVERIFY(r.port.open(telnet ? rfc2217 : r.server.address("tcp"), lineSettings(115200)));
        QVERIFY(r.link.startSend(Program::fromFile("%\nN10 G01 X1 (\xff)\nM30\n%"), {}, machine));
        const QByteArray sent =
            "%\r\nN10 G01 X1 (\xff)\r\nM30\r\n%" + QByteArray(SendJob::RunOutBytes, '\0');
        QCOMPARE(read(sent.size()), sent);
        QVERIFY(r.finished());
        QCOMPARE(*r.outcome, SendOutcome::Completed);
        // The send's end purges the server's input: once a byte written
        // after it is through, that is done.
        QVERIFY(r.port.write("%"));
        QCOMPARE(read(1), QByteArray("%"));
        r.link.beginReceive();
        const QByteArray punched = "N20 G00 X5 (\xff)\r\nM02";
        QVERIFY(telnet ? pty.write(punched) : r.server.peer->write(punched) > 0);
        QVERIFY(until(&r.link.receiver(), &ReceiveSession::text,
                      [&] { return text.size() >= punched.size(); }));
        QCOMPARE(text, punched);
    }

    void connectionLostInMidSend()
    {
        Rig r;
        QVERIFY(r.port.open(r.server.address("tcp"), lineSettings(9600)));
        const Program program = Program::fromLines(QList<QByteArray>(500, "N10 G01 X100"));
        QVERIFY(r.link.startSend(program, {}, machineWith("MCBLKTIC=10", machine)));
        QCOMPARE(r.server.read(5), QByteArray("N10 G"));
        r.server.peer->abort();
        QVERIFY(r.finished());
        QCOMPARE(*r.outcome, SendOutcome::PortLost);
        QVERIFY(!r.port.isOpen());
        QVERIFY2(r.port.errorString().contains(r.server.address("tcp")),
                 qPrintable(r.port.errorString()));
    }

    // What a server sent before it closed arrives whole, however much.
    void everyByteBeforeTheClose_data() { sendAndReceiveThroughTheLink_data(); }
    void everyByteBeforeTheClose()
    {
        QFETCH(bool, telnet);
        Rig r;
        QVERIFY(r.port.open(r.server.address(telnet ? "rfc2217" : "tcp"), {}));
        QCOMPARE(r.server.read(telnet ? 15 : 0).size(), telnet ? 15 : 0);
        const QByteArray block = everyByte.repeated(4096);
        r.server.peer->write(telnet ? QByteArray(block).replace('\xff', QByteArray(2, '\xff'))
                                    : block);
        r.server.peer->disconnectFromHost();
        QVERIFY(r.lost.wait(5000));
        QCOMPARE(r.got, block);
    }

    // A listening socket with a full backlog leaves the connection unanswered.
    void silentServerTimesOut()
    {
        QTcpServer silent;
        silent.setListenBacklogSize(0);
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QTcpSocket filler, probe;
        filler.connectToHost(QHostAddress::LocalHost, silent.serverPort());
        QVERIFY(filler.waitForConnected(3000));
        probe.connectToHost(QHostAddress::LocalHost, silent.serverPort());
        QVERIFY(!probe.waitForConnected(100));
        VirtualClock clock;
        AnyPort port(clock);
        QSignalSpy lost(&port, &SerialPort::lost);
        const QString address = "tcp://127.0.0.1:" + QString::number(silent.serverPort());
        QVERIFY(port.open(address, {}));
        clock.advance(VirtualClock::Second * 49 / 10);
        QVERIFY(lost.isEmpty() && port.isOpen());
        clock.advance(VirtualClock::Second / 5);
        QVERIFY(lost.count() == 1 && !port.isOpen());
        QCOMPARE(port.errorString(), "the server at " + address + " did not answer within 5 s");
    }

    // Data follows the settings, so once it is through they are in force.
    // A pseudo-terminal keeps 8N whatever it is told.
    void rfc2217SetsTheServersPort()
    {
        Rig r;
        QVERIFY(r.port.open(rfc2217, lineSettings(4800, 7, 2, Handshake::XonXoff)) &&
                r.port.canChangeSettings());
        QVERIFY(r.port.write("A"));
        QCOMPARE(readPty(pty, 1), QByteArray("A"));
        QCOMPARE(device(), QString("%1 2 XON/XOFF").arg(B4800));
        r.port.apply(lineSettings(115200, 8, 1, Handshake::RtsCts));
        QVERIFY(r.port.write(everyByte));
        QCOMPARE(readPty(pty, 256), everyByte);
        QCOMPARE(device(), QString("%1 1 RTS/CTS").arg(B115200));
        QVERIFY(pty.write(everyByte));
        QVERIFY(r.received(256));
        QCOMPARE(r.got, everyByte);
    }

    void refusedComPortOption()
    {
        Rig r;
        QVERIFY(r.agree(DONT) && r.lost.wait(5000) && !r.port.isOpen());
        QCOMPARE(r.port.errorString(), r.closed("does not accept serial port settings (RFC 2217)"));
    }

    // Settings first, then the data held until the option was agreed; the
    // server's notifications and answers come out of the data; output held
    // while it suspends it can be purged.
    void scriptedServer()
    {
        Rig r;
        QVERIFY(
            r.port.open(r.server.address("rfc2217"), lineSettings(4800, 7, 2, Handshake::XonXoff)));
        QVERIFY(r.port.write("\xffN"));
        QCOMPARE(r.server.read(15).size(), 15);
        // ECHO is refused; the rest answer what the port asked for.
        r.server.peer->write(bytes(
            {IAC, WILL, 1, IAC, DO, 0, IAC, WILL, 0, IAC, DO, 3, IAC, WILL, 3, IAC, DO, COM_PORT}));
        const QByteArray settings = bytes({IAC, DONT, 1}) + sb(1, bytes({0, 0, 0x12, 0xc0})) +
                                    sb(2, "\x07") + sb(3, "\x03") + sb(4, "\x02") + sb(5, "\x01") +
                                    sb(5, "\x02") + sb(5, "\x08") + sb(5, "\x0b") + "\xff\xffN";
        QCOMPARE(r.server.read(settings.size()), settings);
        r.server.peer->write("N1" + sb(106, "\x60") + "0 G" + sb(107, "\x30") + bytes({IAC, IAC}) +
                             sb(101, bytes({0, 0, 0x12, 0xc0})) + "X" + sb(108));
        QVERIFY(r.received(7));
        QCOMPARE(r.got, QByteArray("N10 G\xffX"));
        QVERIFY(r.port.write("N20"));
        QCOMPARE(r.port.bytesToWrite(), qint64(3));
        r.port.flush(SerialPort::Direction::Output);
        r.server.peer->write(sb(109));
        QVERIFY(r.port.write("N30"));
        QCOMPARE(r.server.read(sb(12).size() + 4), sb(12, "\x02") + "N30");
    }

    // Each line setting as the RFC's SET commands ask for it: data size,
    // parity, stop size, the handshake (DSR for DTR/DSR), DTR and RTS.
    void rfc2217AsksForTheLine_data()
    {
        QTest::addColumn<QString>("values");
        QTest::addColumn<QByteArray>("asked");
        QTest::newRow("7O1 DTR/DSR")
            << "MCDBITS=7|MCPARITY=Odd|MCSBITS=1|MCFLOW=5|MCDTR=LOW"
            << sb(2, "\x07") + sb(3, "\x02") + sb(4, "\x01") + sb(5, "\x01") + sb(5, "\x13") +
                   sb(5, "\x08") + sb(5, "\x0b");
        QTest::newRow("5M2 DTR and RTS low")
            << "MCDBITS=5|MCPARITY=Mark|MCSBITS=2|MCFLOW=0|MCDTR=LOW|MCRTS=LOW"
            << sb(2, "\x05") + sb(3, "\x04") + sb(4, "\x02") + sb(5, "\x01") + sb(5, "\x09") +
                   sb(5, "\x0c");
        QTest::newRow("6S1 RTS/CTS") << "MCDBITS=6|MCPARITY=Space|MCSBITS=1|MCFLOW=2|MCRTS=LOW"
                                     << sb(2, "\x06") + sb(3, "\x05") + sb(4, "\x01") +
                                            sb(5, "\x01") + sb(5, "\x03") + sb(5, "\x08");
    }
    void rfc2217AsksForTheLine()
    {
        QFETCH(QString, values);
        QFETCH(QByteArray, asked);
        Rig r;
        QVERIFY(r.agree());
        const QByteArray speed = sb(1, bytes({0, 0, 0x25, 0x80})),
                         plain = speed + sb(2, "\x08") + sb(3, "\x01") + sb(4, "\x01") +
                                 sb(5, "\x01") + sb(5, "\x08") + sb(5, "\x0b");
        QCOMPARE(r.server.read(plain.size()), plain);
        r.port.apply(LineSettings::forMachine(machineWith(values), 9600));
        QCOMPARE(r.server.read(speed.size() + asked.size()), speed + asked);
    }

    // Inside a subnegotiation only IAC IAC and IAC SE count; one longer
    // than any the option has, or never ended, closes the port.
    void hostileSubnegotiations_data()
    {
        QTest::addColumn<Sub>("row");
        const QByteArray open = bytes({IAC, SB, COM_PORT}), end = bytes({IAC, SE});
        const QString tooLong = "sent a subnegotiation longer than 512 bytes";
        QTest::newRow("NOP")
            << Sub{open + bytes({1, IAC, NOP}) + "7B" + end + "Hello", "Hello", ""};
        QTest::newRow("WILL")
            << Sub{open + bytes({1, IAC, WILL}) + "X7B" + end + "Hello", "Hello", ""};
        QTest::newRow("doubled IAC")
            << Sub{open + bytes({IAC, IAC}) + end + "\xff\xffHello", "\xffHello", ""};
        QTest::newRow("512 bytes") << Sub{open + QByteArray(511, 'x') + end + "Hello", "Hello", ""};
        QTest::newRow("513 bytes") << Sub{"Hi" + open + QByteArray(512, 'x') + end, "Hi", tooLong};
        QTest::newRow("doubled IAC past 512")
            << Sub{open + QByteArray(511, 'x') + bytes({IAC, IAC}), {}, tooLong};
        QTest::newRow("never ended") << Sub{open + QByteArray(1 << 20, 'x'), {}, tooLong};
    }
    void hostileSubnegotiations()
    {
        QFETCH(Sub, row);
        // What the server sends, the data the port passes on, and why it closes.
        const auto &[sent, data, error] = row;
        Rig r;
        QVERIFY(r.agree());
        r.server.peer->write(sent);
        QVERIFY(error.isEmpty() ? r.received(data.size()) : r.lost.wait(5000));
        QCOMPARE(r.got, data);
        QCOMPARE(r.port.isOpen(), error.isEmpty());
        QCOMPARE(r.port.errorString(), error.isEmpty() ? "" : r.closed(error));
    }

    void subnegotiationLeftOpen()
    {
        VirtualClock clock;
        Rig r(clock);
        QVERIFY(r.agree());
        r.server.peer->write("A" + bytes({IAC, SB, COM_PORT, 1}));
        QVERIFY(r.received(1));
        clock.advance(VirtualClock::Second * 49 / 10);
        QCOMPARE(r.lost.count(), 0);
        clock.advance(VirtualClock::Second / 5);
        QCOMPARE(r.lost.count(), 1);
        QCOMPARE(r.port.errorString(), r.closed("left a subnegotiation open for 5 s"));
    }

    // Each request is answered; a server that asks without reading closes
    // the port before the answers pile up.
    void serverThatDoesNotRead()
    {
        Rig r;
        QVERIFY(r.agree());
        QTcpSocket *peer = r.server.peer;
        peer->setReadBufferSize(1);
        peer->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        const QByteArray requests = bytes({IAC, DO, 99}).repeated(1 << 14);
        qint64 sent = 0, held = 0;
        const auto flood = [&] {
            held = qMax(held, r.port.bytesToWrite());
            if (peer->bytesToWrite() == 0 && sent < (64 << 20)) sent += peer->write(requests);
        };
        QObject::connect(peer, &QTcpSocket::bytesWritten, flood);
        flood();
        QVERIFY(r.lost.wait(10000));
        QVERIFY2(held < 512 * 1024, qPrintable(QString::number(held)));
        QCOMPARE(r.port.errorString(), r.closed("does not read what the program sends"));
    }
};

QTEST_GUILESS_MAIN(TestNetPort)
#include "tst_netport.moc"
