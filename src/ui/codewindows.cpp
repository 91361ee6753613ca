#include "ui/codewindows.h"

#include "core/bytetext.h"
#include "core/program.h"
#include "core/workshop.h"
#include "ui/bytetextedit.h"
#include "ui/canvas.h"
#include "ui/names.h"
#include "ui/platform.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

namespace
{
// The row below the pointer's top that it designates (the tip of the arrow).
constexpr int kPointerTip = 6;
// The line being sent is shown at most this often: the lines of a fast send
// go by quicker than anyone can read them, and each change repaints.
constexpr int kShowEveryMs = 250;

// A window's text character for character (toPlainText would turn a
// no-break space, byte 0xA0 of a program, into a blank).
QString rawText(const QPlainTextEdit *edit)
{
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}
} // namespace

CodeWindows::CodeWindows(Workshop &workshop, Platform &platform, QWidget *box)
    : QObject(box), m_workshop(workshop), m_platform(platform), m_box(box),
      m_showLater(new QTimer(this))
{
    for (int i = 0; i <= 9; ++i) {
        auto *edit = named(new ByteTextEdit(box), member("txBuffer", i),
                           QStringLiteral("Code window"));
        connect(edit, &ByteTextEdit::refused, this, [this, edit](const QString &c) {
            m_platform.beep();
            m_platform.message(edit->window(), ByteTextEdit::refusalText(c),
                               QStringLiteral("Code window"), QMessageBox::Ok,
                               Platform::Icon::Caution);
        });
        edit->setFrameShape(QFrame::NoFrame);
        // Part programs line up in columns.
        edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setVisible(false);
        connect(edit, &QPlainTextEdit::cursorPositionChanged, this, &CodeWindows::followCaret);
        connect(edit, &QPlainTextEdit::selectionChanged, this, &CodeWindows::followCaret);
        m_windows[size_t(i)] = edit;
    }
    m_pointer = named(new Canvas(box), QStringLiteral("cvsLinePtr"), QStringLiteral("Line pointer"));
    m_pointer->setPicture(QStringLiteral("ptr"), QSize(16, 16));
    m_pointer->setGeometry(4, 6, 16, 16);
    connect(m_pointer, &Canvas::mouseDrag, this, &CodeWindows::dragPointer);
    connect(m_pointer, &Canvas::mouseUp, this, &CodeWindows::placeCaretAtPointer);

    m_showLater->setSingleShot(true);
    connect(m_showLater, &QTimer::timeout, this, [this] { showSendingLine(true); });

    connect(&workshop, &Workshop::machinesReloaded, this, [this] { showSlot(-1); });
    connect(&workshop, &Workshop::selectionChanged, this, &CodeWindows::showSlot);
    connect(&workshop, &Workshop::machineRemoved, this, &CodeWindows::shiftDown);
    connect(&workshop.link(), &Link::sendStarted, this, &CodeWindows::follow);
}

QPlainTextEdit *CodeWindows::window(int slot) const
{
    return m_windows[size_t(slot)];
}

void CodeWindows::layout(const QSize &box)
{
    for (QPlainTextEdit *edit : m_windows)
        edit->setGeometry(22, 6, box.width() - 26, box.height() - 12);
}

QPlainTextEdit *CodeWindows::current() const
{
    return m_windows[size_t(qBound(0, m_workshop.selected(), 9))];
}

void CodeWindows::showSlot(int slot)
{
    for (int i = 1; i <= 9; ++i)
        m_windows[size_t(i)]->setVisible(i == slot);
}

