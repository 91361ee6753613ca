#pragma once

#include <QtGlobal>

#include <optional>

class Clock;
class SerialPort;

// Time on the serial line as a send sees it: the 60 Hz tick counter that
// block delays count, how long the port's output takes to leave, and whether
// it has stopped moving (the machine holds the line).
//
// The waits return how long to sleep before asking again, or nothing once
// what they wait for has come; they never change what the send does.
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

    // Before a line: the port drains, then the block delay of `ms` runs,
    // counted from the tick in which the drain ended.
    void startBlockWait();
    std::optional<qint64> blockWaitNs(int ms);
    // Whether the block wait is now waiting for the output to drain.
    bool draining() const { return m_block == Block::Drain; }
    // Streaming: the port holds more than `keepNs` of line time; sleep until
    // half of that is left.
    std::optional<qint64> feedWaitNs(qint64 keepNs) const;
    // The port's output has all left.
    std::optional<qint64> drainedWaitNs();
    // The port's output has all left, and then what the UART's own FIFO
    // holds; looked at at least every `refreshNs`.
    std::optional<qint64> emptyWaitNs(qint64 refreshNs);

    // Forgets what the output did before (a new wait begins).
    void resetDrain();
    // The output has not moved for long while it still held bytes.
    bool held() const;

private:
    enum class Block { Drain, Check, Delay };

    // How long to wait before looking again at output that still holds
    // `left` bytes: the time they need on the line, and growing intervals
    // while nothing moves (the port's own handshake holds it). A real port
    // says nothing when its driver queue empties, so this is polled.
    qint64 drainWaitNs(qint64 left);
    // After the driver reports empty, the time for what the UART's own FIFO
    // still holds to leave.
    qint64 settleNs() const;

    Clock &m_clock;
    SerialPort &m_port;
    qint64 m_lastLeft = -1;
    qint64 m_backoffNs = 0;
    qint64 m_movedNs = 0; // when the output was last seen to move
    bool m_settled = false;
    Block m_block = Block::Drain;
    qint64 m_checkTick = 0; // 0: not looked at the drain's likely end yet
    qint64 m_delayEnd = 0;
};
