// The computer's serial port on a pseudo-terminal; the test plays the device.

#include "core/ports/qtserialport.h"
#include "machinevalues.h"
#include "pty.h"
#include "virtualclock.h"

#include <QSignalSpy>
#include <QTest>
#include <cstdarg>
#include <memory>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal has no modem lines: DTR and RTS are taken on their way to it.
static int modemLines = 0;
extern "C" int ioctl(int fd, unsigned long request, ...) __THROW
{
    va_list args;
    va_start(args, request);
    auto *arg = va_arg(args, int *);
    va_end(args);
    if (request == TIOCMBIS) modemLines |= *arg;
    if (request == TIOCMBIC) modemLines &= ~*arg;
    return int(syscall(SYS_ioctl, fd, request, arg));
}

// What the port asks of its device, which a pseudo-terminal would not all
// keep, and input lines the test sets.
struct RecordingPort : QtSerialPort {
    using QtSerialPort::QtSerialPort;
    QString asked; // "4800 7E2 XON/XOFF DTR+ RTS+"; no RTS where the handshake drives it
    QSerialPort::PinoutSignals pins = QSerialPort::NoSignal;
    bool fakePins = false;

    void setLine(const DeviceLine &l) override
    {
        static const char *const flows[] = {"", " RTS/CTS", " XON/XOFF"};
        asked = QString("%1 %2%3%4%5")
                    .arg(l.baud)
                    .arg(int(l.dataBits))
                    .arg(QChar("N?EOSM"[l.parity]))
                    .arg(int(l.stopBits))
                    .arg(flows[l.flow]) +
                (l.dtr ? " DTR+" : " DTR-") +
                (!l.rts   ? ""
                 : *l.rts ? " RTS+"
                          : " RTS-");
        QtSerialPort::setLine(l);
    }
    QSerialPort::PinoutSignals pinout() const override
    {
        return fakePins ? pins : QtSerialPort::pinout();
    }
};

class TestQtSerial : public QObject
{
    Q_OBJECT

    std::unique_ptr<Pty> pty;
    std::unique_ptr<RecordingPort> port;
    QByteArray got; // what the port received

    // The speed, and the stop bits and handshake, as the device has them.
    QString device() const
    {
        termios t{};
        tcgetattr(pty->slaveFd(), &t);
        QStringList on{QString::number(cfgetospeed(&t)),
                       QString::number(t.c_cflag & CSTOPB ? 2 : 1)};
        for (const auto &[flag, name] :
             {std::pair{IXON, "IXON"}, {IXOFF, "IXOFF"}, {IXANY, "IXANY"}})
            if (t.c_iflag & flag) on << name;
        for (const auto &[flag, name] :
             {std::pair{tcflag_t(PARODD), "PARODD"}, {CMSPAR, "CMSPAR"}, {CRTSCTS, "CRTSCTS"}})
            if (t.c_cflag & flag) on << name;
        return on.join(u' ');
    }

private slots:
    void init()
    {
        port.reset(); // the last test's, before its device goes
        pty = std::make_unique<Pty>();
        QVERIFY(pty->isOpen());
        port = std::make_unique<RecordingPort>();
        got.clear();
        modemLines = 0;
        connect(port.get(), &SerialPort::received, this, [this](const QByteArray &b) { got += b; });
    }

    // Opened, reopened elsewhere, closed; lost when the other side closes,
    // idle or writing.
    void openCloseAndLose()
    {
        QSignalSpy lost(port.get(), &SerialPort::lost);
        QVERIFY(port->open(pty->slavePath(), {}));
        QVERIFY(port->open(pty->slavePath(), {}));
        port->close();
        QVERIFY(!port->isOpen() && !port->write("x"));
        QVERIFY(port->open(pty->slavePath(), {}));
        Pty other;
        QVERIFY(port->open(other.slavePath(), {}));
        QVERIFY(port->write("O1"));
        QCOMPARE(other.readFor(2), QByteArray("O1"));
        QCOMPARE(pty->readAll(), QByteArray());
        QVERIFY(!port->open("/dev/tavrin-no-such-port", {}) && !port->isOpen());
        QVERIFY(port->open(pty->slavePath(), {}));
        QCOMPARE(lost.count(), 0);
        pty->closeMaster();
        QVERIFY(lost.wait(3000) && !port->isOpen());
        // Lost while it writes too: what it held is dropped.
        QVERIFY(port->open(other.slavePath(), {}) && port->write(QByteArray(100000, 'X')));
        other.closeMaster();
        QVERIFY(lost.wait(3000) && !port->isOpen() && !port->write("x"));
        QCOMPARE(port->bytesToWrite(), qint64(0));
        QCOMPARE(lost.count(), 2);
    }

    // Every byte value both ways; what waited before the port opened is gone.
    void bytesUnchangedBothWays()
    {
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all += char(i);
        QVERIFY(pty->write("stale"));
        QVERIFY(port->open(pty->slavePath(), {}));
        const QByteArray block = all.repeated(80);
        QVERIFY(port->write(block));
        QCOMPARE(port->bytesToWrite(), qint64(block.size()));
        QCOMPARE(pty->readFor(block.size()), block);
        QTRY_COMPARE(port->bytesToWrite(), qint64(0));
        QVERIFY(pty->write(all));
        QTRY_COMPARE(got, all);
    }

