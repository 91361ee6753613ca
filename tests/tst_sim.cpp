// The machine simulator: its control's DC3 and DC1 in virtual time, and the
// tavrin-sim program itself on its pseudo-terminal.

#include "sim/simcontrol.h"
#include "virtualclock.h"

#include <QFile>
#include <QProcess>
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

    // The program on its pseudo-terminal: a program sent to it saved byte for
    // byte in a folder it makes, its run-out taking no room in the buffer (no
    // DC3 for it); a request punched.
    void program()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.filePath("received/sim");
        QProcess sim;
        sim.start(TAVRIN_SIM, {"--save", dir});
        const auto line = [&sim] {
            (void)QTest::qWaitFor([&] { return sim.canReadLine() || (sim.waitForReadyRead(20), false); }, 5000);
            return QString::fromLocal8Bit(sim.readLine()).trimmed();
        };
        const QString port = line();
        QVERIFY2(port.startsWith("Port: /dev/"), qPrintable(port));
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

        sim.write("request O1234\n");
        const QByteArray request = "%\nO0001\n(SEND O1234)\n%\n";
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
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
