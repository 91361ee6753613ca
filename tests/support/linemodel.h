#pragma once

#include "core/base/clock.h"
#include "fakeport.h"
#include "sim/simcontrol.h"

#include <deque>
#include <limits>
#include <utility>

// A fake port with a line, on any clock: written bytes queue and leave a
// character time apart, the machine's take one back. Under the port's
// XON/XOFF, DC3 stops the line after the character in flight, DC1 restarts
// it, and neither is passed on.
class LineModelPort : public FakePort
{
    Q_OBJECT
public:
    explicit LineModelPort(Clock &clock, QObject *parent = nullptr)
        : FakePort(parent), m_clock(clock), m_timer(clock.createTimer(this))
    {
        connect(m_timer, &Timer::timeout, this, &LineModelPort::advance);
    }

    void attach(SimControl *machine)
    {
        m_machine = machine;
        machine->toPc = [this](const QByteArray &bytes, qint64 ns) {
            advance(); // sent by the test now: catch up first
            for (const char b : bytes) {
                m_rxFree = qMax(ns, m_rxFree) + charNs();
                m_rx.emplace_back(m_rxFree, b);
            }
            rearm();
        };
    }
    // Each byte that left the port, and when, in order.
    QByteArray sent;
    QList<qint64> sentNs;
    // Off, the line is worked out only when the port is next used (unless a
    // machine answers), so that the model costs a benchmark next to nothing.
    bool wakeForEveryByte = true;

    void apply(const LineSettings &settings) override
    {
        advance();
        FakePort::apply(settings);
        if (!xonInForce()) m_stopped = false;
        startNext(m_clock.nowNs());
        rearm();
    }
    void flush(Direction which = Direction::Both) override
    {
        advance();
        FakePort::flush(which);
        // The character on the line finishes; the rest of the queue is dropped.
        if (which != Direction::Input) m_queue.truncate(m_doneNs == Never ? 0 : 1);
        rearm();
    }
    bool write(const QByteArray &bytes) override
    {
        advance();
        if (!FakePort::write(bytes)) return false;
        m_queue += bytes;
        startNext(m_clock.nowNs());
        rearm();
        return true;
    }
    qint64 bytesToWrite() const override
    {
        const_cast<LineModelPort *>(this)->advance();
        return isOpen() ? m_queue.size() : 0;
    }

private:
    static constexpr qint64 Never = std::numeric_limits<qint64>::max();

    qint64 charNs() const { return settings().characterNs(); }
    bool xonInForce() const { return settings().handshake == Handshake::XonXoff; }
    qint64 nextEvent(bool wakeUp = false) const
    {
        const bool bytes =
            !wakeUp || wakeForEveryByte || (m_machine && m_machine->config.flow);
        return std::min(bytes ? m_doneNs : Never, m_rx.empty() ? Never : m_rx.front().first);
    }
    void startNext(qint64 t)
    {
        if (m_doneNs == Never && !m_stopped && !m_queue.isEmpty()) m_doneNs = t + charNs();
    }
    void advance()
    {
        if (m_advancing) return;
        m_advancing = true;
        QByteArray arrived;
        for (qint64 t; (t = nextEvent()) <= m_clock.nowNs();) {
            if (t == m_doneNs) {
                const char b = m_queue.at(0);
                m_queue.remove(0, 1);
                m_doneNs = Never;
                sent += b;
                sentNs.append(t);
                if (m_machine) m_machine->receive(b, t);
            } else {
                const char b = m_rx.front().second;
                m_rx.pop_front();
                if (xonInForce() && (b == '\x13' || b == '\x11'))
                    m_stopped = b == '\x13';
                else if (isOpen())
                    arrived += b;
            }
            startNext(t);
        }
        m_advancing = false;
        if (!arrived.isEmpty()) deliver(arrived);
        rearm();
    }
    void rearm()
    {
        const qint64 next = nextEvent(true);
        m_advancing || next == Never ? m_timer->stop() : m_timer->startNs(next - m_clock.nowNs());
    }

    Clock &m_clock;
    Timer *m_timer;
    SimControl *m_machine = nullptr;
    bool m_advancing = false;
    QByteArray m_queue;      // the driver's; its first byte is on the line till m_doneNs
    qint64 m_doneNs = Never; // when the byte on the line has left; Never when none is
    bool m_stopped = false;
    std::deque<std::pair<qint64, char>> m_rx; // machine to port, by arrival time
    qint64 m_rxFree = 0;
};
