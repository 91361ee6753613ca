#include "virtualclock.h"

#include <QCoreApplication>

class VirtualTimer : public Timer
{
public:
    VirtualTimer(VirtualClock &clock, QObject *parent) : Timer(parent), m_clock(clock)
    {
        m_clock.m_timers.append(this);
    }
    ~VirtualTimer() override { m_clock.m_timers.removeOne(this); }

    void startNs(qint64 delayNs) override
    {
        due = m_clock.m_now + qMax<qint64>(0, delayNs);
        sequence = ++m_clock.m_sequence;
    }
    void stop() override { sequence = 0; }
    bool isActive() const override { return sequence != 0; }

    qint64 due = 0;
    quint64 sequence = 0; // orders the starts; 0 while stopped

private:
    VirtualClock &m_clock;
};

Timer *VirtualClock::createTimer(QObject *parent)
{
    return new VirtualTimer(*this, parent);
}

bool VirtualClock::runUntil(const std::function<bool()> &done, qint64 limitNs)
{
    const qint64 limit = m_now + limitNs;
    for (;;) {
        QCoreApplication::sendPostedEvents();
        if (done()) return true;
        VirtualTimer *next = nullptr; // the first due, and of those the first started
        for (VirtualTimer *t : m_timers)
            if (t->sequence &&
                (!next || std::pair(t->due, t->sequence) < std::pair(next->due, next->sequence)))
                next = t;
        if (!next || next->due > limit) {
            m_now = qMax(m_now, limit);
            return done();
        }
        m_now = qMax(m_now, next->due);
        next->sequence = 0;
        emit next->timeout();
    }
}

void VirtualClock::advance(qint64 ns)
{
    runUntil([] { return false; }, ns);
}
