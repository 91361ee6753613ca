#pragma once

// What the benchmarks measure besides time: the CPU the process used, and
// how long the event loop was ever kept from answering.

#include "core/machines/workshop.h"
#include "linemodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

inline qint64 cpuNs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (qint64(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1'000'000'000 +
           (qint64(u.ru_utime.tv_usec) + u.ru_stime.tv_usec) * 1000;
}

// Posts an event every 100 ms and records how long it waited for the loop.
class Probe : public QObject
{
public:
    Probe()
    {
        m_tick.setInterval(100);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            m_posted = m_clock.nsecsElapsed();
            if (m_lastTick >= 0)
                worstTimer = std::max(worstTimer, m_posted - m_lastTick - 100'000'000);
            m_lastTick = m_posted;
            QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        });
        m_clock.start();
    }
    void start()
    {
        worstPosted = worstTimer = 0;
        m_lastTick = -1;
        m_tick.start();
    }
    void stop() { m_tick.stop(); }
    qint64 worstPosted = 0;
    qint64 worstTimer = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User) {
            worstPosted = std::max(worstPosted, m_clock.nsecsElapsed() - m_posted);
            return true;
        }
        return QObject::event(e);
    }

private:
    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_posted = 0;
    qint64 m_lastTick = -1;
};

// Each machine's port a timed line model on the system clock, kept in `wires`.
inline Workshop::PortFactory lineModels(QList<LineModelPort *> &wires)
{
    return [&wires] {
        auto port = std::make_shared<LineModelPort>(Clock::system());
        port->wakeForEveryByte = false; // nobody listens: no need to follow every byte
        wires << port.get();
        return port;
    };
}

// Every machine's control punches `request` at the same moment; the event
// loop runs until the program exits it. The wall time and CPU it took.
struct RunFigures {
    qint64 wall;
    qint64 cpu;
};
inline RunFigures askAll(Probe &probe, const QList<LineModelPort *> &wires, const QByteArray &request)
{
    probe.start();
    const qint64 cpu0 = cpuNs();
    const qint64 t0 = Clock::system().nowNs();
    for (LineModelPort *wire : wires)
        wire->deliver(request);
    QCoreApplication::exec();
    RunFigures f{Clock::system().nowNs() - t0, cpuNs() - cpu0};
    probe.stop();
    return f;
}

// The whole program's figures beside their targets.
inline void printWhole(qint64 cpu, qint64 wall, const Probe &probe, bool ok)
{
    std::printf("whole program: CPU %.2f%% of a core (target < 5%%), worst wait %.2f ms "
                "(target < 30 ms), wall %.3f s%s\n",
                100.0 * double(cpu) / double(wall),
                std::max(probe.worstPosted, probe.worstTimer) / 1e6, wall / 1e9,
                ok ? "" : "  !! a machine did not get its program whole");
}
