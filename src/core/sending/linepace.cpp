#include "core/sending/linepace.h"

#include "core/base/clock.h"
#include "core/ports/serialport.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
constexpr qint64 kMs = 1'000'000;
constexpr qint64 kSecond = 1'000'000'000;
// While the output does not move, the drain wait looks again at growing
// intervals up to this.
constexpr qint64 kMaxBackoffNs = 50 * kMs;
// Output that has not moved for this long is held by the machine.
constexpr qint64 kHeldNs = 300 * kMs;
} // namespace

qint64 LinePace::delayEndTick(qint64 start, int ms)
{
    const double span = qMax(0, ms) / 16.666;
    return qint64(std::floor(double(start) + span)) + 1;
}

qint64 LinePace::nowNs() const
{
    return m_clock.nowNs();
}

qint64 LinePace::ticks() const
{
    return nowNs() * 60 / kSecond;
}

qint64 LinePace::nsUntilTick(qint64 tick) const
{
    return std::max<qint64>(0, (tick * kSecond + 59) / 60 - nowNs());
}

qint64 LinePace::characterNs() const
{
    return m_port.settings().characterNs();
}

void LinePace::startBlockWait()
{
    resetDrain();
    m_block = Block::Drain;
    m_checkTick = 0;
}

std::optional<qint64> LinePace::blockWaitNs(int ms)
{
    for (;;) {
        switch (m_block) {
        case Block::Drain: {
            const qint64 left = m_port.bytesToWrite();
            if (left < 1) {
                m_delayEnd = delayEndTick(ticks(), ms);
                m_block = Block::Delay;
                break;
            }
            if (m_checkTick != 0 || characterNs() <= 0) return drainWaitNs(left);
            // The bytes will have left at about now + their line time: look
            // first at the tick after that. Drained by then, the drain ended
            // in an earlier tick, and counting the delay from the latest such
            // tick errs on the long side. This saves a wake-up per line.
            m_checkTick = (nowNs() + left * characterNs()) * 60 / kSecond + 1;
            m_block = Block::Check;
            break;
        }
        case Block::Check:
            if (ticks() < m_checkTick) return nsUntilTick(m_checkTick);
            if (m_port.bytesToWrite() < 1) {
                m_delayEnd = delayEndTick(m_checkTick - 1, ms);
                m_block = Block::Delay;
            } else {
                m_block = Block::Drain;
            }
            break;
        case Block::Delay:
            if (ticks() >= m_delayEnd) return std::nullopt;
            return nsUntilTick(m_delayEnd);
        }
    }
}

std::optional<qint64> LinePace::feedWaitNs(qint64 keepNs) const
{
    const qint64 queued = m_port.bytesToWrite() * characterNs();
    if (queued <= keepNs) return std::nullopt;
    return queued - keepNs / 2;
}

std::optional<qint64> LinePace::drainedWaitNs()
{
    const qint64 left = m_port.bytesToWrite();
    if (left < 1) return std::nullopt;
    return drainWaitNs(left);
}

std::optional<qint64> LinePace::emptyWaitNs(qint64 refreshNs)
{
    const qint64 left = m_port.bytesToWrite();
    if (left > 0) {
        m_settled = false;
        return qMin(refreshNs, drainWaitNs(left));
    }
    m_lastLeft = -1; // nothing waits: nothing is held
    if (std::exchange(m_settled, true)) return std::nullopt;
    return settleNs();
}

void LinePace::resetDrain()
{
    m_lastLeft = -1;
    m_settled = false;
}

qint64 LinePace::drainWaitNs(qint64 left)
{
    const qint64 estimate = characterNs() > 0 ? left * characterNs() : 10 * kMs;
    if (left == m_lastLeft) {
        m_backoffNs = qMin(kMaxBackoffNs, qMax(kMs, m_backoffNs) * 2);
    } else {
        m_backoffNs = 0;
        m_movedNs = nowNs();
    }
    m_lastLeft = left;
    return std::max({estimate, m_backoffNs, kMs});
}

bool LinePace::held() const
{
    return m_lastLeft >= 0 && nowNs() - m_movedNs >= kHeldNs;
}

qint64 LinePace::settleNs() const
{
    return qMax<qint64>(20 * kMs, 16 * characterNs());
}
