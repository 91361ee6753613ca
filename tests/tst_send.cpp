// What the send puts on the wire, and how it paces, holds and ends, through
// the fake port.

#include "tst_send_fixture.h"

#include "serial/portcontrol.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>

using Rig = SendRig<FakeSerial>;

class TestSend : public QObject
{
    Q_OBJECT
private slots:
    void wireBytes_data();
    void wireBytes();
    void blockDelayTicks();
    void flowModes_data();
    void flowModes();
    void drainsBeforeEachLine();
    void stopWhere_data();
    void stopWhere();
    void progressAndClearingTexts();
    void pauseAndEditsDuringSend();
    void portLostEndsSend();
};

void TestSend::wireBytes_data()
{
    QTest::addColumn<QString>("eob");
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QByteArray>("wire");
    const QByteArray g("G00\rG01\r");
    QTest::newRow("CRLF") << "CRLF" << g << 0 << QByteArray("G00\r\nG01\r\n");
    QTest::newRow("CR") << "CR" << g << 0 << g;
    QTest::newRow("LF") << "LF" << g << 0 << QByteArray("G00\nG01\n");
    QTest::newRow("CRLFLF") << "CRLFLF" << g << 0 << QByteArray("G00\r\n\nG01\r\n\n");
    QTest::newRow("other value") << "EOB" << g << 0 << QByteArray("G00\r\nG01\r\n");
    QTest::newRow("LF line ends") << "CR" << QByteArray("G00\nG01\n") << 0 << g;
    QTest::newRow("CR LF line ends") << "CR" << QByteArray("G00\r\nG01\r\n") << 0 << g;
    QTest::newRow("last line without end")
        << "CRLF" << QByteArray("G00\rM30") << 0 << QByteArray("G00\r\nM30");
    QTest::newRow("empty lines") << "CR" << QByteArray("%\r\r\rM30\r") << 0
                                 << QByteArray("%\r\r\rM30\r");
    QTest::newRow("empty line last") << "LF" << QByteArray("%\n\n") << 0 << QByteArray("%\n\n");
    // Caret in the middle of the third line: the whole line goes first.
    QTest::newRow("from the caret line")
        << "CR" << QByteArray("O100\rG00 X1\rG01 Y2\rM30\r") << 14 << QByteArray("G01 Y2\rM30\r");
    QByteArray all;
    for (int b = 1; b <= 255; ++b)
        if (b != '\r' && b != '\n') all += char(b);
    all += "\r\n";
    QTest::newRow("every byte value") << "CRLF" << all + all << 0 << all + all;
}

void TestSend::wireBytes()
{
    QFETCH(QString, eob);
    QFETCH(QByteArray, program);
    QFETCH(int, caret);
    QFETCH(QByteArray, wire);
    Rig r(fastMachine(eob));
    r.load(program);
    r.caretTo(caret);
    r.s.clearLog();
    QVERIFY(r.send());
    QCOMPARE(r.s.written, wire + nuls());
    QVERIFY(r.p.messages.isEmpty());
    // Every send ends with the purge; the real settings come back after it.
    const QString log = r.s.log.join(QLatin1Char(' '));
    QVERIFY2(log.contains(QStringLiteral("Baud=14 Reset Flush")), qPrintable(log));
    QCOMPARE(r.s.Baud(), int(Serial::Baud9600));
}

void TestSend::blockDelayTicks()
{
    // Block delay in ms -> ticks of the ~16 ms clock until the next line.
    const int table[][2] = {{0, 1}, {16, 1}, {17, 2}, {25, 2}, {50, 4}, {100, 7}};
    for (const auto &[ms, ticks] : table)
        QCOMPARE(SendEngine::delayEndTick(1000, ms), 1000 + ticks);
}

void TestSend::flowModes_data()
{
    QTest::addColumn<QByteArray>("notYet"); // arrives while held, must not release
    QTest::addColumn<char>("release");      // 0: nothing holds the send
    QTest::newRow("0") << QByteArray() << '\0';
    QTest::newRow("2") << QByteArray() << '\0';
    QTest::newRow("9") << QByteArray() << '\0';
    QTest::newRow("1") << QByteArray("A%") << kDC1; // DC3 holds the next character
    QTest::newRow("3") << QByteArray() << 'X';      // start waits for any character
    QTest::newRow("4") << QByteArray("X%\x13") << kDC1;
}

