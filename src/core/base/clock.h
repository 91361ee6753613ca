#pragma once

#include <QObject>
#include <QtGlobal>

// A single-shot timer handed out by a Clock. Everything in the core that
// waits does so through one of these, so that tests can run it in virtual
// time.
class Timer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // (Re)starts the timer; timeout() follows after the delay.
    virtual void startNs(qint64 delayNs) = 0;
    void start(qint64 ms) { startNs(ms * 1'000'000); }
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void timeout();
};

// Monotonic time and the timers that wait on it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint64 nowNs() const = 0;
    // A stopped single-shot timer owned by `parent`.
    virtual Timer *createTimer(QObject *parent) = 0;

    // The machine's monotonic clock, with event-loop timers.
    static Clock &system();
};
