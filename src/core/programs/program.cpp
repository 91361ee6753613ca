#include "core/programs/program.h"

Program Program::fromFile(QByteArray bytes)
{
    Program p;
    p.m_starts.append(0);
    const char *in = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype r = 0;
    // Up to the first CR nothing changes: bytes that another program holds
    // (LF line ends, as every program's text has) stay shared, not copied.
    for (; r < n && in[r] != '\r'; ++r)
        if (in[r] == '\n') p.m_starts.append(r + 1);
    if (r < n) {
        // From there every line end becomes one LF, in place.
        char *d = bytes.data();
        qsizetype w = r;
        for (; r < n; ++r) {
            const char c = d[r];
            if (c == '\r' || c == '\n') {
                if (c == '\r' && r + 1 < n && d[r + 1] == '\n') ++r;
                d[w++] = '\n';
                p.m_starts.append(w);
            } else {
                d[w++] = c;
            }
        }
        bytes.truncate(w);
    }
    p.m_bytes = std::move(bytes);
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
