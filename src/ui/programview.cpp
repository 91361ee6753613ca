#include "ui/programview.h"

#include "core/base/bytetext.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>

ProgramView::ProgramView(QWidget *parent)
    : QAbstractScrollArea(parent), m_note(new QLabel(this))
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    m_note->setAutoFillBackground(true);
    m_note->setStyleSheet(QStringLiteral("QLabel { background: #FFF3C4; padding: 1px 4px; }"));
    setViewportMargins(0, m_note->sizeHint().height(), 0, 0);
}

void ProgramView::setProgram(Program program)
{
    m_program = std::move(program);
    m_current = 0;
    m_marked = -1;
    m_widest = 0;
    verticalScrollBar()->setValue(0);
    linesAdded(0, QStringLiteral("programs"));
}

void ProgramView::linesAdded(int from, const QString &what)
{
    for (int i = qMax(0, from); i < lineCount(); ++i)
        m_widest = qMax(m_widest, int(line(i).size()));
    m_note->setText(QStringLiteral("%1 lines, shown read-only: %2 up to 2 MB can be edited here.")
                        .arg(lineCount())
                        .arg(what));
    updateScrollBars();
    viewport()->update();
}

int ProgramView::lineHeight() const
{
    return qMax(1, fontMetrics().lineSpacing());
}

int ProgramView::visibleLines() const
{
    return qMax(1, viewport()->height() / lineHeight());
}

void ProgramView::updateScrollBars()
{
    verticalScrollBar()->setRange(0, qMax(0, lineCount() - visibleLines()));
    verticalScrollBar()->setPageStep(visibleLines());
    const int width = m_widest * fontMetrics().horizontalAdvance(u'0') + 8;
    horizontalScrollBar()->setRange(0, qMax(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void ProgramView::resizeEvent(QResizeEvent *e)
{
    QAbstractScrollArea::resizeEvent(e);
    m_note->setGeometry(0, 0, width(), m_note->sizeHint().height());
    updateScrollBars();
}

int ProgramView::lineTop(int line) const
{
    const int row = line - verticalScrollBar()->value();
    return row >= 0 && row < visibleLines() + 1 && line < lineCount() ? row * lineHeight()
                                                                                : -1;
}

int ProgramView::lineAt(int y) const
{
    const int line = verticalScrollBar()->value() + qMax(0, y) / lineHeight();
    return qBound(0, line, qMax(0, lineCount() - 1));
}

void ProgramView::setCurrentLine(int line)
{
    line = qBound(0, line, qMax(0, lineCount() - 1));
    if (line == m_current) return;
    m_current = line;
    ensureVisible(line);
    viewport()->update();
    emit currentLineChanged();
}

void ProgramView::markLine(int line)
{
    m_marked = line;
    // Near the top, with the lines that follow below it; the caret goes
    // with it, as it does when a line is selected in the editor.
    if (line >= 0) ensureVisible(line, 5);
    viewport()->update();
    if (line >= 0 && line != m_current) {
        m_current = line;
        emit currentLineChanged();
    }
}

void ProgramView::ensureVisible(int line, int above)
{
    QScrollBar *bar = verticalScrollBar();
    if (line < bar->value() || line >= bar->value() + visibleLines())
        bar->setValue(line - qMin(above, visibleLines() / 2));
}

void ProgramView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const int h = lineHeight();
    const int first = verticalScrollBar()->value();
    const int x = 4 - horizontalScrollBar()->value();
    for (int row = 0, i = first; row * h < viewport()->height() && i < lineCount(); ++row, ++i) {
        const QRect r(0, row * h, viewport()->width(), h);
        if (i == m_marked)
            p.fillRect(r, palette().highlight());
        else if (i == m_current)
            p.fillRect(r, palette().alternateBase());
        p.setPen(i == m_marked ? palette().highlightedText().color() : palette().text().color());
        p.drawText(r.translated(x, 0), Qt::AlignVCenter | Qt::TextDontClip,
                   bytesToText(line(i).toByteArray()));
    }
}

void ProgramView::mousePressEvent(QMouseEvent *e)
{
    setFocus();
    setCurrentLine(lineAt(e->position().toPoint().y()));
}

void ProgramView::keyPressEvent(QKeyEvent *e)
{
    const int page = visibleLines();
    switch (e->key()) {
    case Qt::Key_Up:
        setCurrentLine(m_current - 1);
        break;
    case Qt::Key_Down:
        setCurrentLine(m_current + 1);
        break;
    case Qt::Key_PageUp:
        setCurrentLine(m_current - page);
        break;
    case Qt::Key_PageDown:
        setCurrentLine(m_current + page);
        break;
    case Qt::Key_Home:
        setCurrentLine(0);
        break;
    case Qt::Key_End:
        setCurrentLine(lineCount() - 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(e);
    }
}
