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
        active = true;
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }
    void fire()
    {
        active = false;
        emit timeout();
    }

    qint64 due = 0;
    quint64 sequence = 0;
    bool active = false;

private:
    VirtualClock &m_clock;
};

Timer *VirtualClock::createTimer(QObject *parent)
{
    return new VirtualTimer(*this, parent);
}

VirtualTimer *VirtualClock::nextDue() const
{
    VirtualTimer *next = nullptr;
    for (VirtualTimer *t : m_timers)
        if (t->active &&
            (!next || t->due < next->due || (t->due == next->due && t->sequence < next->sequence)))
            next = t;
    return next;
}

bool VirtualClock::runUntil(const std::function<bool()> &done, qint64 limitNs)
{
    const qint64 limit = m_now + limitNs;
    for (;;) {
        QCoreApplication::sendPostedEvents();
        if (done()) return true;
        VirtualTimer *next = nextDue();
        if (!next || next->due > limit) {
            m_now = qMax(m_now, limit);
            return done();
        }
        m_now = qMax(m_now, next->due);
        next->fire();
    }
}

void VirtualClock::advance(qint64 ns)
{
    runUntil([] { return false; }, ns);
}
