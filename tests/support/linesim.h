#pragma once

#include "core/ports/linesettings.h"

#include <QByteArray>

#include <algorithm>
#include <bit>
#include <utility>
#include <vector>

// A serial line at bit level, framed and sampled as UARTs do; the receiver
// goes on where it stopped, with settings that may change between calls.
class LineSimulator
{
public:
    explicit LineSimulator(const LineSettings &sender = {}) : m_sender(sender) {}

    void send(const QByteArray &bytes, double idleBits = 0)
    {
        const qint64 bt = Hz / m_sender.speed;
        const int dataBits = m_sender.dataBits;
        m_end += qint64(idleBits * double(bt));
        for (const char ch : bytes) {
            const quint32 data = quint8(ch) & ((1u << dataBits) - 1);
            quint32 bits = data << 1; // start bit 0
            int n = 1 + dataBits;
            if (m_sender.parity != Parity::None) bits |= parityBit(data) << n++;
            for (int i = 0; i < m_sender.stopBits; ++i)
                bits |= 1u << n++;
            for (int k = 0; k < n; ++k, m_end += bt)
                m_bits.emplace_back(m_end, int(bits >> k & 1u));
        }
    }

    QByteArray receive(const LineSettings &rx)
    {
        QByteArray out;
        const qint64 bt = Hz / rx.speed;
        const int parityBits = rx.parity == Parity::None ? 0 : 1;
        for (qint64 start; (start = nextLow(m_rxTime)) >= 0;) {
            const qint64 stopSample = start + (1 + rx.dataBits + parityBits) * bt + bt / 2;
            if (stopSample >= m_end) break; // the frame is not wholly on the line yet
            m_rxTime = start + bt / 2;
            if (level(m_rxTime) != 0) continue; // a glitch, not a start bit
            quint32 value = 0;
            for (int i = 0; i < rx.dataBits; ++i)
                value |= quint32(level(start + (1 + i) * bt + bt / 2)) << i;
            m_rxTime = stopSample;
            out += char(value);
        }
        return out;
    }

private:
    quint32 parityBit(quint32 data) const
    {
        const quint32 odd = quint32(std::popcount(data) % 2);
        switch (m_sender.parity) {
        case Parity::Even:
            return odd;
        case Parity::Odd:
            return 1 - odd;
        case Parity::Mark:
            return 1;
        default:
            return 0;
        }
    }

    // Every (half) bit time of the usual speeds is a whole number of ticks.
    static constexpr qint64 Hz = qint64(115200) * 2 * 16 * 11;

    // Between frames the line idles high, as the stop bit before left it.
    int level(qint64 t) const
    {
        const auto it = std::upper_bound(m_bits.begin(), m_bits.end(), std::pair(t, 2));
        return it == m_bits.begin() ? 1 : std::prev(it)->second;
    }
    // First time >= t at which the line is low; -1 when none yet.
    qint64 nextLow(qint64 t) const
    {
        auto it = std::upper_bound(m_bits.begin(), m_bits.end(), std::pair(t, 2));
        if (it != m_bits.begin() && std::prev(it)->second == 0) return t;
        it = std::find_if(it, m_bits.end(), [](const auto &bit) { return bit.second == 0; });
        return it == m_bits.end() ? -1 : it->first;
    }

    LineSettings m_sender;
    // When each bit on the line begins, and its level.
    std::vector<std::pair<qint64, int>> m_bits;
    qint64 m_end = 0;    // end of what is on the line
    qint64 m_rxTime = 0; // where the receiver goes on hunting for a start bit
};
