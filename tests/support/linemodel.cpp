#include "linemodel.h"

#include "simmachine.h"

#include <QMetaObject>
#include <limits>

namespace
{
constexpr char DC1 = 17;
constexpr char DC3 = 19;
constexpr qint64 kNever = std::numeric_limits<qint64>::max();
} // namespace

LineModelSerial::LineModelSerial(QObject *parent) : FakeSerial(parent)
{
    autoDrain = false;
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        advance();
        rearm();
    });
}

void LineModelSerial::attach(SimMachine *machine)
{
    m_machine = machine;
    if (!machine) return;
    machine->clock = [this] { return nowNs(); };
    machine->toPc = [this](const QByteArray &bytes, qint64 ns) { fromMachine(bytes, ns); };
}

void LineModelSerial::fromMachine(const QByteArray &bytes, qint64 ns)
{
    // Called from inside advance() (DC3/DC1 at their model time) or by a
    // test through SimMachine::send (now).
    if (ns >= nowNs()) advance();
    for (char b : bytes) {
        const qint64 t = qMax(ns, m_rxLineFree) + m_charNs;
        m_rxLineFree = t;
        m_rxLine.emplace_back(t, b);
    }
    if (!m_timer.isActive() || ns >= nowNs()) rearm();
}

void LineModelSerial::takeSettings()
{
    const qint32 bps = Serial::bitsPerSecond(Baud());
    if (bps > 0) m_charNs = qint64(bitsPerCharacter()) * 1'000'000'000 / bps;
    m_xonInForce = XON();
    if (!m_xonInForce && m_stopped) {
        m_stopped = false;
        startNext(nowNs());
    }
}

bool LineModelSerial::Open()
{
    if (!FakeSerial::Open()) return false;
    takeSettings();
    return true;
}

void LineModelSerial::Close()
{
    advance();
    FakeSerial::Close();
    m_q.clear();
    m_head = 0;
    m_busy = false;
    pending = 0;
}

void LineModelSerial::Reset()
{
    advance();
    FakeSerial::Reset();
    takeSettings();
    rearm();
}

void LineModelSerial::Flush()
{
    advance();
    FakeSerial::Flush();
    // The character on the line finishes; the rest of the queue is dropped.
    if (m_busy) {
        m_q = m_q.mid(m_head, 1);
        m_head = 0;
    } else {
        m_q.clear();
        m_head = 0;
    }
    pending = m_q.size();
    rearm();
}

void LineModelSerial::startNext(qint64 t)
{
    if (!m_busy && !m_stopped && m_head < m_q.size()) {
        m_busy = true;
        m_doneNs = t + m_charNs;
    }
}

bool LineModelSerial::Write(const QByteArray &bytes)
{
    if (!opened) return false;
    advance();
    written += bytes;
    m_q += bytes;
    pending = m_q.size() - m_head;
    if (onWrite) onWrite(bytes);
    startNext(nowNs());
    rearm();
    return true;
}

qint64 LineModelSerial::BytesLeftToSend() const
{
    if (!opened) return 0;
    const_cast<LineModelSerial *>(this)->advance();
    return m_q.size() - m_head;
}

qint64 LineModelSerial::BytesAvailable() const
{
    const_cast<LineModelSerial *>(this)->advance();
    return FakeSerial::BytesAvailable();
}

QByteArray LineModelSerial::Read(qint64 count)
{
    advance();
    return FakeSerial::Read(count);
}

QByteArray LineModelSerial::ReadAll()
{
    advance();
    return FakeSerial::ReadAll();
}

void LineModelSerial::advance()
{
    const qint64 now = nowNs();
    QByteArray arrived;
    bool emptied = false;
    for (;;) {
        const qint64 tTx = m_busy ? m_doneNs : kNever;
        const qint64 tRx = m_rxLine.empty() ? kNever : m_rxLine.front().first;
        qint64 tLow = m_machine ? m_machine->lowWaterNs() : -1;
        if (tLow < 0) tLow = kNever;
        const qint64 t = std::min({tTx, tRx, tLow});
        if (t > now || t == kNever) break;
        if (t == tLow) {
            m_machine->runTo(t); // DC1 joins m_rxLine
        } else if (t == tTx) {
            const char b = m_q.at(m_head++);
            m_busy = false;
            sentNs.append(t);
            if (m_machine) m_machine->receive(b, t);
            if (m_head >= m_q.size()) {
                m_q.clear();
                m_head = 0;
                emptied = true;
            }
            startNext(t);
        } else {
            const char b = m_rxLine.front().second;
            m_rxLine.pop_front();
            if (!opened) continue;
            if (m_xonInForce && b == DC3) {
                m_stopped = true;
            } else if (m_xonInForce && b == DC1) {
                m_stopped = false;
                startNext(t);
            } else {
                arrived += b;
            }
        }
    }
    pending = m_q.size() - m_head;
    if (!arrived.isEmpty()) deliver(arrived);
    if (emptied && signalEmpty)
        QMetaObject::invokeMethod(this, &Serial::BytesWritten, Qt::QueuedConnection);
}

void LineModelSerial::rearm()
{
    const qint64 now = nowNs();
    qint64 next = kNever;
    if (!m_rxLine.empty()) next = m_rxLine.front().first;
    if (m_machine) {
        const qint64 low = m_machine->lowWaterNs();
        if (low >= 0) next = std::min(next, low);
        // The first queued byte that will make the machine send DC3.
        if (m_machine->config.flowControl && !m_machine->xoffOutstanding() && m_busy &&
            !m_stopped) {
            const double rate = m_machine->config.bytesPerSecond;
            qint64 t = m_doneNs;
            double level = m_machine->levelAt(t);
            for (qsizetype k = m_head; k < m_q.size(); ++k) {
                if (level + 1 >= m_machine->config.highWater) {
                    next = std::min(next, t);
                    break;
                }
                level = std::max(0.0, level + 1 - rate * double(m_charNs) / 1e9);
                t += m_charNs;
            }
        }
    }
    if (signalEmpty && m_busy && !m_stopped)
        next = std::min(next, m_doneNs + qint64(m_q.size() - m_head - 1) * m_charNs);
    if (next == kNever) {
        m_timer.stop();
        return;
    }
    m_timer.start(int(std::max<qint64>(0, (next - now + 999'999) / 1'000'000)));
}
