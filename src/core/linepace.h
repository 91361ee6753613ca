#pragma once

#include <QtGlobal>

class Clock;
class SerialPort;

// Time on the serial line as a send sees it: the 60 Hz tick counter that
// block delays count, how long the port's output takes to leave, and whether
// it has stopped moving (the machine holds the line).
class LinePace
{
public:
    LinePace(Clock &clock, SerialPort &port) : m_clock(clock), m_port(port) {}

    // The tick (1/60 s) at which a block delay of `ms` begun at tick `start`
    // ends: the first tick strictly after start + ms / 16.666, so even no
    // delay waits for the next tick.
    static qint64 delayEndTick(qint64 start, int ms);
    qint64 ticks() const;
    qint64 nsUntilTick(qint64 tick) const;
    qint64 nowNs() const;

    // How long one character takes on the line with the port's settings.
    qint64 characterNs() const;
    // How long to wait before looking again at output that still holds
    // `left` bytes: the time they need on the line, and growing intervals
    // while nothing moves (the port's own handshake holds it). A real port
    // says nothing when its driver queue empties, so this is polled.
    qint64 drainWaitNs(qint64 left);
    // Forgets what the output did before (a new wait begins).
    void resetDrain() { m_lastLeft = -1; }
    // How long the output has not moved, as seen by drainWaitNs().
    qint64 stalledNs() const;
    // After the driver reports empty, the time for what the UART's own FIFO
    // still holds to leave.
    qint64 settleNs() const;

private:
    Clock &m_clock;
    SerialPort &m_port;
    qint64 m_lastLeft = -1;
    qint64 m_backoffNs = 0;
    qint64 m_movedNs = 0; // when the output was last seen to move
};
