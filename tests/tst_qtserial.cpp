// The computer's serial port on a pseudo-terminal; the test plays the device.

#include "core/ports/qtserialport.h"
#include "machinevalues.h"
#include "pty.h"

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

class TestQtSerial : public QObject
{
    Q_OBJECT

    std::unique_ptr<Pty> pty;
    std::unique_ptr<QtSerialPort> port;
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
        if (t.c_cflag & CRTSCTS) on << "CRTSCTS";
        return on.join(u' ');
    }

private slots:
    void init()
    {
        port.reset(); // the last test's, before its device goes
        pty = std::make_unique<Pty>();
        QVERIFY(pty->isOpen());
        port = std::make_unique<QtSerialPort>();
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

    // A pseudo-terminal keeps 8N whatever it is told. Never IXANY: any byte
    // would release output held by DC3.
    void settingsReachTheDevice_data()
    {
        QTest::addColumn<LineSettings>("settings");
        QTest::addColumn<QString>("device");
        QTest::newRow("150 8N1") << lineSettings(150) << QString("%1 1").arg(B150);
        QTest::newRow("4800 7E2 XON/XOFF") << lineSettings(4800, 7, 2, Handshake::XonXoff)
                                           << QString("%1 2 IXON IXOFF").arg(B4800);
        QTest::newRow("115200 8N2 RTS/CTS") << lineSettings(115200, 8, 2, Handshake::RtsCts)
                                            << QString("%1 2 CRTSCTS").arg(B115200);
    }
    void settingsReachTheDevice()
    {
        QFETCH(LineSettings, settings);
        QFETCH(QString, device);
        QVERIFY(port->open(pty->slavePath(), settings));
        QCOMPARE(this->device(), device);
        QCOMPARE(modemLines, TIOCM_DTR | (settings.handshake == Handshake::RtsCts ? 0 : TIOCM_RTS));
        port->close();
        QVERIFY(port->open(pty->slavePath(), lineSettings(300)));
        QCOMPARE(this->device(), QString("%1 1").arg(B300));
        port->apply(settings);
        QCOMPARE(this->device(), device);
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
