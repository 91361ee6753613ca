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
} // namespace

class TestSim : public QObject
{
    Q_OBJECT
private slots:
    // `bytes` arrive `gapMs` apart.
    void marks_data()
    {
        QTest::addColumn<SimControlConfig>("config");
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<qint64>("dc3Ms"); // -1: none
        QTest::addColumn<qint64>("dc1Us");
        QTest::addColumn<int>("level"); // at DC3
        QTest::addColumn<int>("after"); // characters after DC3
        QTest::addColumn<qint64>("lost");
        const SimControlConfig small{256, 100, 192, 64, true};
        // 195 at once, in one read: all were on their way before the DC3, so
        // none counts after it. DC1 when 195 - 64 have gone at 100 a second.
        QTest::newRow("all at once") << small << 0 << 195 << 0LL << 1'310'000LL << 192 << 0 << 0LL;
        // 1 + 0.9 i bytes after byte i: 192.7 at the 213th ms; 195.4 at 216 ms.
        QTest::newRow("while it empties")
            << small << 1 << 217 << 213LL << 1'530'000LL << 192 << 3 << 0LL;
        QTest::newRow("big buffer") << SimControlConfig{4096, 1000, 3072, 1024, true} << 0 << 3082
                                    << 0LL << 2'058'000LL << 3072 << 0 << 0LL;
        // 260 into 256: four lost; DC1 when 256 - 64 have gone.
        QTest::newRow("overrun") << SimControlConfig{256, 100, 250, 64, true} << 0 << 260 << 0LL
                                 << 1'920'000LL << 250 << 0 << 4LL;
        QTest::newRow("no flow") << SimControlConfig{256, 100, 192, 64, false} << 0 << 300 << -1LL
                                 << 0LL << 0 << 0 << 44LL;
    }
    void marks()
    {
        QFETCH(SimControlConfig, config);
        QFETCH(int, gapMs);
        QFETCH(int, bytes);
        QFETCH(qint64, dc3Ms);
        QFETCH(qint64, dc1Us);
        QFETCH(int, level);
        QFETCH(int, after);
        QFETCH(qint64, lost);
        VirtualClock clock;
        SimControl control(clock, config);
        QList<std::pair<QByteArray, qint64>> toPc;
        control.toPc = [&](const QByteArray &b, qint64 ns) { toPc.append({b, ns}); };
        QList<SimControl::Hold> holds;
        connect(&control, &SimControl::dc1Sent, [&](const SimControl::Hold &h) { holds << h; });
        for (int i = 0; i < bytes; ++i) {
            clock.advance(i ? gapMs * Ms : 0);
            control.receive('G', clock.nowNs());
        }
        QCOMPARE(control.overruns(), lost);
        clock.advance(10 * VirtualClock::Second);
        QCOMPARE(toPc.size(), dc3Ms < 0 ? 0 : 2);
        if (dc3Ms < 0) return;
        QCOMPARE(toPc[0], std::pair(QByteArray("\x13"), dc3Ms * Ms));
        QCOMPARE(toPc[1].first, QByteArray("\x11"));
        QVERIFY2(qAbs(toPc[1].second - dc1Us * 1000) < 1000, QByteArray::number(toPc[1].second));
        QCOMPARE(holds.size(), 1);
        QCOMPARE(holds[0].levelAtDc3, level);
        QCOMPARE(holds[0].afterDc3, after);
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
