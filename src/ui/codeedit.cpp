#include "ui/codeedit.h"

#include "core/base/bytetext.h"
#include "ui/programview.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>

CodeEdit::CodeEdit(QWidget *parent) : ByteTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    // Part programs line up in columns.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &CodeEdit::caretLineChanged);
    connect(this, &QPlainTextEdit::selectionChanged, this, &CodeEdit::caretLineChanged);
}

bool CodeEdit::isBig() const
{
    return m_big && !m_big->isHidden();
}

void CodeEdit::resizeEvent(QResizeEvent *e)
{
    ByteTextEdit::resizeEvent(e);
    if (m_big) m_big->setGeometry(rect());
}

void CodeEdit::setProgram(const Program &program, qsizetype size)
{
    if (size <= BigBytes) {
        if (m_big) m_big->hide();
        setPlainText(bytesToText(program.text()));
        return;
    }
    if (!m_big) {
        m_big = new ProgramView(this);
        m_big->setObjectName(objectName() + QStringLiteral(" lines"));
        m_big->setAccessibleName(accessibleName());
        connect(m_big, &ProgramView::currentLineChanged, this, &CodeEdit::caretLineChanged);
    }
    clear();
    m_big->setProgram(program);
    m_big->setGeometry(rect());
    m_big->show();
    emit caretLineChanged();
}

void CodeEdit::clearProgram()
{
    if (m_big) m_big->hide();
    clear();
}

bool CodeEdit::isEmpty() const
{
    return !isBig() && document()->isEmpty();
}

Program CodeEdit::program() const
{
    if (isBig()) return m_big->program();
    QList<QByteArray> lines;
    for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next())
        lines.append(textToBytes(b.text()));
    return Program::fromLines(lines);
}

int CodeEdit::caretLine() const
{
    if (isBig()) return m_big->currentLine();
    return document()->findBlock(textCursor().selectionStart()).blockNumber();
}

void CodeEdit::setCaretLine(int line)
{
    if (isBig()) {
        m_big->setCurrentLine(line);
        m_big->setFocus();
        return;
    }
    QTextCursor c = textCursor();
    c.setPosition(document()->findBlockByNumber(qMax(0, line)).position());
    setTextCursor(c);
    setFocus();
}

QWidget *CodeEdit::lineArea() const
{
    return isBig() ? m_big->viewport() : viewport();
}

int CodeEdit::lineTop(int line) const
{
    if (isBig()) return m_big->lineTop(line);
    const QTextBlock block = document()->findBlockByNumber(line);
    if (!block.isValid()) return -1;
    // The editor's own geometry: the caret rectangle at the start of the
    // block covers its first row.
    const QRect r = cursorRect(QTextCursor(block));
    return r.bottom() < 0 || r.top() >= viewport()->height() ? -1 : qMax(0, r.top());
}

int CodeEdit::lineAt(int y) const
{
    if (isBig()) return m_big->lineAt(y);
    return cursorForPosition(QPoint(0, y)).blockNumber();
}

void CodeEdit::showSentLine(int line)
{
    if (isBig()) {
        m_big->markLine(line);
        return;
    }
    // Scroll ahead, then select the line: selecting brings it back into
    // view, near the top, with the lines that follow below it.
    verticalScrollBar()->setValue(caretLine() + 5);
    const QTextBlock block = document()->findBlockByNumber(line);
    if (!block.isValid()) return;
    const QTextBlock next = block.next();
    QTextCursor c(document());
    c.setPosition(next.isValid() ? next.position() : block.position() + block.length() - 1);
    c.setPosition(block.position(), QTextCursor::KeepAnchor);
    setTextCursor(c);
    ensureCursorVisible();
}
