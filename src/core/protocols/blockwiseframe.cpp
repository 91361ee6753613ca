#include "core/protocols/blockwiseframe.h"

#include "core/controls/controlfamily.h"

#include <QFileInfo>

namespace Blockwise
{
char bcc(QByteArrayView framed)
{
    char sum = 0;
    for (char c : framed)
        sum ^= c;
    return sum;
}

QByteArray block(char start, QByteArrayView body)
{
    QByteArray out;
    out.reserve(body.size() + 3);
    out += start;
    out += body;
    out += ETB;
    out += bcc(out);
    return out;
}

QByteArray header(char code, QByteArrayView name, char direction)
{
    QByteArray body(1, code);
    body += name;
    body += direction;
    return block(SOH, body);
}

QByteArray dataBlock(QByteArrayView line)
{
    return block(STX, line);
}

QByteArray errorBlock(QByteArrayView text)
{
    return block(SOH, text);
}

char fileCode(const QString &fileName)
{
    return fileName.endsWith(".H", Qt::CaseInsensitive) ? 'H' : 'D';
}

QByteArray headerName(const QString &fileName, QByteArrayView program)
{
    const QByteArray own = Controls::heidenhain.name(program);
    return own.isEmpty() ? QFileInfo(fileName).completeBaseName().toLatin1() : own;
}

QList<Event> Reader::feed(QByteArrayView bytes)
{
    QList<Event> out;
    for (char c : bytes)
        take(c, out);
    return out;
}

void Reader::take(char c, QList<Event> &out)
{
    ++m_taken;
    if (m_awaitBcc) {
        Event e;
        const bool good = !m_tooLong && (m_sum ^ ETB) == c;
        e.kind = !good ? Event::Damaged : m_start == SOH ? Event::Header : Event::Data;
        if (good) e.body = m_block.sliced(1);
        e.bytes = m_taken;
        out += e;
        m_block.clear();
        m_taken = 0;
        m_inBlock = m_tooLong = m_awaitBcc = false;
        return;
    }
    if (m_inBlock) {
        if (c == ETB) {
            m_awaitBcc = true;
        } else if (m_tooLong || m_block.size() >= MaxBlock) {
            m_tooLong = true;
            m_block.clear();
        } else {
            m_block += c;
            m_sum ^= c;
        }
        return;
    }
    if (c == DirectoryAsk[m_escape]) {
        if (++m_escape < qsizetype(sizeof DirectoryAsk) - 1) return;
        out += Event{Event::Directory, {}, 0, m_taken};
        m_taken = m_escape = 0;
        return;
    }
    if (m_escape > 0) {
        // Not the request after all: what came of it is noise, and this
        // byte is read afresh.
        out += Event{Event::Noise, {}, 0, m_taken - 1};
        m_taken = 1;
        m_escape = 0;
        if (c == DirectoryAsk[0]) {
            m_escape = 1;
            return;
        }
    }
    if (c == SOH || c == STX) {
        m_inBlock = true;
        m_start = m_sum = c;
        m_block = QByteArray(1, c);
        return;
    }
    const bool control = c == ACK || c == NAK || c == ETX || c == EOT;
    out += Event{control ? Event::Control : Event::Noise, {}, c, 1};
    m_taken = 0;
}
} // namespace Blockwise
