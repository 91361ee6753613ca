// The transmit bar and the code window around a send: what Send refuses,
// the buttons and texts while a send runs and after, Pause and Stop, and
// the line pointer that decides where a send starts.

#include "ui/canvas.h"
#include "ui/codewindows.h"
#include "ui/queueview.h"
#include "ui/transmitbar.h"
#include "ui_rig.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>

class TestUiTransmit : public QObject
{
    Q_OBJECT
private slots:
    void refused_data();
    void refused();
    void sendPauseStop();
    void pointerDecidesTheStart();
};

void TestUiTransmit::refused_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("select");
    QTest::addColumn<QString>("message");
    QTest::newRow("no program") << ""
                                << "ttyFAKE0" << true << TransmitBar::noProgramText();
    QTest::newRow("one character") << "%"
                                   << "ttyFAKE0" << true << TransmitBar::noProgramText();
    QTest::newRow("no machine") << "G00\n"
                                << "ttyFAKE0" << false << TransmitBar::noProgramText();
    QTest::newRow("port missing") << "G00\n"
                                  << "ttyUSB9" << true << TransmitBar::portText();
}

void TestUiTransmit::refused()
{
    QFETCH(QString, program);
    QFETCH(QString, port);
    QFETCH(bool, select);
    QFETCH(QString, message);
    UiRig<> r(iniFile({"MCPORT=" + port + ""}));
    if (!select) r.shop.reload();
    r.window.codeWindows().setProgram(1, program.toLatin1());
    r.click("cmdTX");
    QCOMPARE(r.platform.lastMessage(), message);
    QVERIFY(r.shows("cmdTX") && !r.shows("cmdStop") && !r.link.sending());
    QCOMPARE(r.port.written, QByteArray());
}

void TestUiTransmit::sendPauseStop()
{
    UiRig<> r(iniFile({"MCBLKTIC=Fastms|MCFLOW=0"}));
    const QString path = r.write("p.nc", "%\r\nG01 X1\r\nG01 X2\r\nM30\r\n");
    r.shop.queue(1).add(path);
    r.window.queueView().load(1, 0);
    QCOMPARE(r.find<QLineEdit>("txFileName(1)")->text(), path);

    // Pause down: the send holds before the next line; Stop then ends it.
    r.click("cmdTX");
    QVERIFY(r.shows("cmdStop") && r.shows("chkTXPause") && !r.shows("cmdTX"));
    QVERIFY(r.shows("PBar1") && r.shows("txtPcent"));
    QVERIFY(r.find<QPlainTextEdit>("txBuffer(1)")->isReadOnly());
    r.click("chkTXPause");
    r.clock.advance(VirtualClock::Second);
    QCOMPARE(r.port.written, QByteArray("%\r\n"));
    QCOMPARE(r.find<QLineEdit>("txtPcent")->text(), QStringLiteral("0%"));
    QCOMPARE(r.find<QPlainTextEdit>("txBuffer(1)")->textCursor().selectedText(),
             QStringLiteral("G01 X1") + QChar::ParagraphSeparator);
    r.click("cmdStop");
    r.clock.runUntil([&] { return !r.link.sending(); });
    QCOMPARE(r.port.written, QByteArray("%\r\n"));
    QCOMPARE(r.find<QLineEdit>("txtPcent")->text(), QStringLiteral("100%"));
    QVERIFY(r.shows("cmdTX") && !r.shows("cmdStop") && !r.shows("chkTXPause"));
    QVERIFY(!r.find<QPlainTextEdit>("txBuffer(1)")->isReadOnly());

    // The whole program, the run-out, and the waiting text meanwhile; Pause
    // is up again for the new send.
    r.port.written.clear();
    r.window.codeWindows().showStart(1);
    QString waiting;
    r.click("cmdTX");
    QVERIFY(!r.find<QPushButton>("chkTXPause")->isChecked());
    r.clock.runUntil([&] {
        const QString t = r.find<QLineEdit>("txFileName(1)")->text();
        if (t != path) waiting = t;
        return !r.link.sending();
    });
    QCOMPARE(waiting, TransmitBar::waitingText());
    QCOMPARE(r.port.written, "%\r\nG01 X1\r\nG01 X2\r\nM30\r\n" + QByteArray(2000, '\0'));
    QCOMPARE(r.find<QLineEdit>("txtPcent")->text(), QStringLiteral("100%"));
    QCOMPARE(r.find<QLineEdit>("txFileName(1)")->text(), path);
    QVERIFY(r.platform.messages.isEmpty());
}

void TestUiTransmit::pointerDecidesTheStart()
{
    UiRig<> r(iniFile({"MCBLKTIC=Fastms|MCFLOW=0"}));
    r.window.show();
    QByteArray program;
    for (int i = 0; i < 60; ++i)
        program += "N" + QByteArray::number(i) + "\n";
    CodeWindows &code = r.window.codeWindows();
    code.setProgram(1, program);
    auto *edit = r.find<QPlainTextEdit>("txBuffer(1)");
    auto *pointer = r.find<Canvas>("cvsLinePtr");
    auto lineTop = [&](int line) {
        const QRect rect = edit->cursorRect(QTextCursor(edit->document()->findBlockByNumber(line)));
        return edit->viewport()->mapTo(pointer->parentWidget(), rect.topLeft()).y();
    };

    // A click into a line moves the pointer beside it.
    QTest::mouseClick(
        edit->viewport(), Qt::LeftButton, {},
        QPoint(30,
               edit->cursorRect(QTextCursor(edit->document()->findBlockByNumber(3))).center().y()));
    QCOMPARE(code.caretLine(), 3);
    QCOMPARE(pointer->y(), lineTop(3));

    // Scrolled away, the pointer stays, and Send starts at the line beside it.
    const int top = pointer->y();
    edit->verticalScrollBar()->setValue(20);
    QCOMPARE(pointer->y(), top);
    // Dragged two lines down and released there.
    const int lineHeight = lineTop(24) - lineTop(23);
    QVERIFY(lineHeight > 0);
    QTest::mousePress(pointer, Qt::LeftButton, {}, QPoint(8, 6));
    QMouseEvent drag(QEvent::MouseMove, QPointF(8, 6 + 2 * lineHeight),
                     pointer->mapToGlobal(QPointF(8, 6 + 2 * lineHeight)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pointer, &drag);
    QTest::mouseRelease(pointer, Qt::LeftButton, {}, QPoint(8, 6));
    QCOMPARE(code.caretLine(), 25);
    QCOMPARE(pointer->y(), lineTop(25));
    r.click("cmdTX");
    r.clock.runUntil([&] { return !r.link.sending(); });
    QVERIFY(r.port.written.startsWith("N25\r\nN26\r\n"));
}

QTEST_MAIN(TestUiTransmit)
#include "tst_ui_transmit.moc"
