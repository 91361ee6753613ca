// The production port against a pseudo-terminal: the test plays the machine
// tool on the master side.
#include "app/frmhalvec.h"
#include "config/module1.h"
#include "fakeplatform.h"
#include "fakeserial.h"
#include "pty.h"
#include "serial/portcontrol.h"
#include "serial/qtserial.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <termios.h>

namespace
{
constexpr char DC1 = 0x11;
constexpr char DC3 = 0x13;

termios termiosOf(const Pty &pty)
{
    termios t{};
    tcgetattr(pty.slaveFd(), &t);
    return t;
}
} // namespace

class TestQtSerial : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        pty = std::make_unique<Pty>();
        QVERIFY(pty->isOpen());
        port = std::make_unique<QtSerial>();
        port->setPortName(pty->slavePath());
    }
    void cleanup()
    {
        port.reset();
        pty.reset();
    }

    void openCloseAndRename()
    {
        QSignalSpy lost(port.get(), &Serial::Lost);
        QVERIFY(port->Open());
        QVERIFY(port->Open());
        port->Close();
        QVERIFY(!port->isOpen());
        QVERIFY(!port->Write("x"));

        // Renamed while open: Open switches to the newly named device.
        QVERIFY(port->Open());
        Pty other;
        QVERIFY(other.isOpen());
        port->setPortName(other.slavePath());
        QVERIFY(port->Open());
        QVERIFY(port->Write("O1"));
        QCOMPARE(other.readFor(2), QByteArray("O1"));
        QCOMPARE(pty->readAll(), QByteArray());

        port->setPortName(QStringLiteral("/dev/tavrin-no-such-port"));
        QVERIFY(!port->Open());
        QVERIFY(!port->isOpen());
        QCOMPARE(lost.count(), 0);
    }

    void bytesTravelUnchangedBothWays()
    {
        // Bytes the machine sent while nobody had the port open are dropped.
        QVERIFY(pty->write("stale"));
        QVERIFY(port->Open());
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        const QByteArray block = all.repeated(80);
        QSignalSpy written(port.get(), &Serial::BytesWritten);
        QVERIFY(port->Write(block));
        QCOMPARE(port->BytesLeftToSend(), qint64(block.size()));
        QCOMPARE(pty->readFor(block.size()), block);
        QTRY_COMPARE(port->BytesLeftToSend(), qint64(0));
        QVERIFY(written.count() > 0);

        QSignalSpy data(port.get(), &Serial::DataAvailable);
        QVERIFY(pty->write(all));
        QByteArray got;
        QVERIFY(QTest::qWaitFor([&] {
            got += port->ReadAll();
            return got.size() >= all.size();
        }));
        QCOMPARE(got, all);
        QVERIFY(data.count() > 0);

        QVERIFY(pty->write("N1old"));
        QTRY_COMPARE(port->BytesAvailable(), 5);
        QCOMPARE(port->Read(1), QByteArray("N"));
        QCOMPARE(port->Read(1), QByteArray("1"));
        port->Flush();
        QCOMPARE(port->BytesAvailable(), 0);
        QCOMPARE(port->Read(1), QByteArray());
    }

    void lineSettingsReachTheDevice_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("stop");
        QTest::addColumn<int>("speed");
        QTest::newRow("4800 2 stop bits")
            << int(Serial::Baud4800) << int(Serial::Stop2) << int(B4800);
        QTest::newRow("150") << int(Serial::Baud150) << int(Serial::Stop1) << int(B150);
        QTest::newRow("115200") << int(Serial::Baud115200) << int(Serial::Stop1) << int(B115200);
    }
    void lineSettingsReachTheDevice()
    {
        QFETCH(int, baud);
        QFETCH(int, stop);
        QFETCH(int, speed);
        // A pseudo-terminal always keeps 8 data bits without parity, so only
        // speed and stop bits can be seen here.
        const auto set = [this](int b, int d, int p, int s) {
            port->setBaud(b);
            port->setBits(d);
            port->setParity(p);
            port->setStop(s);
        };
        const auto check = [this](int expectSpeed, bool stop2) {
            const termios t = termiosOf(*pty);
            QCOMPARE(int(cfgetospeed(&t)), expectSpeed);
            QCOMPARE(bool(t.c_cflag & CSTOPB), stop2);
        };
        // Given before opening: applied by Open().
        set(baud, Serial::Bits7, Serial::ParityEven, stop);
        QVERIFY(port->Open());
        check(speed, stop == Serial::Stop2);

        // Given on the open port: stored until Reset().
        port->Close();
        set(Serial::Baud300, Serial::Bits8, Serial::ParityNone, Serial::Stop1);
        QVERIFY(port->Open());
        set(baud, Serial::Bits7, Serial::ParityEven, stop);
        check(B300, false);
        port->Reset();
        check(speed, stop == Serial::Stop2);
    }

    void handshakeModes()
    {
        const auto modes = [this] {
            const termios t = termiosOf(*pty);
            QStringList on;
            for (const auto &[flag, name] :
                 {std::pair{IXON, "IXON"}, {IXOFF, "IXOFF"}, {IXANY, "IXANY"}})
                if (t.c_iflag & flag) on << QLatin1String(name);
            if (t.c_cflag & CRTSCTS) on << QStringLiteral("CRTSCTS");
            return on.join(u' ');
        };
        // IXANY would let any byte release output held by XOFF; Reset
        // re-applies Qt's flow control, which would bring it back.
        port->setXON(true);
        QVERIFY(port->Open());
        QCOMPARE(modes(), QStringLiteral("IXON IXOFF"));
        port->Reset();
        QCOMPARE(modes(), QStringLiteral("IXON IXOFF"));

        port->setXON(false);
        port->setCTS(true);
        port->Reset();
        QCOMPARE(modes(), QStringLiteral("CRTSCTS"));

        port->setCTS(false);
        port->Reset();
        QCOMPARE(modes(), QString());
    }

    // DC3 holds the output, other bytes from the machine do not release it,
    // DC1 does; the held output is not mistaken for a lost device.
    void onlyDc1ReleasesHeldOutput()
    {
        port->setXON(true);
        QVERIFY(port->Open());
        QSignalSpy lost(port.get(), &Serial::Lost);
        QVERIFY(pty->write(QByteArray(1, DC3) + "A"));
        // 'A' arriving means the DC3 before it has been taken too.
        QTRY_COMPARE(port->BytesAvailable(), 1);
        QCOMPARE(port->ReadAll(), QByteArray("A"));

        QVERIFY(port->Write("N10G01"));
        QVERIFY(pty->write("B"));
        QTRY_COMPARE(port->BytesAvailable(), 1);
        QCOMPARE(port->ReadAll(), QByteArray("B"));
        // Nothing may come out while held; give the port time to misbehave.
        QTest::qWait(150);
        QCOMPARE(pty->readAll(), QByteArray());
        QVERIFY(port->BytesLeftToSend() > 0);
        QVERIFY(port->isOpen());

        QVERIFY(pty->write(QByteArray(1, DC1)));
        QCOMPARE(pty->readFor(6), QByteArray("N10G01"));
        QTRY_COMPARE(port->BytesLeftToSend(), qint64(0));
        QCOMPARE(lost.count(), 0);
        QVERIFY(port->isOpen());
    }

    void closingTheOtherSideIsReportedAsLost_data()
    {
        QTest::addColumn<int>("sending");
        QTest::addColumn<bool>("closedFirst");
        QTest::newRow("idle") << 0 << false;
        QTest::newRow("while sending") << 100000 << false;
        QTest::newRow("closed by the program first: not reported") << 0 << true;
    }
    void closingTheOtherSideIsReportedAsLost()
    {
        QFETCH(int, sending);
        QFETCH(bool, closedFirst);
        QVERIFY(port->Open());
        QSignalSpy lost(port.get(), &Serial::Lost);
        if (sending) QVERIFY(port->Write(QByteArray(sending, 'X')));
        pty->closeMaster();
        if (closedFirst)
            port->Close();
        else
            QVERIFY(lost.wait(3000));
        QVERIFY(!port->isOpen());
        QVERIFY(!port->Write("x"));
        QCOMPARE(port->BytesLeftToSend(), qint64(0));
        QCOMPARE(port->ReadAll(), QByteArray());
        // Nothing more is reported and nothing spins.
        QTest::qWait(100);
        QCOMPARE(lost.count(), closedFirst ? 0 : 1);
    }

    // A machine whose port is the pseudo-terminal is opened with its settings
    // by the port control, and marked unavailable when the device goes away.
    void machineOnThePseudoTerminal()
    {
        QTemporaryDir dir;
        Module1 m;
        m.AppPath = dir.path() + QLatin1Char('/');
        FakePlatform platform;
        FakePortList ports({QStringLiteral("ttyS0"), pty->slavePath()});
        frmHalvec w(m, platform, *port, ports);
        m.Last_MC = 1;
        const QList<QPair<McKey, QString>> values{{MCNAME, "Lathe"}, {MCPORT, pty->slavePath()},
                                                  {MCDRATE, "2400"}, {MCDBITS, "7"},
                                                  {MCSBITS, "2"},    {MCFLOW, "1"}};
        for (const auto &[key, value] : values)
            m.setMc(1, key, value);
        m.SelectedMC = 1;
        QSignalSpy marked(w.portControl, &PortControl::portMarked);
        w.portControl->OpenPort();
        QVERIFY(port->isOpen());
        QCOMPARE(marked.count(), 0);
        const termios t = termiosOf(*pty);
        QCOMPARE(int(cfgetospeed(&t)), int(B2400));
        QVERIFY(t.c_cflag & CSTOPB);

        QVERIFY(port->Write("%\r\n"));
        QCOMPARE(pty->readFor(3), QByteArray("%\r\n"));

        pty->closeMaster();
        QVERIFY(marked.wait(3000));
        QCOMPARE(marked.last().at(0).toString(), PortControl::unavailableText(pty->slavePath()));
        QCOMPARE(w.lbldesc->text(), PortControl::unavailableText(pty->slavePath()));
        QVERIFY(!port->isOpen());
    }

private:
    std::unique_ptr<Pty> pty;
    std::unique_ptr<QtSerial> port;
};

QTEST_MAIN(TestQtSerial)
#include "tst_qtserial.moc"
