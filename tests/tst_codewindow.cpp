// The code window and its line pointer, through the real widgets.

#include "tst_send_fixture.h"

#include <QGroupBox>
#include <QScrollBar>
#include <QTextBlock>

using Rig = SendRig<FakeSerial>;

namespace
{

QByteArray lines(int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += "N" + QByteArray::number(i) + " G01 X" + QByteArray::number(i) + "\r";
    return out;
}

// Where the pointer stands beside line `line` of machine 1's code window, in
// the group box's coordinates (the top of the line's row).
int lineTop(Rig &r, int line)
{
    QTextCursor c(r.edit()->document()->findBlockByNumber(line));
    const QRect rect = r.edit()->cursorRect(c);
    return r.edit()->viewport()->mapTo(r.w->GroupBox2, QPoint(0, rect.top())).y();
}

int caretLine(Rig &r)
{
    return r.edit()->textCursor().block().blockNumber();
}

} // namespace

class TestCodeWindow : public QObject
{
    Q_OBJECT
private slots:
    void lineEndsAndBytes_data();
    void lineEndsAndBytes();
    void pointerFollowsCaret();
    void scrollLeavesPointerAndSendUsesIt();
    void dragAndRelease();
};

void TestCodeWindow::lineEndsAndBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("blocks");
    QTest::newRow("CR") << QByteArray("A\rB\r") << QStringList{"A", "B", ""};
    QTest::newRow("CR LF, CR, LF, no final end")
        << QByteArray("A\r\n\rB\nC") << QStringList{"A", "", "B", "C"};
    QTest::newRow("LF CR is two ends") << QByteArray("A\n\rB") << QStringList{"A", "", "B"};
    QTest::newRow("no-break space and top bytes")
        << QByteArray("X\xA0Y\xFF\x80\x01\x7F")
        << QStringList{QString::fromLatin1("X\xA0Y\xFF\x80\x01\x7F")};
}

void TestCodeWindow::lineEndsAndBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, blocks);
    Rig r(oneMachine({}));
    r.w->codeWindows->setProgram(1, bytes);
    QStringList got;
    for (QTextBlock b = r.edit()->document()->firstBlock(); b.isValid(); b = b.next())
        got << b.text();
    QCOMPARE(got, blocks);
}

void TestCodeWindow::pointerFollowsCaret()
{
    Rig r(oneMachine({}));
    r.load(lines(8));
    // A click in the middle of line 3 puts the pointer at that line's top.
    const QRect at = r.edit()->cursorRect(QTextCursor(r.edit()->document()->findBlockByNumber(3)));
    QTest::mouseClick(r.edit()->viewport(), Qt::LeftButton, {}, QPoint(40, at.center().y()));
    QCOMPARE(caretLine(r), 3);
    QCOMPARE(r.w->codeWindows->pointerTop(), lineTop(r, 3));
    QTest::keyClick(r.edit(), Qt::Key_Down); // keys move it too
    QCOMPARE(r.w->codeWindows->pointerTop(), lineTop(r, 4));
    // The pointer designates that line: placing the caret at it lands at
    // the line's start.
    r.w->codeWindows->PlaceSelStartAtMyPointer();
    QCOMPARE(caretLine(r), 4);
    QCOMPARE(r.edit()->textCursor().positionInBlock(), 0);
    QCOMPARE(r.w->focusWidget(), static_cast<QWidget *>(r.edit()));
    // A selection, forwards or backwards, puts it at the selection's start.
    const auto select = [&](int fromLine, int toLine) {
        QTextCursor c(r.edit()->document()->findBlockByNumber(fromLine));
        c.setPosition(r.edit()->document()->findBlockByNumber(toLine).position() + 1,
                      QTextCursor::KeepAnchor);
        r.edit()->setTextCursor(c);
    };
    select(2, 5);
    QCOMPARE(r.w->codeWindows->pointerTop(), lineTop(r, 2));
    select(6, 1);
    QCOMPARE(r.w->codeWindows->pointerTop(), lineTop(r, 1));
}

void TestCodeWindow::scrollLeavesPointerAndSendUsesIt()
{
    Rig r(fastMachine());
    r.load(lines(200));
    r.caretTo(r.edit()->document()->findBlockByNumber(3).position() + 2);
    QCOMPARE(r.w->codeWindows->pointerTop(), lineTop(r, 3));
    // The view scrolls away from the caret's line; a selection change then
    // finds no row showing it and leaves the pointer where it stands.
    QScrollBar *bar = r.edit()->verticalScrollBar();
    bar->setValue(100);
    r.w->codeWindows->setPointerTop(lineTop(r, 110));
    r.w->codeWindows->txBuffer_SelChange();
    QCOMPARE(r.w->codeWindows->pointerTop(), lineTop(r, 110));
    bar->setValue(0); // the line back in view: the pointer goes to it again
    r.w->codeWindows->txBuffer_SelChange();
    QCOMPARE(r.w->codeWindows->pointerTop(), lineTop(r, 3));
    // Scrolling alone leaves the pointer; Send starts at the line beside it.
    r.caretTo(0);
    const int before = r.w->codeWindows->pointerTop();
    QCOMPARE(before, lineTop(r, 0));
    bar->setValue(120);
    QCOMPARE(r.w->codeWindows->pointerTop(), before);
    QSignalSpy done(r.w->engine, &SendEngine::finished);
    r.w->transmit->cmdTX_Action();
    r.w->cmdStop->click(); // after the first line
    QVERIFY(done.wait(5000));
    QCOMPARE(r.s.written, QByteArray("N120 G01 X120\r"));
}

void TestCodeWindow::dragAndRelease()
{
    Rig r(oneMachine({}));
    r.load(lines(10));
    Canvas *ptr = r.w->cvsLinePtr;
    const int target = lineTop(r, 5) + 3; // somewhere inside line 5
    QTest::mousePress(ptr, Qt::LeftButton, {}, QPoint(8, 6));
    emit ptr->mouseDrag(QPoint(8, 6 + target - ptr->y()));
    QCOMPARE(ptr->y(), target);
    QTest::mouseRelease(ptr, Qt::LeftButton, {}, QPoint(8, 6));
    QCOMPARE(caretLine(r), 5);
    QCOMPARE(r.edit()->textCursor().positionInBlock(), 0);
    QCOMPARE(r.w->codeWindows->pointerTop(), lineTop(r, 5)); // snapped to the row
    // The drag is kept beside the text area.
    emit ptr->mouseDrag(QPoint(8, -5000));
    const QPoint vpTop = r.edit()->viewport()->mapTo(r.w->GroupBox2, QPoint(0, 0));
    QCOMPARE(ptr->y() + 6, vpTop.y());
    emit ptr->mouseDrag(QPoint(8, 5000));
    QCOMPARE(ptr->y() + 6, vpTop.y() + r.edit()->viewport()->height() - 1);
    // Released below the last line: the caret goes to the last line's start.
    emit ptr->mouseUp(QPoint(8, 6));
    QCOMPARE(caretLine(r), 10);
}

QTEST_MAIN(TestCodeWindow)
#include "tst_codewindow.moc"
