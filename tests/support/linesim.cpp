#include "linesim.h"

#include <algorithm>
#include <bit>

void LineSimulator::send(const QByteArray &bytes, double idleBits)
{
    const qint64 bt = Hz / m_sender.speed;
    const int dataBits = m_sender.dataBits;
    m_end += qint64(idleBits * double(bt));
    for (const char ch : bytes) {
        const quint32 data = quint8(ch) & ((1u << dataBits) - 1);
        quint32 bits = data << 1; // start bit 0
        int n = 1 + dataBits;
        if (m_sender.parity == Parity::Even) bits |= quint32(std::popcount(data) % 2) << n++;
        for (int i = 0; i < m_sender.stopBits; ++i)
            bits |= 1u << n++;
        m_frames.push_back({m_end, bt, bits, n});
        m_end += n * bt;
    }
}

qsizetype LineSimulator::frameAt(qint64 t) const
{
    const auto it = std::upper_bound(m_frames.begin(), m_frames.end(), t,
                                     [](qint64 v, const Frame &f) { return v < f.start; });
    return qsizetype(it - m_frames.begin()) - 1;
}

int LineSimulator::level(qint64 t) const
{
    const qsizetype i = frameAt(t);
    if (i < 0) return 1;
    const Frame &f = m_frames[size_t(i)];
    const qint64 k = (t - f.start) / f.bitTicks;
    return k >= f.count ? 1 : int((f.bits >> k) & 1u);
}

qint64 LineSimulator::nextLow(qint64 t) const
{
    qsizetype i = frameAt(t);
    if (i >= 0) {
        const Frame &f = m_frames[size_t(i)];
        for (qint64 k = std::max<qint64>(0, (t - f.start) / f.bitTicks); k < f.count; ++k)
            if (((f.bits >> k) & 1u) == 0) return std::max(t, f.start + k * f.bitTicks);
    }
    ++i; // every frame begins with its start bit
    return size_t(i) < m_frames.size() ? m_frames[size_t(i)].start : -1;
}

QByteArray LineSimulator::receive(const LineSettings &rx)
{
    QByteArray out;
    const qint64 bt = Hz / rx.speed;
    const int parityBits = rx.parity == Parity::None ? 0 : 1;
    for (;;) {
        const qint64 start = nextLow(m_rxTime);
        if (start < 0) {
            m_rxTime = std::max(m_rxTime, m_end);
            break;
        }
        const qint64 stopSample = start + (1 + rx.dataBits + parityBits) * bt + bt / 2;
        if (stopSample >= m_end) {
            m_rxTime = start; // the frame is not wholly on the line yet
            break;
        }
        if (level(start + bt / 2) != 0) { // a glitch, not a start bit
            m_rxTime = start + bt / 2;
            continue;
        }
        quint32 value = 0;
        for (int i = 0; i < rx.dataBits; ++i)
            value |= quint32(level(start + (1 + i) * bt + bt / 2)) << i;
        m_rxTime = stopSample;
        out += char(value);
    }
    return out;
}

void LinePort::machineSends(const QByteArray &bytes, double idleBits)
{
    line.send(bytes, idleBits);
    const QByteArray got = line.receive(settings());
    if (isOpen() && !got.isEmpty()) deliver(got);
}