    // What a machine's stored values ask of the device, and of that what a
    // pseudo-terminal keeps (it forces 8 data bits and no parity enable).
    // Never IXANY: any byte would release output held by DC3.
    void settingsReachTheDevice_data()
    {
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("modem");
        const int dtr = TIOCM_DTR, rts = TIOCM_RTS;
        QTest::newRow("150 8N1") << "MCDRATE=150|MCDBITS=8|MCSBITS=1|MCFLOW=0"
                                 << "150 8N1 DTR+ RTS+" << QString("%1 1").arg(B150) << (dtr | rts);
        QTest::newRow("4800 7E2 XON/XOFF") << "MCDRATE=4800|MCDBITS=7|MCSBITS=2|MCFLOW=1"
                                           << "4800 7E2 XON/XOFF DTR+ RTS+"
                                           << QString("%1 2 IXON IXOFF").arg(B4800) << (dtr | rts);
        QTest::newRow("115200 8N2 RTS/CTS")
            << "MCDRATE=115200|MCDBITS=8|MCSBITS=2|MCFLOW=2|MCRTS=LOW"
            << "115200 8N2 RTS/CTS DTR+" << QString("%1 2 CRTSCTS").arg(B115200) << dtr;
        QTest::newRow("9600 7O1") << "MCDRATE=9600|MCDBITS=7|MCPARITY=Odd|MCSBITS=1|MCDTR=LOW"
                                  << "9600 7O1 DTR- RTS+" << QString("%1 1 PARODD").arg(B9600)
                                  << rts;
        QTest::newRow("300 5M2")
            << "MCDRATE=300|MCDBITS=5|MCPARITY=Mark|MCSBITS=2|MCDTR=HIGH|MCRTS=LOW"
            << "300 5M2 DTR+ RTS-" << QString("%1 2 PARODD CMSPAR").arg(B300) << dtr;
        QTest::newRow("19200 6S1 DTR/DSR")
            << "MCDRATE=19200|MCDBITS=6|MCPARITY=Space|MCSBITS=1|MCFLOW=5|MCDTR=LOW|MCRTS=HIGH"
            << "19200 6S1 DTR+ RTS+" << QString("%1 1 CMSPAR").arg(B19200) << (dtr | rts);
    }
    void settingsReachTheDevice()
    {
        QFETCH(QString, values);
        QFETCH(QString, asked);
        QFETCH(QString, device);
        QFETCH(int, modem);
        const LineSettings settings = LineSettings::forMachine(machineWith(values), 0);
        QCOMPARE(settings.toString().section(u' ', 0, 1), asked.section(u' ', 0, 1));
        QVERIFY(port->open(pty->slavePath(), settings));
        QCOMPARE(port->asked, asked);
        QCOMPARE(this->device(), device);
        QCOMPARE(modemLines, modem);
        port->close();
        QVERIFY(port->open(pty->slavePath(), lineSettings(300)));
        QCOMPARE(this->device(), QString("%1 1").arg(B300));
        port->apply(settings);
        QCOMPARE(port->asked, asked);
        QCOMPARE(this->device(), device);
    }

    // Watched, a change of CTS or DSR is told within a few milliseconds;
    // not watched, the lines are not looked at.
    void inputLinesWatched()
    {
        VirtualClock clock;
        RecordingPort p(nullptr, clock);
        QSignalSpy changed(&p, &SerialPort::inputLinesChanged);
        p.fakePins = true;
        p.pins = QSerialPort::DataSetReadySignal | QSerialPort::ClearToSendSignal;
        p.watchInputLines(true);
        p.pins = QSerialPort::ClearToSendSignal | QSerialPort::RingIndicatorSignal;
        clock.advance(QtSerialPort::WatchMs * 1'000'000);
        QVERIFY(changed.count() == 1 && !p.dsr() && p.cts());
        p.pins |= QSerialPort::DataCarrierDetectSignal; // not one that holds a send
        clock.advance(VirtualClock::Second);
        QCOMPARE(changed.count(), 1);
        p.watchInputLines(false);
        p.pins = QSerialPort::NoSignal;
        clock.advance(VirtualClock::Second);
        QCOMPARE(changed.count(), 1);
    }

    // Held output is not taken for a lost device.
    void onlyDc1ReleasesHeldOutput()
    {
        QVERIFY(port->open(pty->slavePath(), lineSettings(9600, 8, 1, Handshake::XonXoff)));
        QSignalSpy lost(port.get(), &SerialPort::lost);
        QVERIFY(pty->write(QByteArray("\x13") + 'A'));
        QTRY_COMPARE(got, QByteArray("A"));
        QVERIFY(port->write("N10G01"));
        QVERIFY(pty->write("B"));
        QTRY_COMPARE(got, QByteArray("AB"));
        QSignalSpy out(pty.get(), &Pty::readyRead);
        QVERIFY(!out.wait(100) && port->bytesToWrite() > 0);
        QVERIFY(pty->write("\x11"));
        QCOMPARE(pty->readFor(6), QByteArray("N10G01"));
        QTRY_COMPARE(port->bytesToWrite(), qint64(0));
        QVERIFY(lost.isEmpty() && port->isOpen());
    }
};

QTEST_GUILESS_MAIN(TestQtSerial)
#include "tst_qtserial.moc"
