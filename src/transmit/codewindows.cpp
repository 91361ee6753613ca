#include "transmit/codewindows.h"

#include "app/bytetext.h"
#include "app/canvas.h"
#include "app/frmhalvec.h"
#include "config/module1.h"

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace
{

// The row below the pointer's top that it designates (the tip of the arrow).
constexpr int kPointerTip = 6;

} // namespace

CodeWindows::CodeWindows(frmHalvec &win) : QObject(&win), w(win)
{
    for (QPlainTextEdit *edit : w.txBuffer) {
        connect(edit, &QPlainTextEdit::cursorPositionChanged, this,
                &CodeWindows::txBuffer_SelChange);
        connect(edit, &QPlainTextEdit::selectionChanged, this, &CodeWindows::txBuffer_SelChange);
    }
    connect(
        w.cvsLinePtr, &Canvas::mouseDown, this,
        [this](const QPoint &pos, Qt::MouseButton, const QPoint &) { cvsLinePtr_MouseDown(pos); });
    connect(w.cvsLinePtr, &Canvas::mouseDrag, this, &CodeWindows::cvsLinePtr_MouseDrag);
    connect(w.cvsLinePtr, &Canvas::mouseUp, this, &CodeWindows::cvsLinePtr_MouseUp);
}

QString CodeWindows::programText(const QByteArray &bytes)
{
    QString text = bytesToText(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void CodeWindows::setProgram(int mc, const QByteArray &bytes)
{
    if (mc >= 0 && mc <= Module1::Max_MC) w.txBuffer[mc]->setPlainText(programText(bytes));
}

QPlainTextEdit *CodeWindows::current() const
{
    const int mc = w.m.SelectedMC;
    return w.txBuffer[mc >= 0 && mc <= Module1::Max_MC ? mc : 0];
}

int CodeWindows::pointerTop() const
{
    return w.cvsLinePtr->y();
}

void CodeWindows::setPointerTop(int top)
{
    w.cvsLinePtr->move(w.cvsLinePtr->x(), top);
}

void CodeWindows::pointerRange(int *lowest, int *highest) const
{
    const QWidget *vp = current()->viewport();
    const QPoint origin = vp->mapTo(w.GroupBox2, QPoint(0, 0));
    *lowest = origin.y() - kPointerTip;
    *highest = origin.y() + vp->height() - 1 - kPointerTip;
}

bool CodeWindows::blockTop(QPlainTextEdit *edit, const QTextBlock &block, int *top) const
{
    if (!block.isValid()) return false;
    // The editor's own geometry: the caret rectangle at the start of the
    // block covers its first row, in viewport coordinates.
    QTextCursor c(block);
    const QRect r = edit->cursorRect(c);
    if (r.bottom() < 0 || r.top() >= edit->viewport()->height()) return false;
    *top = edit->viewport()->mapTo(w.GroupBox2, QPoint(0, qMax(0, r.top()))).y();
    return true;
}

void CodeWindows::txBuffer_SelChange()
{
    QPlainTextEdit *edit = current();
    const QTextBlock block = edit->document()->findBlock(edit->textCursor().selectionStart());
    int top = 0;
    if (blockTop(edit, block, &top)) setPointerTop(top);
}

void CodeWindows::pointerToFirstLine(int mc)
{
    QPlainTextEdit *edit = w.txBuffer[mc];
    int top = 0;
    if (blockTop(edit, edit->document()->firstBlock(), &top)) setPointerTop(top);
}

void CodeWindows::PlaceSelStartAtMyPointer()
{
    QPlainTextEdit *edit = current();
    const QPoint tip = edit->viewport()->mapFrom(
        w.GroupBox2, QPoint(w.cvsLinePtr->x(), pointerTop() + kPointerTip));
    const QTextCursor at = edit->cursorForPosition(QPoint(0, tip.y()));
    QTextCursor c = edit->textCursor();
    c.setPosition(at.block().position());
    edit->setTextCursor(c);
    edit->setFocus();
}

bool CodeWindows::cvsLinePtr_MouseDown(const QPoint &)
{
    return true;
}

void CodeWindows::cvsLinePtr_MouseDrag(const QPoint &pos)
{
    // Vertical moves only; the pointer stays beside the code window's text
    // so that a release always designates a line.
    int lowest = 0;
    int highest = 0;
    pointerRange(&lowest, &highest);
    setPointerTop(qBound(lowest, pointerTop() + pos.y() - kPointerTip, highest));
}

void CodeWindows::cvsLinePtr_MouseUp(const QPoint &)
{
    PlaceSelStartAtMyPointer();
}
