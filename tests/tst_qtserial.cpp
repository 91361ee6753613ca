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

QByteArray allByteValues()
{
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b;
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

    void opensAndOpenAgainIsTrue()
    {
        QVERIFY(port->Open());
        QVERIFY(port->isOpen());
        QVERIFY(port->Open());
        port->Close();
        QVERIFY(!port->isOpen());
        QVERIFY(!port->Write("x"));
    }

    void openAfterRenamingSwitchesDevice()
    {
        QVERIFY(port->Open());
        Pty other;
        QVERIFY(other.isOpen());
        port->setPortName(other.slavePath());
        QVERIFY(port->Open());
        QVERIFY(port->Write("O1"));
        QCOMPARE(other.readFor(2), QByteArray("O1"));
        QCOMPARE(pty->readAll(), QByteArray());
    }

    void missingDeviceDoesNotOpen()
    {
        QSignalSpy lost(port.get(), &Serial::Lost);
        port->setPortName(QStringLiteral("/dev/tavrin-no-such-port"));
        QVERIFY(!port->Open());
        QVERIFY(!port->isOpen());
        QCOMPARE(lost.count(), 0);
    }

    void bytesTravelUnchangedBothWays()
    {
        QVERIFY(port->Open());
        const QByteArray all = allByteValues();
        QVERIFY(port->Write(all));
        QCOMPARE(pty->readFor(all.size()), all);

        QSignalSpy data(port.get(), &Serial::DataAvailable);
        QVERIFY(pty->write(all));
        QByteArray got;
        QVERIFY(QTest::qWaitFor([&] {
            got += port->ReadAll();
            return got.size() >= all.size();
        }));
        QCOMPARE(got, all);
        QVERIFY(data.count() > 0);
    }

    void staleInputIsDiscardedOnOpen()
    {
        // Bytes the machine sent while nobody had the port open.
        QVERIFY(pty->write("stale"));
        QVERIFY(port->Open());
        QVERIFY(pty->write("new"));
        QTRY_COMPARE(port->BytesAvailable(), 3);
        QCOMPARE(port->ReadAll(), QByteArray("new"));
    }

    void readOneByteAndFlush()
    {
        QVERIFY(port->Open());
        QVERIFY(pty->write("N1old"));
        QTRY_COMPARE(port->BytesAvailable(), 5);
        QCOMPARE(port->Read(1), QByteArray("N"));
        QCOMPARE(port->Read(1), QByteArray("1"));
        port->Flush();
        QCOMPARE(port->BytesAvailable(), 0);
        QCOMPARE(port->Read(1), QByteArray());
        QCOMPARE(port->ReadAll(), QByteArray());
    }

    void bytesLeftToSendFallsToZeroWhenDrained()
    {
        QVERIFY(port->Open());
        QSignalSpy written(port.get(), &Serial::BytesWritten);
        const QByteArray block(20000, 'G');
        QVERIFY(port->Write(block));
        QCOMPARE(port->BytesLeftToSend(), qint64(block.size()));
        QCOMPARE(pty->readFor(block.size()).size(), block.size());
        QTRY_COMPARE(port->BytesLeftToSend(), qint64(0));
        QVERIFY(written.count() > 0);
    }

    void lineSettingsReachTheDevice_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stop");
        QTest::addColumn<int>("speed");
        QTest::newRow("9600 8N1") << int(Serial::Baud9600) << int(Serial::Bits8)
                                  << int(Serial::ParityNone) << int(Serial::Stop1) << int(B9600);
        QTest::newRow("4800 7E2") << int(Serial::Baud4800) << int(Serial::Bits7)
                                  << int(Serial::ParityEven) << int(Serial::Stop2) << int(B4800);
        QTest::newRow("150") << int(Serial::Baud150) << int(Serial::Bits8)
                             << int(Serial::ParityNone) << int(Serial::Stop1) << int(B150);
        QTest::newRow("115200") << int(Serial::Baud115200) << int(Serial::Bits7)
                                << int(Serial::ParityEven) << int(Serial::Stop1) << int(B115200);
    }
    void lineSettingsReachTheDevice()
    {
        QFETCH(int, baud);
        QFETCH(int, bits);
        QFETCH(int, parity);
        QFETCH(int, stop);
        QFETCH(int, speed);
        const auto check = [&] {
            const termios t = termiosOf(*pty);
            QCOMPARE(int(cfgetospeed(&t)), speed);
            // A pseudo-terminal always keeps 8 data bits without parity, so
            // data bits and parity cannot be seen here.
            QCOMPARE(bool(t.c_cflag & CSTOPB), stop == Serial::Stop2);
        };
        // Given before opening: applied by Open().
        port->setBaud(baud);
        port->setBits(bits);
        port->setParity(parity);
        port->setStop(stop);
        QVERIFY(port->Open());
        check();

        // Given on the open port: stored until Reset().
        port->Close();
        port->setBaud(Serial::Baud300);
        port->setBits(Serial::Bits8);
        port->setParity(Serial::ParityNone);
        port->setStop(Serial::Stop1);
        QVERIFY(port->Open());
        port->setBaud(baud);
        port->setBits(bits);
        port->setParity(parity);
        port->setStop(stop);
        QCOMPARE(int(cfgetospeed(ptr(termiosOf(*pty)))), int(B300));
        port->Reset();
        check();
    }

    void handshakeModes()
    {
        port->setXON(true);
        QVERIFY(port->Open());
        termios t = termiosOf(*pty);
        QVERIFY(t.c_iflag & IXON);
        QVERIFY(t.c_iflag & IXOFF);
        QVERIFY2(!(t.c_iflag & IXANY), "any byte would release output held by XOFF");
        QVERIFY(!(t.c_cflag & CRTSCTS));

        // Reset re-applies Qt's flow control, which brings IXANY back.
        port->Reset();
        t = termiosOf(*pty);
        QVERIFY(t.c_iflag & IXON);
        QVERIFY(!(t.c_iflag & IXANY));

        port->setXON(false);
        port->setCTS(true);
        port->Reset();
        t = termiosOf(*pty);
        QVERIFY(!(t.c_iflag & IXON));
        QVERIFY(t.c_cflag & CRTSCTS);

        port->setCTS(false);
        port->Reset();
        t = termiosOf(*pty);
        QVERIFY(!(t.c_iflag & IXON));
        QVERIFY(!(t.c_cflag & CRTSCTS));
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

    void closingTheOtherSideIsReportedAsLost()
    {
        QVERIFY(port->Open());
        QSignalSpy lost(port.get(), &Serial::Lost);
        pty->closeMaster();
        QVERIFY(lost.wait(3000));
        QVERIFY(!port->isOpen());
        QCOMPARE(lost.count(), 1);
        QVERIFY(!port->Write("x"));
        QCOMPARE(port->BytesLeftToSend(), qint64(0));
        QCOMPARE(port->ReadAll(), QByteArray());
        // Nothing more is reported and nothing spins.
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
    }

    void lostWhileSending()
    {
        QVERIFY(port->Open());
        QSignalSpy lost(port.get(), &Serial::Lost);
        QVERIFY(port->Write(QByteArray(100000, 'X')));
        pty->closeMaster();
        QVERIFY(lost.wait(3000));
        QVERIFY(!port->isOpen());
        QCOMPARE(port->BytesLeftToSend(), qint64(0));
    }

    void closeBeforeLossIsReportedCancelsIt()
    {
        QVERIFY(port->Open());
        QSignalSpy lost(port.get(), &Serial::Lost);
        pty->closeMaster();
        port->Close();
        QTest::qWait(100);
        QCOMPARE(lost.count(), 0);
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
        m.setMc(1, MCNAME, QStringLiteral("Lathe"));
        m.setMc(1, MCPORT, pty->slavePath());
        m.setMc(1, MCDRATE, QStringLiteral("2400"));
        m.setMc(1, MCDBITS, QStringLiteral("7"));
        m.setMc(1, MCSBITS, QStringLiteral("2"));
        m.setMc(1, MCFLOW, QStringLiteral("1"));
        m.SelectedMC = 1;
        QSignalSpy marked(w.portControl, &PortControl::portMarked);
        w.portControl->OpenPort();
        QVERIFY(port->isOpen());
        QCOMPARE(marked.count(), 0);
        const termios t = termiosOf(*pty);
        QCOMPARE(int(cfgetospeed(&t)), int(B2400));
        QVERIFY(t.c_cflag & CSTOPB);
        QVERIFY(t.c_iflag & IXON);
        QVERIFY(!(t.c_iflag & IXANY));

        QVERIFY(port->Write("%\r\n"));
        QCOMPARE(pty->readFor(3), QByteArray("%\r\n"));

        pty->closeMaster();
        QVERIFY(marked.wait(3000));
        QCOMPARE(marked.last().at(0).toString(), PortControl::unavailableText(pty->slavePath()));
        QCOMPARE(w.lbldesc->text(), PortControl::unavailableText(pty->slavePath()));
        QVERIFY(!port->isOpen());
    }

private:
    static const termios *ptr(const termios &t) { return &t; }

    std::unique_ptr<Pty> pty;
    std::unique_ptr<QtSerial> port;
};

QTEST_MAIN(TestQtSerial)
#include "tst_qtserial.moc"
