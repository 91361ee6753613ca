#include "core/program.h"

Program Program::fromFile(const QByteArray &bytes)
{
    Program p;
    p.m_bytes.reserve(bytes.size());
    p.m_starts.append(0);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            p.m_bytes += '\n';
            p.m_starts.append(p.m_bytes.size());
        } else {
            p.m_bytes += c;
        }
    }
    return p;
}

Program Program::fromLines(const QList<QByteArray> &lines)
{
    Program p;
    for (const QByteArray &l : lines) {
        if (!p.m_starts.isEmpty()) p.m_bytes += '\n';
        p.m_starts.append(p.m_bytes.size());
        p.m_bytes += l;
    }
    if (p.m_starts.isEmpty()) p.m_starts.append(0);
    return p;
}

QByteArrayView Program::line(int i) const
{
    if (i < 0 || i >= lineCount()) return {};
    const qsizetype start = m_starts[i];
    const qsizetype end = lineHasEnd(i) ? m_starts[i + 1] - 1 : m_bytes.size();
    return QByteArrayView(m_bytes).sliced(start, end - start);
}
