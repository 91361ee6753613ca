#include "ui/receivedview.h"

#include <QScrollBar>

#ifdef __GLIBC__
#include <malloc.h>
#endif

void ReceivedView::clear()
{
    m_bytes = QByteArray();
    m_starts = {0};
    m_endsWithCR = false;
    setProgram(Program());
}

void ReceivedView::append(QByteArrayView bytes)
{
    if (bytes.isEmpty()) return;
    QScrollBar *bar = verticalScrollBar();
    const bool follow = bar->value() == bar->maximum();
    const int from = lineCount() - 1;
    const qsizetype room = m_bytes.capacity(), lines = m_starts.capacity();
    qsizetype run = 0; // where the bytes not yet taken begin
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n') continue;
        m_bytes.append(bytes.sliced(run, i - run));
        run = i + 1;
        // An LF right after a CR is the second half of a CR LF.
        const bool pair = c == '\n' && (i > 0 ? bytes[i - 1] == '\r' : m_endsWithCR);
        if (pair) continue;
        m_bytes += '\n';
        m_starts.append(m_bytes.size());
    }
    m_bytes.append(bytes.sliced(run));
    m_endsWithCR = bytes.back() == '\r';
#ifdef __GLIBC__
    // A buffer has moved: the old one and the pieces the receive went
    // through lie freed in the heap. Give their pages back now, or the
    // process keeps as much again as the text holds. This happens each
    // time a buffer doubles, so its cost does not grow with the text.
    if (m_bytes.capacity() != room || m_starts.capacity() != lines) malloc_trim(0);
#endif
    linesAdded(from, QStringLiteral("texts"));
    if (follow) bar->setValue(bar->maximum());
}

QByteArrayView ReceivedView::line(int i) const
{
    if (i < 0 || i >= lineCount()) return {};
    const qsizetype start = m_starts[i];
    const qsizetype end = i + 1 < lineCount() ? m_starts[i + 1] - 1 : m_bytes.size();
    return QByteArrayView(m_bytes).sliced(start, end - start);
}

QByteArray ReceivedView::text() const
{
    QByteArray out = m_bytes;
    return out.replace('\n', "\r\n");
}
