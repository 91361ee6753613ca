#include "core/sending/sendoutput.h"

#include "core/sending/linepace.h"
#include "core/ports/serialport.h"

namespace
{
constexpr qint64 kMs = 1'000'000;
// Characters are written in small batches, one write each, so that a long
// line never holds the event loop for long.
constexpr int kBatchWrites = 32;
constexpr qint64 kBatchNs = 2 * kMs;
// Without a limit on the port's queue, the most one write hands it.
constexpr qint64 kLargestWrite = 2000;
} // namespace

SendSettings SendSettings::of(const MachineConfig &machine)
{
    // A number put into the file by hand counts as far as it is one.
    const auto number = [&machine](Key key) { return leadingNumber(machine.value(key)); };
    // In EIA every line ends with the code's end of block, which LF becomes.
    return {machine.blockDelayMs(),
            machine.tapeCode() == TapeCode::Eia ? QByteArray("\n") : machine.endOfBlock(),
            machine.flowMode(),
            machine.streams(),
            false,
            machine.leader(),
            machine.trailer(),
            qBound(0, number(Key::CharDelay), 60'000),
            qMax(1, number(Key::CharsPerDelay)),
            qBound(0, number(Key::HandshakeDelay), 60'000)};
}

void SendOutput::hold(bool held)
{
    if (m_held && !held) m_chars.released();
    m_held = held;
}

SendOutput::SendOutput(SerialPort &port, const LinePace &pace, const SendSettings &settings,
                       qint64 queueLimit)
    : m_port(port), m_pace(pace), m_endOfBlock(settings.endOfBlock), m_streams(settings.streams),
      m_queueLimit(queueLimit), m_leader(settings.leader), m_trailer(settings.trailer),
      m_chars(pace, port, settings.charDelayMs, settings.charsPerDelay, settings.handshakeDelayMs)
{
}

void SendOutput::startLine(QByteArrayView bytes, bool hasEnd, bool last)
{
    m_line = bytes;
    m_hasEnd = hasEnd;
    m_pos = m_eobPos = 0;
    m_lead = m_started ? QByteArray() : m_leader;
    m_trail = last ? m_trailer : QByteArray();
    m_leadPos = m_trailPos = 0;
    m_started = true;
}

void SendOutput::startRunOut(qint64 count)
{
    m_runOut = true;
    m_runOutLeft = count;
}

// The line and its end are written.
bool SendOutput::lineDone() const
{
    return m_pos >= m_line.size() + (m_hasEnd ? 1 : 0);
}

bool SendOutput::done() const
{
    if (m_runOut) return m_runOutLeft == 0;
    return m_leadPos >= m_lead.size() && lineDone() && m_trailPos >= m_trail.size();
}

// The next of the leader's or trailer's bytes, paced or streamed as a line's.
QByteArray SendOutput::framingPiece(const QByteArray &bytes, qsizetype pos, qint64 room) const
{
    return bytes.mid(pos, qBound<qint64>(0, room, m_streams ? bytes.size() - pos : 1));
}

QByteArray SendOutput::nextPiece(qint64 room) const
{
    if (m_runOut) return QByteArray(qBound<qint64>(0, room, m_runOutLeft), '\0');
    if (m_leadPos < m_lead.size()) return framingPiece(m_lead, m_leadPos, room);
    if (lineDone()) return framingPiece(m_trail, m_trailPos, room);
    const qsizetype rest = m_line.size() - m_pos;
    if (rest <= 0 && m_chars.pauses()) return m_endOfBlock.mid(m_eobPos, qMin<qint64>(room, 1));
    if (rest <= 0) return room >= m_endOfBlock.size() ? m_endOfBlock : "";
    // Paced, one write per character; streaming, as much of the line (and
    // its end) as may go at once.
    if (!m_streams) return room >= 1 ? QByteArray(1, m_line[m_pos]) : "";
    QByteArray piece = m_line.sliced(m_pos, qMin<qint64>(rest, room)).toByteArray();
    if (piece.size() == rest && m_hasEnd && room >= rest + m_endOfBlock.size())
        piece += m_endOfBlock;
    return piece;
}

SendOutput::Result SendOutput::write()
{
    const qint64 started = m_pace.nowNs();
    for (int n = 0; !done(); ++n) {
        if (m_held) return Result::Held;
        if (n >= kBatchWrites || m_pace.nowNs() - started > kBatchNs) return Result::Yield;
        if (const auto pause = m_runOut ? std::nullopt : m_chars.waitNs()) {
            m_waitNs = *pause;
            return Result::Full;
        }
        // Where the send obeys DC3 itself, whatever waits in the port leaves
        // after a DC3 too: keep it within the bound the machine allows.
        const qint64 left = m_queueLimit > 0 ? m_port.bytesToWrite() : 0;
        const qint64 room = m_queueLimit > 0 ? m_queueLimit - left : kLargestWrite;
        const QByteArray piece = nextPiece(m_runOut ? room : qMin(room, m_chars.room()));
        if (piece.isEmpty()) {
            m_waitNs = (left - 2) * m_pace.characterNs();
            return Result::Full;
        }
        if (!m_port.write(piece)) return Result::Lost;
        if (!m_runOut) m_chars.wrote(piece.size());
        if (m_runOut) {
            m_runOutLeft -= piece.size();
            continue;
        }
        if (m_leadPos < m_lead.size() || lineDone()) {
            (m_leadPos < m_lead.size() ? m_leadPos : m_trailPos) += piece.size();
            continue;
        }
        m_bytesSent += piece.size();
        if (m_pos >= m_line.size()) {
            m_eobPos += piece.size(); // the end of block, whole or a character of it
            if (m_eobPos >= m_endOfBlock.size()) ++m_pos;
        } else if (piece.size() > m_line.size() - m_pos) {
            m_pos = m_line.size() + 1; // streamed: the rest of the line and its end
        } else {
            m_pos += piece.size();
        }
    }
    return Result::Done;
}
