#pragma once

#include "core/base/clock.h"

#include <QList>
#include <functional>

class VirtualTimer;

// Time that moves only when the test lets it: runUntil() delivers posted
// events and fires due timers, jumping straight to the next timer when
// nothing else is pending. A send that takes minutes on the line runs in
// milliseconds, and every timing it shows is exact.
class VirtualClock : public Clock
{
public:
    static constexpr qint64 Second = 1'000'000'000;

    qint64 nowNs() const override { return m_now; }
    Timer *createTimer(QObject *parent) override;

    // Runs until `done` holds, or until `limitNs` of virtual time from now
    // have passed with nothing left to run before it; true when done.
    bool runUntil(const std::function<bool()> &done, qint64 limitNs = 600 * Second);
    // Runs everything due in the next `ns`, and leaves the clock there.
    void advance(qint64 ns);

private:
    friend class VirtualTimer;

    qint64 m_now = 0;
    quint64 m_sequence = 0;
    QList<VirtualTimer *> m_timers;
};