void TestSend::flowModes()
{
    QFETCH(QByteArray, notYet);
    QFETCH(char, release);
    const QString flow = QString::fromLatin1(QTest::currentDataTag());
    Rig r(fastMachine(QStringLiteral("CR"), flow));
    r.load("ABCDEF\rM30\r");
    const bool startWait = flow == QLatin1String("3") || flow == QLatin1String("4");
    r.s.onWrite = [&](const QByteArray &) {
        if (!startWait && r.s.written == "ABC") r.rx(kDC3);
    };
    r.w->transmit->cmdTX_Action();
    if (release) {
        const QByteArray held = startWait ? QByteArray() : QByteArray("ABC");
        QTRY_COMPARE(r.s.written, held);
        for (char c : notYet)
            r.s.deliver(QByteArray(1, c));
        QTest::qWait(100);
        QCOMPARE(r.s.written, held);
        r.s.deliver(QByteArray(1, release));
    }
    QVERIFY(r.waitFinished());
    QCOMPARE(r.s.written, QByteArray("ABCDEF\rM30\r") + nuls());
}

void TestSend::drainsBeforeEachLine()
{
    Rig r(fastMachine());
    r.load("L1\rL2\rL3\r");
    r.s.autoDrain = false;
    r.w->transmit->cmdTX_Action();
    QTRY_COMPARE(r.s.written, QByteArray("L1\r"));
    r.s.drain(2);
    QTest::qWait(60);
    QCOMPARE(r.s.written, QByteArray("L1\r")); // line 2 waits for the whole drain
    r.s.drain();
    QTRY_COMPARE(r.s.written, QByteArray("L1\rL2\r"));
    r.s.autoDrain = true;
    r.s.drain();
    QVERIFY(r.waitFinished());
    QCOMPARE(r.s.written, QByteArray("L1\rL2\rL3\r") + nuls());
}

void TestSend::stopWhere_data()
{
    QTest::addColumn<QString>("flow");
    QTest::addColumn<QByteArray>("wire");
    // Stop during the first block delay: the line is finished, then the end.
    QTest::newRow("delay") << "0" << QByteArray("L1\r");
    QTest::newRow("start wait") << "4" << QByteArray();
    QTest::newRow("drain") << "0" << QByteArray("L1\r");
    QTest::newRow("xoff") << "1" << QByteArray("L");
    QTest::newRow("pause") << "0" << QByteArray("L1\r");
    QTest::newRow("clearing") << "0" << QByteArray("L1\rL2\rL3\r") + nuls();
}

void TestSend::stopWhere()
{
    QFETCH(QString, flow);
    QFETCH(QByteArray, wire);
    const QLatin1String where(QTest::currentDataTag());
    Rig r(fastMachine(QStringLiteral("CR"), flow));
    r.load("L1\rL2\rL3\r");
    r.w->txFileName[1]->setText(QStringLiteral("/cnc/p2.nc"));
    if (where == QLatin1String("drain")) r.s.autoDrain = false;
    r.s.onWrite = [&](const QByteArray &b) {
        if (where == QLatin1String("xoff") && b == "L") r.rx(kDC3);
        if (b.size() == SendEngine::RunOutBytes) r.s.autoDrain = false; // hold the NULs
    };
    QSignalSpy done(r.w->engine, &SendEngine::finished);
    r.w->transmit->cmdTX_Action();
    if (where == QLatin1String("pause")) r.w->chkTXPause->click();
    if (where == QLatin1String("clearing"))
        QTRY_COMPARE(r.w->txFileName[1]->text(), SendEngine::waitingText());
    else if (where != QLatin1String("delay") && where != QLatin1String("start wait"))
        QTRY_COMPARE(r.s.written, wire);
    if (where == QLatin1String("pause")) QTest::qWait(60);
    QVERIFY(r.w->cmdStop->isVisible());
    r.w->cmdStop->click();
    QVERIFY(done.count() == 1 || done.wait(5000));
    QCOMPARE(r.s.written, wire);
    QVERIFY(r.s.log.contains(QStringLiteral("Flush")));
    QCOMPARE(r.w->txtPcent->text(), QStringLiteral("100%"));
    QCOMPARE(r.w->PBar1->value(), r.w->PBar1->maximum());
    QCOMPARE(r.w->txFileName[1]->text(), QStringLiteral("/cnc/p2.nc"));
    QVERIFY(!r.w->chkTXPause->isVisible());
    QVERIFY(r.idle());
}

