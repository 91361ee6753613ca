#include "core/linepace.h"

#include "core/clock.h"
#include "core/serialport.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr qint64 kMs = 1'000'000;
constexpr qint64 kSecond = 1'000'000'000;
// While the output does not move, the drain wait looks again at growing
// intervals up to this.
constexpr qint64 kMaxBackoffNs = 50 * kMs;
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

qint64 LinePace::stalledNs() const
{
    return m_lastLeft < 0 ? 0 : nowNs() - m_movedNs;
}

qint64 LinePace::settleNs() const
{
    return qMax<qint64>(20 * kMs, 16 * characterNs());
}
