#include "core/sendjob.h"

#include "core/serialport.h"

// How a send hands its bytes to the port, and how it sees them leave: the
// writing of lines and the run-out, the clearing phase and stopping.

namespace
{
constexpr qint64 kMs = 1'000'000;
// Characters are written in small batches, one write each, so that a long
// line never holds the event loop for long.
constexpr int kBatchWrites = 32;
constexpr qint64 kBatchNs = 2 * kMs;
// Progress while clearing and stopping is refreshed at least this often.
constexpr qint64 kRefreshNs = 100 * kMs;
// Output that has not moved for this long is held by the machine.
constexpr qint64 kHeldNs = 300 * kMs;

using Direction = SerialPort::Direction;
} // namespace

QByteArray SendJob::nextPiece(qint64 room) const
{
    if (m_runOut) return QByteArray(qBound<qint64>(0, room, m_runOutLeft), '\0');
    const QByteArray &eob = m_settings.endOfBlock;
    const qsizetype rest = m_lineBytes.size() - m_pos;
    if (rest <= 0) return room >= eob.size() ? eob : "";
    // Paced, one write per character; streaming, as much of the line (and
    // its end) as may go at once.
    if (!m_settings.streams) return room >= 1 ? QByteArray(1, m_lineBytes[m_pos]) : "";
    QByteArray piece = m_lineBytes.sliced(m_pos, qMin<qint64>(rest, room)).toByteArray();
    if (piece.size() == rest && m_lineHasEnd && room >= rest + eob.size()) piece += eob;
    return piece;
}

void SendJob::writeSome()
{
    const qint64 started = m_pace.nowNs();
    for (int n = 0;; ++n) {
        const bool done =
            m_runOut ? m_runOutLeft == 0 : m_pos >= m_lineBytes.size() + (m_lineHasEnd ? 1 : 0);
        if (done) break;
        if (m_watchDc && m_xoff) {
            m_state = State::XoffHold;
            if (!m_runOut) emit holding(currentLine());
            return;
        }
        if (n >= kBatchWrites || m_pace.nowNs() - started > kBatchNs) {
            arm(0); // let the event loop run, then go on
            return;
        }
        // Where the send obeys DC3 itself, whatever waits in the port leaves
        // after a DC3 too: keep it within the bound the machine allows.
        const qint64 left = m_bounded ? m_port.bytesToWrite() : 0;
        const QByteArray piece = nextPiece(m_bounded ? QueueLimit - left : RunOutBytes);
        if (piece.isEmpty()) {
            arm((left - 2) * m_pace.characterNs());
            return;
        }
        if (!m_port.write(piece)) {
            m_lost = true;
            return;
        }
        if (m_runOut) {
            m_runOutLeft -= piece.size();
            reportClearing(left + piece.size());
            continue;
        }
        m_bytesSent += piece.size();
        if (m_pos >= m_lineBytes.size()) {
            ++m_pos; // the end of block
        } else if (piece.size() > m_lineBytes.size() - m_pos) {
            m_pos = m_lineBytes.size() + 1; // streamed: the rest of the line and its end
        } else {
            m_pos += piece.size();
        }
    }
    if (m_runOut) {
        m_settled = false;
        m_state = State::Clearing;
        return;
    }
    m_counted += m_lineBytes.size() + (m_lineHasEnd ? 2 : 1);
    if (!m_lineBytes.isEmpty() || m_lineHasEnd) ++m_linesSent;
    m_state = m_line >= m_program.lineCount() ? State::RunOut : State::LineStart;
}

bool SendJob::clearingStep()
{
    // Only NULs wait in the port now: Stop may drop them.
    if (m_stop) {
        m_port.flush(Direction::Output);
        return true;
    }
    const qint64 left = m_port.bytesToWrite();
    reportClearing(left);
    if (left > 0) {
        m_settled = false;
        arm(qMin(kRefreshNs, m_pace.drainWaitNs(left)));
        return false;
    }
    if (m_settled) return true;
    m_settled = true;
    arm(m_pace.settleNs());
    return false;
}

bool SendJob::stoppingStep()
{
    if (m_discard) {
        m_port.flush(Direction::Output);
        return true;
    }
    const qint64 left = m_port.bytesToWrite();
    if (left > 0) {
        m_settled = false;
        const qint64 wait = qMin(kRefreshNs, m_pace.drainWaitNs(left));
        report(SendPhase::Stopping, m_progress.value, m_progress.maximum, m_progress.text,
               m_pace.stalledNs() >= kHeldNs);
        arm(wait);
        return false;
    }
    report(SendPhase::Stopping, m_progress.value, m_progress.maximum, m_progress.text);
    if (m_settled) return true;
    m_settled = true;
    arm(m_pace.settleNs());
    return false;
}
