#include "simmachine.h"

#include "pty.h"

#include <cmath>

SimMachine::SimMachine(Clock &clock, Config c, QObject *parent)
    : QObject(parent), config(c), m_clock(clock)
{
}

double SimMachine::levelAt(qint64 ns) const
{
    return qMax(0.0, m_level - qMax(0.0, config.bytesPerSecond * double(ns - m_levelNs) / 1e9));
}

qint64 SimMachine::lowWaterNs() const
{
    if (!m_xoffSent || config.bytesPerSecond <= 0) return -1;
    const double above = qMax(0.0, m_level - config.lowWater);
    return m_levelNs + qint64(std::ceil(above / config.bytesPerSecond * 1e9));
}

void SimMachine::runTo(qint64 ns)
{
    const qint64 due = lowWaterNs();
    if (due >= 0 && due <= ns) {
        m_level = levelAt(due);
        m_levelNs = due;
        m_xoffSent = false;
        if (toPc) toPc(QByteArray(1, '\x11'), due);
    }
    m_level = levelAt(ns);
    m_levelNs = ns;
}

void SimMachine::receive(char byte, qint64 ns)
{
    runTo(ns);
    received.append(byte);
    if (m_level + 1 > config.bufferSize + 1e-9)
        overruns.append(received.size() - 1); // lost to the control
    else
        m_level += 1;
    if (config.flowControl && !m_xoffSent && m_level >= config.highWater) {
        m_xoffSent = true;
        ++dc3Sent;
        if (toPc) toPc(QByteArray(1, '\x13'), ns);
    }
}

void SimMachine::attachPty(Pty &pty)
{
    toPc = [&pty](const QByteArray &bytes, qint64) { pty.write(bytes); };
    m_lowWater = m_clock.createTimer(this);
    connect(m_lowWater, &Timer::timeout, this, [this] {
        runTo(m_clock.nowNs());
        armLowWater();
    });
    connect(&pty, &Pty::readyRead, this, [this, &pty] {
        for (const char b : pty.readAll())
            receive(b, m_clock.nowNs());
        armLowWater();
    });
}

void SimMachine::armLowWater()
{
    const qint64 due = lowWaterNs();
    due < 0 ? m_lowWater->stop() : m_lowWater->startNs(due - m_clock.nowNs());
}
