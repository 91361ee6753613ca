#include "core/base/clock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace
{

class SystemTimer : public Timer
{
public:
    explicit SystemTimer(QObject *parent) : Timer(parent)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &Timer::timeout);
    }
    void startNs(qint64 delayNs) override
    {
        // Event-loop timers count whole milliseconds; round up, so a wait
        // never ends early.
        const qint64 ms = (qMax<qint64>(0, delayNs) + 999'999) / 1'000'000;
        m_timer.start(int(qMin<qint64>(ms, 24 * 3600 * 1000)));
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

class SystemClock : public Clock
{
public:
    SystemClock() { m_elapsed.start(); }
    qint64 nowNs() const override { return m_elapsed.nsecsElapsed(); }
    Timer *createTimer(QObject *parent) override { return new SystemTimer(parent); }

private:
    QElapsedTimer m_elapsed;
};

} // namespace

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
}
