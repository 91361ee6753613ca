#pragma once

#include "core/clock.h"
#include "pty.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <cmath>
#include <functional>

// How a simulated machine tool takes data.
struct SimMachineConfig {
    int bufferSize = 256;
    double bytesPerSecond = 1000; // how fast the control empties the buffer
    int highWater = 192;          // DC3 when the buffer holds this many
    int lowWater = 64;            // DC1 when it has fallen to this many
    bool flowControl = true;      // sends DC3/DC1 at all
};

// A machine tool's serial side: a buffer the control empties steadily, DC3 at
// high water, DC1 at low water (on the clock's timer). Its transport (the
// line model or a pty) calls receive() and carries what toPc sends.
class SimMachine : public QObject
{
    Q_OBJECT
public:
    using Config = SimMachineConfig;
    explicit SimMachine(Clock &clock, Config c = {}, QObject *parent = nullptr)
        : QObject(parent), config(c), m_clock(clock), m_lowWater(clock.createTimer(this))
    {
        connect(m_lowWater, &Timer::timeout, this, [this] { runTo(m_clock.nowNs()); });
    }

    Config config;
    QByteArray received;       // every byte that reached the machine, in order
    QList<qsizetype> overruns; // index into `received` of each byte that found the buffer full
    int dc3Sent = 0;

    void receive(char byte, qint64 ns)
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
        runTo(ns); // arms the timer for DC1
    }

    // From now on the control empties the buffer at this rate.
    void setBytesPerSecond(double rate)
    {
        runTo(m_clock.nowNs());
        config.bytesPerSecond = rate;
        runTo(m_clock.nowNs());
    }

    std::function<void(const QByteArray &, qint64 ns)> toPc;
    void send(const QByteArray &bytes) { toPc(bytes, m_clock.nowNs()); }
    void attachPty(Pty &pty)
    {
        toPc = [&pty](const QByteArray &bytes, qint64) { pty.write(bytes); };
        connect(&pty, &Pty::readyRead, this, [this, &pty] {
            for (const char b : pty.readAll())
                receive(b, m_clock.nowNs());
        });
    }

private:
    double levelAt(qint64 ns) const
    {
        return qMax(0.0, m_level - qMax(0.0, config.bytesPerSecond * double(ns - m_levelNs) / 1e9));
    }
    // When DC1 is due (the buffer down to low water after a DC3), or -1.
    qint64 lowWaterNs() const
    {
        if (!m_xoffSent || config.bytesPerSecond <= 0) return -1;
        const double above = qMax(0.0, m_level - config.lowWater);
        return m_levelNs + qint64(std::ceil(above / config.bytesPerSecond * 1e9));
    }
    void runTo(qint64 ns)
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
        const qint64 next = lowWaterNs();
        next < 0 ? m_lowWater->stop() : m_lowWater->startNs(next - m_clock.nowNs());
    }

    Clock &m_clock;
    Timer *m_lowWater;
    double m_level = 0;
    qint64 m_levelNs = 0;
    bool m_xoffSent = false;
};
