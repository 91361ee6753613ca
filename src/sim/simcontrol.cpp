#include "sim/simcontrol.h"

#include "core/base/clock.h"

#include <cmath>

namespace
{
// Whole bytes in the buffer (not the one the control is taking).
int wholeBytes(double level)
{
    return int(std::floor(level + 1e-9));
}
} // namespace

SimControl::SimControl(Clock &clock, Config c, QObject *parent)
    : QObject(parent), config(c), m_clock(clock), m_lowMark(clock.createTimer(this))
{
    connect(m_lowMark, &Timer::timeout, this, [this] { runTo(m_clock.nowNs()); });
}

bool SimControl::receive(char, qint64 ns)
{
    runTo(ns);
    ++m_received;
    // Bytes that came with the one that filled the buffer to its mark (one
    // read of a pseudo-terminal or a socket) were on their way before the
    // DC3: only later ones are the PC's to answer for.
    if (m_xoffSent && ns > m_dc3Ns) ++m_hold.afterDc3;
    const bool kept = m_level + 1 <= config.bufferSize + 1e-9;
    if (kept)
        m_level += 1;
    else
        ++m_overruns;
    if (config.flow && !m_xoffSent && m_level >= config.dc3At) {
        m_xoffSent = true;
        ++m_dc3Sent;
        m_hold = {wholeBytes(m_level), 0};
        m_dc3Ns = ns;
        mark(true, ns);
    }
    runTo(ns); // arms the timer for DC1
    if (!kept) emit overrun();
    return kept;
}

void SimControl::mark(bool hold, qint64 ns)
{
    if (config.dtr && holdDtr) holdDtr(hold);
    else if (!config.dtr && toPc) toPc(QByteArray(1, hold ? '\x13' : '\x11'), ns);
}

void SimControl::send(const QByteArray &bytes)
{
    if (toPc) toPc(bytes, m_clock.nowNs());
}

void SimControl::setBytesPerSecond(double rate)
{
    runTo(m_clock.nowNs());
    config.bytesPerSecond = rate;
    runTo(m_clock.nowNs());
}

int SimControl::level() const
{
    return wholeBytes(levelAt(m_clock.nowNs()));
}

double SimControl::levelAt(qint64 ns) const
{
    const double taken = config.bytesPerSecond * double(qMax<qint64>(0, ns - m_levelNs)) / 1e9;
    return qMax(0.0, m_level - qMax(0.0, taken));
}

// When DC1 is due (the buffer down to the low mark after a DC3), or -1.
qint64 SimControl::lowMarkNs() const
{
    if (!m_xoffSent || config.bytesPerSecond <= 0) return -1;
    const double above = qMax(0.0, m_level - config.dc1At);
    return m_levelNs + qint64(std::ceil(above / config.bytesPerSecond * 1e9));
}

void SimControl::runTo(qint64 ns)
{
    ns = qMax(ns, m_levelNs); // bytes and the timer may report a moment late
    const qint64 due = lowMarkNs();
    if (due >= 0 && due <= ns) {
        m_level = levelAt(due);
        m_levelNs = due;
        m_xoffSent = false;
        mark(false, due);
        emit dc1Sent(m_hold);
    }
    m_level = levelAt(ns);
    m_levelNs = ns;
    const qint64 next = lowMarkNs();
    next < 0 ? m_lowMark->stop() : m_lowMark->startNs(next - m_clock.nowNs());
}
