#include "linesim.h"

#include <algorithm>
#include <bit>

LineFormat LineFormat::parse(int bitsPerSecond, const char *format)
{
    LineFormat f;
    f.bitsPerSecond = bitsPerSecond;
    f.dataBits = format[0] - '0';
    f.parity = format[1];
    f.stopBits = format[2] - '0';
    return f;
}

LineFormat LineFormat::of(const Serial &port)
{
    LineFormat f;
    f.bitsPerSecond = Serial::bitsPerSecond(port.Baud());
    f.dataBits = port.Bits() == Serial::Bits7 ? 7 : 8;
    f.parity = port.Parity() == Serial::ParityEven ? 'E' : 'N';
    f.stopBits = port.Stop() == Serial::Stop2 ? 2 : 1;
    return f;
}

QString LineFormat::toString() const
{
    return QStringLiteral("%1 %2%3%4")
        .arg(bitsPerSecond)
        .arg(dataBits)
        .arg(QLatin1Char(parity))
        .arg(stopBits);
}

qint64 LineSimulator::bitTicks(int bitsPerSecond)
{
    return Clock / std::max(1, bitsPerSecond);
}

void LineSimulator::send(const QByteArray &bytes, double idleBits)
{
    const qint64 bt = bitTicks(m_sender.bitsPerSecond);
    m_end += qint64(idleBits * double(bt));
    for (char ch : bytes) {
        const quint32 data = quint8(ch) & ((1u << m_sender.dataBits) - 1);
        quint32 bits = data << 1; // start bit 0
        int n = 1 + m_sender.dataBits;
        if (m_sender.parity != 'N') {
            const bool odd = std::popcount(data) % 2 != 0;
            const bool bit = m_sender.parity == 'E' ? odd : !odd;
            bits |= quint32(bit) << n++;
        }
        for (int i = 0; i < m_sender.stopBits; ++i)
            bits |= 1u << n++;
        m_frames.push_back({m_end, bt, bits, n});
        m_end += n * bt;
    }
}

void LineSimulator::idle(double seconds)
{
    m_end += qint64(seconds * double(Clock));
}

qsizetype LineSimulator::frameAt(qint64 t) const
{
    // The last frame starting at or before t.
    auto it = std::upper_bound(m_frames.begin(), m_frames.end(), t,
                               [](qint64 v, const Frame &f) { return v < f.start; });
    return qsizetype(it - m_frames.begin()) - 1;
}

int LineSimulator::level(qint64 t) const
{
    const qsizetype i = frameAt(t);
    if (i < 0) return 1;
    const Frame &f = m_frames[size_t(i)];
    const qint64 k = (t - f.start) / f.bitTicks;
    if (k >= f.count) return 1;
    return int((f.bits >> k) & 1u);
}

qint64 LineSimulator::nextLow(qint64 t) const
{
    qsizetype i = frameAt(t);
    if (i >= 0) {
        const Frame &f = m_frames[size_t(i)];
        for (qint64 k = std::max<qint64>(0, (t - f.start) / f.bitTicks); k < f.count; ++k) {
            if (((f.bits >> k) & 1u) == 0) return std::max(t, f.start + k * f.bitTicks);
        }
    }
    // Every frame begins with its start bit.
    ++i;
    if (size_t(i) < m_frames.size() && m_frames[size_t(i)].start < m_end)
        return m_frames[size_t(i)].start;
    return -1;
}

QByteArray LineSimulator::receive(const LineFormat &rx)
{
    QByteArray out;
    const qint64 bt = bitTicks(rx.bitsPerSecond);
    const int parityBits = rx.parity == 'N' ? 0 : 1;
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
        int ones = 0;
        for (int i = 0; i < rx.dataBits; ++i) {
            const int b = level(start + (1 + i) * bt + bt / 2);
            value |= quint32(b) << i;
            ones += b;
        }
        bool bad = false;
        if (parityBits) {
            ones += level(start + (1 + rx.dataBits) * bt + bt / 2);
            if ((rx.parity == 'E') != (ones % 2 == 0)) {
                ++parityErrors;
                bad = true;
            }
        }
        if (level(stopSample) == 0) {
            ++framingErrors;
            bad = true;
        }
        m_rxTime = stopSample;
        if (!bad || errors == Errors::Sampled)
            out += char(value);
        else if (errors == Errors::Nul)
            out += '\0';
    }
    // Frames wholly behind the receiver are no longer needed.
    const qsizetype keep = frameAt(m_rxTime);
    if (keep > 1024) {
        m_frames.erase(m_frames.begin(), m_frames.begin() + (keep - 1));
    }
    return out;
}

QByteArray LineSimulator::transfer(const QByteArray &bytes, const LineFormat &tx,
                                   const LineFormat &rx, Errors errors)
{
    LineSimulator line(tx);
    line.errors = errors;
    line.send(bytes);
    line.idle(1.0);
    return line.receive(rx);
}

LinePort::LinePort(LineFormat machine, QObject *parent) : FakeSerial(parent), line(machine)
{
    m_inForce = LineFormat::of(*this);
}

void LinePort::machineSends(const QByteArray &bytes, double idleBits)
{
    line.send(bytes, idleBits);
    const QByteArray got = line.receive(m_inForce);
    if (isOpen() && !got.isEmpty()) deliver(got);
}

void LinePort::machineIdle(double seconds)
{
    line.idle(seconds);
    machineSends({});
}

void LinePort::takeSettings()
{
    m_inForce = LineFormat::of(*this);
    history.append(m_inForce);
}

bool LinePort::Open()
{
    const bool ok = FakeSerial::Open();
    if (ok) takeSettings();
    return ok;
}

void LinePort::Reset()
{
    FakeSerial::Reset();
    takeSettings();
}
