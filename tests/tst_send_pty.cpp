// End to end on a pseudo-terminal: the real serial port class, a machine
// selected on the panel, a program loaded from its queue, Send pressed, and
// a simulated machine tool on the other side.

#include "tst_send_fixture.h"

#include "pty.h"
#include "serial/qtserial.h"
#include "simmachine.h"
#include "transmit/txqueue.h"

#include <QPushButton>

using Rig = SendRig<QtSerial>;

class TestSendPty : public QObject
{
    Q_OBJECT
private slots:
    void endToEnd_data();
    void endToEnd();
    void deviceGoneDuringSend();
};

void TestSendPty::endToEnd_data()
{
    QTest::addColumn<QString>("flow");
    QTest::addColumn<QString>("eob");
    QTest::addColumn<double>("machineRate");
    QTest::newRow("0 no flow control") << "0"
                                       << "CRLF" << 1e7;
    QTest::newRow("1 Xon/Xoff, slow machine") << "1"
                                              << "CR" << 4000.0;
    QTest::newRow("2 RTS/CTS") << "2"
                               << "LF" << 1e7;
    QTest::newRow("3 wait for any, slow machine") << "3"
                                                  << "CRLFLF" << 4000.0;
    QTest::newRow("4 wait for DC1, slow machine") << "4"
                                                  << "CRLF" << 4000.0;
}

void TestSendPty::endToEnd()
{
    QFETCH(QString, flow);
    QFETCH(QString, eob);
    QFETCH(double, machineRate);
    Pty pty;
    QVERIFY(pty.isOpen());
    Rig r(oneMachine({{"MCPORT", pty.slavePath()},
                      {"MCDRATE", "115200"},
                      {"MCDBITS", "8"},
                      {"MCFLOW", flow},
                      {"MCBLKTIC", "Fast"},
                      {"MCEOB", eob}}),
          {pty.slavePath()});
    QCOMPARE(int(r.m.SelectedMC), 1);
    QVERIFY(r.s.isOpen());
    SimMachine machine(
        {256, machineRate, 192, 64, flow != QLatin1String("0") && flow != QLatin1String("2")});
    machine.attachPty(pty);

    // A program with CR LF line ends, every printable byte and a last line
    // without a line end.
    QByteArray file = "%\r\nO1000 (PART 7)\r\n";
    for (int i = 0; i < 60; ++i)
        file += "N" + QByteArray::number(i) + " G01 X" + QByteArray::number(i * 3) +
                ".5 Y2.25 F300\r\n";
    for (int b = 32; b < 256; b += 32) {
        QByteArray run;
        for (int c = b; c < b + 32; ++c)
            run += char(c);
        file += run + "\r\n";
    }
    file += "M30";
    const QString path = r.dir.path() + QStringLiteral("/part7.nc");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();
    r.w->queue->Q_AddFile(1, path);
    r.w->queue->Q_Clicked(1, 0);

    QByteArray expected = file;
    expected.replace("\r\n", SendEngine::endOfBlock(eob));

    QSignalSpy done(r.w->engine, &SendEngine::finished);
    QTest::mouseClick(r.w->cmdTX, Qt::LeftButton);
    QVERIFY(r.w->engine->isRunning());
    if (flow == QLatin1String("3") || flow == QLatin1String("4")) {
        QTest::qWait(50);
        QCOMPARE(machine.received, QByteArray()); // waits for the machine
        machine.send(flow == QLatin1String("3") ? QByteArray("%") : QByteArray(1, kDC1));
    }
    QVERIFY(done.wait(30000));
    QTRY_COMPARE(machine.received.size(), expected.size() + SendEngine::RunOutBytes);
    QCOMPARE(machine.received, expected + nuls());
    if (machineRate < 1e6) QVERIFY(machine.dc3Sent > 0);
    QVERIFY(r.p.messages.isEmpty());
    QCOMPARE(r.m.PortState, 0);
}

void TestSendPty::deviceGoneDuringSend()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    Rig r(oneMachine({{"MCPORT", pty.slavePath()},
                      {"MCDRATE", "9600"},
                      {"MCDBITS", "8"},
                      {"MCFLOW", "4"},
                      {"MCBLKTIC", "Fast"}}),
          {pty.slavePath()});
    QVERIFY(r.s.isOpen());
    r.load("G00\rM30\r");
    QSignalSpy done(r.w->engine, &SendEngine::finished);
    r.w->cmdTX->click();
    QVERIFY(r.w->engine->isRunning()); // waiting for the machine's DC1
    pty.closeMaster();                 // the adapter is pulled out
    QVERIFY(done.wait(10000));
    QCOMPARE(r.p.lastMessage(), TransmitControl::portText());
    QVERIFY(r.w->cmdTX->isVisible());
    QVERIFY(!r.w->cmdStop->isVisible());
    QCOMPARE(r.m.PortState, 0);
}

QTEST_MAIN(TestSendPty)
#include "tst_send_pty.moc"
