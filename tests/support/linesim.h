#pragma once

#include "fakeport.h"

#include <vector>

// A serial line at bit level, framed and sampled as UARTs do; the receiver
// goes on where it stopped, with settings that may change between calls.
class LineSimulator
{
public:
    explicit LineSimulator(const LineSettings &sender = {}) : m_sender(sender) {}

    void send(const QByteArray &bytes, double idleBits = 0);
    QByteArray receive(const LineSettings &rx);

private:
    // Every (half) bit time of the usual speeds is a whole number of ticks.
    static constexpr qint64 Hz = qint64(115200) * 2 * 16 * 11;
    struct Frame {
        qint64 start, bitTicks;
        quint32 bits; // line levels, bit 0 = start bit
        int count;
    };
    int level(qint64 t) const;
    // First time >= t at which the line is low; -1 when none yet.
    qint64 nextLow(qint64 t) const;
    qsizetype frameAt(qint64 t) const;

    LineSettings m_sender;
    std::vector<Frame> m_frames;
    qint64 m_end = 0;    // end of what is on the line
    qint64 m_rxTime = 0; // where the receiver goes on hunting for a start bit
};

// A fake port whose machine's bytes are decoded with the settings in force.
class LinePort : public FakePort
{
    Q_OBJECT
public:
    using FakePort::FakePort;
    LineSimulator line; // set up with the machine's settings
    void machineSends(const QByteArray &bytes, double idleBits = 0);
};