void TestSend::progressAndClearingTexts()
{
    Rig r(fastMachine());
    // 1999 characters and 2000 NULs, divisor 39; each line counts its
    // characters, its line end and one more, so the last line starts at
    // 99 * 21 / 39 = 53.3.
    QByteArray program;
    for (int i = 0; i < 100; ++i)
        program += QByteArray(19, 'A') + '\r';
    r.load(program);
    r.w->txFileName[1]->setText(QStringLiteral("/cnc/p1.nc"));
    QStringList seen;
    r.s.onWrite = [&](const QByteArray &b) {
        if (b.size() == SendEngine::RunOutBytes)
            r.s.autoDrain = false; // hold the NULs in the port
        else if (b == "A")
            seen << r.w->txtPcent->text();
    };
    r.w->transmit->cmdTX_Action();
    QTRY_COMPARE_WITH_TIMEOUT(r.w->txFileName[1]->text(), SendEngine::waitingText(), 10000);
    QCOMPARE(seen.first(), QStringLiteral("0%"));
    QCOMPARE(seen.last(), QStringLiteral("53%"));
    QCOMPARE(r.w->PBar1->maximum(), SendEngine::RunOutBytes + 1);
    QTRY_COMPARE(r.w->txtPcent->text(), QStringLiteral("00 %"));
    r.s.drain(1000);
    QTRY_COMPARE(r.w->txtPcent->text(), QStringLiteral("50 %"));
    QCOMPARE(r.w->PBar1->value(), 1000);
    QCOMPARE(r.w->txFileName[1]->text(), SendEngine::waitingText());
    r.s.drain();
    QVERIFY(r.waitFinished());
    QCOMPARE(r.w->txtPcent->text(), QStringLiteral("100%"));
    QCOMPARE(r.w->txFileName[1]->text(), QStringLiteral("/cnc/p1.nc"));
    QVERIFY(r.w->PBar1->isVisible());
}

void TestSend::pauseAndEditsDuringSend()
{
    Rig r(fastMachine());
    r.load("L1\rL2\rL3\r");
    r.w->chkTXPause->setEnabled(true);
    r.w->chkTXPause->setChecked(true); // left down by an earlier send
    r.w->transmit->cmdTX_Action();
    QVERIFY(!r.w->chkTXPause->isChecked()); // a new send starts with Pause up
    QVERIFY(r.w->chkTXPause->isEnabled());
    QCOMPARE(r.m.PortState, 1);
    QVERIFY(!r.w->cmdTX->isVisible());
    r.w->chkTXPause->click();
    QTRY_COMPARE(r.s.written, QByteArray("L1\r"));
    QTest::qWait(100);
    QCOMPARE(r.s.written, QByteArray("L1\r"));
    // Held before line 2: change line 3 and add lines after the end.
    QTextCursor c(r.edit()->document()->findBlockByNumber(2));
    c.select(QTextCursor::LineUnderCursor);
    c.insertText(QStringLiteral("X3"));
    c.movePosition(QTextCursor::End);
    c.insertText(QStringLiteral("L5\nL6\n"));
    r.w->chkTXPause->click();
    QVERIFY(r.waitFinished());
    // The text had four blocks at the start (the last one empty); the
    // fourth is now "L5" with a line end, and goes; "L6" lies beyond.
    QCOMPARE(r.s.written, QByteArray("L1\rL2\rX3\rL5\r") + nuls());
    QVERIFY(r.idle());
}

void TestSend::portLostEndsSend()
{
    Rig r(fastMachine());
    r.load("L1\rL2\r");
    r.s.autoDrain = false;
    r.w->transmit->cmdTX_Action();
    QTRY_COMPARE(r.s.written, QByteArray("L1\r"));
    r.s.loseDevice();
    QVERIFY(r.waitFinished());
    QCOMPARE(r.p.lastMessage(), TransmitControl::portText());
    QVERIFY(r.idle());
}

QTEST_MAIN(TestSend)
#include "tst_send.moc"
