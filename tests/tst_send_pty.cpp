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
    const char *rows[][2] = {
        {"0", "CRLF"}, {"1", "CR"}, {"2", "LF"}, {"3", "CRLFLF"}, {"4", "CRLF"}};
    for (const auto &[flow, eob] : rows)
        QTest::addRow("mode %s, %s", flow, eob)
            << QString::fromLatin1(flow) << QString::fromLatin1(eob);
}

namespace
{
QMap<QString, QString> ptyMachine(const Pty &pty, const QString &speed, const QString &flow,
                                  const QString &eob = QStringLiteral("CRLF"))
{
    return {{"MCPORT", pty.slavePath()}, {"MCDRATE", speed}, {"MCDBITS", "8"}, {"MCFLOW", flow},
            {"MCBLKTIC", "Fast"},        {"MCEOB", eob}};
}
} // namespace

void TestSendPty::endToEnd()
{
    QFETCH(QString, flow);
    QFETCH(QString, eob);
    Pty pty;
    QVERIFY(pty.isOpen());
    Rig r({ptyMachine(pty, QStringLiteral("115200"), flow, eob)}, {pty.slavePath()});
    QCOMPARE(int(r.m.SelectedMC), 1);
    QVERIFY(r.s.isOpen());
    // Where the machine may send XOFF it takes the data slower than the line.
    const bool xoff = flow != QLatin1String("0") && flow != QLatin1String("2");
    SimMachine machine({256, xoff ? 4000.0 : 1e7, 192, 64, xoff});
    machine.attachPty(pty);

    // A program with CR LF line ends, every printable byte and a last line
    // without a line end.
    QByteArray file = "%\r\nO1000 (PART 7)\r\n";
    for (int i = 0; i < 60; ++i)
        file += "N" + QByteArray::number(i) + " G01 X" + QByteArray::number(i * 3) +
                ".5 Y2.25 F300\r\n";
    for (int c = 32; c < 256; ++c)
        file += QByteArray(1, char(c)) + (c % 32 == 31 ? "\r\n" : "");
    file += "M30";
    r.w->queue->Q_AddFile(1, r.file(QStringLiteral("part7.nc"), file));
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
    QVERIFY(!xoff || machine.dc3Sent > 0);
    QVERIFY(r.p.messages.isEmpty());
    QVERIFY(r.idle());
}

void TestSendPty::deviceGoneDuringSend()
{
    Pty pty;
    QVERIFY(pty.isOpen());
    Rig r({ptyMachine(pty, QStringLiteral("9600"), QStringLiteral("4"))}, {pty.slavePath()});
    QVERIFY(r.s.isOpen());
    r.load("G00\rM30\r");
    QSignalSpy done(r.w->engine, &SendEngine::finished);
    r.w->cmdTX->click();
    QVERIFY(r.w->engine->isRunning()); // waiting for the machine's DC1
    pty.closeMaster();                 // the adapter is pulled out
    QVERIFY(done.wait(10000));
    QCOMPARE(r.p.lastMessage(), TransmitControl::portText());
    QVERIFY(r.idle());
}

QTEST_MAIN(TestSendPty)
#include "tst_send_pty.moc"
