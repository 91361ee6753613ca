#include "linemodel.h"

#include "core/clock.h"
#include "simmachine.h"

#include <limits>

namespace
{
constexpr qint64 kNever = std::numeric_limits<qint64>::max();
}

LineModelPort::LineModelPort(Clock &clock, QObject *parent)
    : FakePort(parent), m_clock(clock), m_timer(clock.createTimer(this))
{
    connect(m_timer, &Timer::timeout, this, &LineModelPort::advance);
}

void LineModelPort::attach(SimMachine *machine)
{
    m_machine = machine;
    machine->toPc = [this](const QByteArray &bytes, qint64 ns) { fromMachine(bytes, ns); };
}

void LineModelPort::fromMachine(const QByteArray &bytes, qint64 ns)
{
    advance(); // sent by the test now: catch up first
    for (const char b : bytes) {
        m_rxFree = qMax(ns, m_rxFree) + charNs();
        m_rx.emplace_back(m_rxFree, b);
    }
    rearm();
}

void LineModelPort::apply(const LineSettings &settings)
{
    advance();
    FakePort::apply(settings);
    if (!xonInForce()) m_stopped = false;
    startNext(m_clock.nowNs());
    rearm();
}

void LineModelPort::flush()
{
    advance();
    FakePort::flush();
    // The character on the line finishes; the rest of the queue is dropped.
    m_queue.truncate(m_busy ? 1 : 0);
    rearm();
}

void LineModelPort::startNext(qint64 t)
{
    if (!m_busy && !m_stopped && !m_queue.isEmpty()) {
        m_busy = true;
        m_doneNs = t + charNs();
    }
}

bool LineModelPort::write(const QByteArray &bytes)
{
    advance();
    if (!FakePort::write(bytes)) return false;
    m_queue += bytes;
    startNext(m_clock.nowNs());
    rearm();
    return true;
}

qint64 LineModelPort::bytesToWrite() const
{
    const_cast<LineModelPort *>(this)->advance();
    return isOpen() ? m_queue.size() : 0;
}

qint64 LineModelPort::nextEvent() const
{
    const qint64 low = m_machine ? m_machine->lowWaterNs() : -1;
    return std::min({m_busy ? m_doneNs : kNever, m_rx.empty() ? kNever : m_rx.front().first,
                     low < 0 ? kNever : low});
}

void LineModelPort::advance()
{
    if (m_advancing) return;
    m_advancing = true;
    QByteArray arrived;
    for (qint64 t; (t = nextEvent()) <= m_clock.nowNs();) {
        if (m_machine && t == m_machine->lowWaterNs()) {
            m_machine->runTo(t); // DC1 joins m_rx
        } else if (m_busy && t == m_doneNs) {
            const char b = m_queue.at(0);
            m_queue.remove(0, 1);
            m_busy = false;
            sentNs.append(t);
            if (m_machine) m_machine->receive(b, t);
            startNext(t);
        } else {
            const char b = m_rx.front().second;
            m_rx.pop_front();
            if (xonInForce() && (b == '\x13' || b == '\x11')) {
                m_stopped = b == '\x13';
                startNext(t);
            } else if (isOpen()) {
                arrived += b;
            }
        }
    }
    m_advancing = false;
    if (!arrived.isEmpty()) deliver(arrived);
    rearm();
}

void LineModelPort::rearm()
{
    const qint64 next = nextEvent();
    m_advancing || next == kNever ? m_timer->stop() : m_timer->startNs(next - m_clock.nowNs());
}
