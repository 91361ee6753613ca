#include "core/sending/charpace.h"

#include "core/ports/serialport.h"
#include "core/sending/linepace.h"

#include <limits>

namespace
{
constexpr qint64 kMs = 1'000'000;
} // namespace

CharacterPace::CharacterPace(const LinePace &pace, const SerialPort &port, int delayMs,
                             int perDelay, int handshakeMs)
    : m_pace(pace), m_port(port), m_delayNs(qMax(0, delayMs) * kMs), m_perDelay(qMax(1, perDelay)),
      m_handshakeNs(qMax(0, handshakeMs) * kMs)
{
}

qint64 CharacterPace::room() const
{
    return pauses() ? qMax<qint64>(1, m_perDelay - m_count) : std::numeric_limits<int>::max();
}

void CharacterPace::released()
{
    if (m_handshakeNs > 0) m_releaseEnd = m_pace.nowNs() + m_handshakeNs;
}

std::optional<qint64> CharacterPace::waitNs()
{
    const qint64 now = m_pace.nowNs();
    if (m_releaseEnd >= 0) {
        if (now < m_releaseEnd) return m_releaseEnd - now;
        m_releaseEnd = -1;
    }
    if (!pauses() || m_count < m_perDelay) return std::nullopt;
    if (m_pauseEnd < 0) {
        // The pause begins when the characters before it have left: looked
        // at when they should have, and again while they have not.
        const qint64 left = m_port.bytesToWrite();
        if (left > 0) return qMax(kMs / 10, left * m_pace.characterNs());
        m_pauseEnd = now + m_delayNs;
    }
    if (now < m_pauseEnd) return m_pauseEnd - now;
    m_pauseEnd = -1;
    m_count = 0;
    return std::nullopt;
}