void CodeWindows::setProgram(int slot, const QByteArray &bytes)
{
    QString text = bytesToText(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    window(slot)->setPlainText(text);
}

void CodeWindows::clear(int slot)
{
    window(slot)->clear();
}

bool CodeWindows::isEmpty(int slot) const
{
    return window(slot)->document()->isEmpty();
}

Program CodeWindows::program(int slot) const
{
    QList<QByteArray> lines;
    for (QTextBlock b = window(slot)->document()->firstBlock(); b.isValid(); b = b.next())
        lines.append(textToBytes(b.text()));
    return Program::fromLines(lines);
}

QByteArray CodeWindows::text(int slot) const
{
    return textToBytes(rawText(window(slot)));
}

int CodeWindows::caretLine() const
{
    const QPlainTextEdit *edit = current();
    return edit->document()->findBlock(edit->textCursor().selectionStart()).blockNumber();
}

int CodeWindows::pointerTop() const
{
    return m_pointer->y();
}

void CodeWindows::setPointerTop(int top)
{
    m_pointer->move(m_pointer->x(), top);
}

bool CodeWindows::blockTop(QPlainTextEdit *edit, const QTextBlock &block, int *top) const
{
    if (!block.isValid()) return false;
    // The editor's own geometry: the caret rectangle at the start of the
    // block covers its first row, in viewport coordinates.
    const QRect r = edit->cursorRect(QTextCursor(block));
    if (r.bottom() < 0 || r.top() >= edit->viewport()->height()) return false;
    *top = edit->viewport()->mapTo(m_box, QPoint(0, qMax(0, r.top()))).y();
    return true;
}

void CodeWindows::followCaret()
{
    // A line scrolled out of view leaves the pointer where it is.
    QPlainTextEdit *edit = current();
    int top = 0;
    if (blockTop(edit, edit->document()->findBlock(edit->textCursor().selectionStart()), &top))
        setPointerTop(top);
}

void CodeWindows::showStart(int slot)
{
    QPlainTextEdit *edit = window(slot);
    edit->setFocus();
    QTextCursor c = edit->textCursor();
    c.setPosition(qMin(2, edit->document()->characterCount() - 1));
    edit->setTextCursor(c);
    int top = 0;
    if (blockTop(edit, edit->document()->firstBlock(), &top)) setPointerTop(top);
}

void CodeWindows::placeCaretAtPointer()
{
    QPlainTextEdit *edit = current();
    const QPoint tip =
        edit->viewport()->mapFrom(m_box, QPoint(m_pointer->x(), pointerTop() + kPointerTip));
    const QTextCursor at = edit->cursorForPosition(QPoint(0, tip.y()));
    QTextCursor c = edit->textCursor();
    c.setPosition(at.block().position());
    edit->setTextCursor(c);
    edit->setFocus();
}

void CodeWindows::dragPointer(const QPoint &pos)
{
    // Vertical moves only, and only beside the window's text, so that a
    // release always designates a line.
    const QWidget *vp = current()->viewport();
    const int origin = vp->mapTo(m_box, QPoint(0, 0)).y();
    setPointerTop(qBound(origin - kPointerTip, pointerTop() + pos.y() - kPointerTip,
                         origin + vp->height() - 1 - kPointerTip));
}

void CodeWindows::shiftDown(int from)
{
    // The windows follow their machines down; the slot that falls free is
    // emptied.
    const int last = m_workshop.machines().count();
    for (int i = from; i < last; ++i)
        window(i)->setPlainText(rawText(window(i + 1)));
    window(last)->clear();
}

void CodeWindows::follow(SendJob *job)
{
    m_job = job;
    m_sendSlot = m_workshop.selected();
    m_sendLine = m_shownLine = -1;
    window(m_sendSlot)->setReadOnly(true);
    connect(job, &SendJob::lineStarted, this, [this](int line) {
        m_sendLine = line;
        showSendingLine(false);
    });
    connect(job, &SendJob::holding, this, [this] { showSendingLine(true); });
    connect(job, &SendJob::finished, this, [this] {
        showSendingLine(true);
        m_showLater->stop();
        window(m_sendSlot)->setReadOnly(false);
    });
}

void CodeWindows::showSendingLine(bool now)
{
    if (m_sendLine < 0 || m_shownLine == m_sendLine) return;
    if (!now && m_shownAt.isValid() && m_shownAt.elapsed() < kShowEveryMs) {
        if (!m_showLater->isActive()) m_showLater->start(kShowEveryMs - int(m_shownAt.elapsed()));
        return;
    }
    m_showLater->stop();
    m_shownAt.start();
    m_shownLine = m_sendLine;
    QPlainTextEdit *edit = window(m_sendSlot);
    QTextDocument *doc = edit->document();
    // Scroll ahead, then select the line being sent: selecting brings it
    // back into view, near the top, with the lines that follow below it.
    edit->verticalScrollBar()->setValue(
        doc->findBlock(edit->textCursor().selectionStart()).blockNumber() + 5);
    const QTextBlock block = doc->findBlockByNumber(m_shownLine);
    if (!block.isValid()) return;
    const QTextBlock next = block.next();
    QTextCursor c(doc);
    c.setPosition(next.isValid() ? next.position() : block.position() + block.length() - 1);
    c.setPosition(block.position(), QTextCursor::KeepAnchor);
    edit->setTextCursor(c);
    edit->ensureCursorVisible();
}
