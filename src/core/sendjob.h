#pragma once

#include "core/linesettings.h"
#include "core/machine.h"
#include "core/program.h"

#include <QObject>
#include <QString>

class Clock;
class SerialPort;
class Timer;

// How a send paces and ends its lines, from the machine's configuration.
struct SendSettings {
    int blockDelayMs = 0;
    QByteArray endOfBlock = "\r\n";
    FlowMode flow = FlowMode::None;

    static SendSettings of(const MachineConfig &machine);
};

enum class SendPhase {
    StartWait, // modes "3" and "4": waiting for the machine to speak first
    Lines,
    Clearing,  // the run-out of NULs is leaving the port
    Done,
};
enum class SendOutcome { Completed, Stopped, PortLost };

// What the transmit bar shows of a send.
struct SendProgress {
    SendPhase phase = SendPhase::Lines;
    int value = 0;
    int maximum = 100;
    QString text; // "37%", "05 %" while clearing, "100%" at the end
    bool operator==(const SendProgress &) const = default;
};

// One send of a program to a machine: the lines from `startLine` on, each
// line end written as the machine's end of block, after the port has
// drained and the block delay has passed; then a run-out of NULs. It obeys
// DC3/DC1 from the machine where its flow mode asks for it, holds at the
// next line boundary while paused, and ends at the next check after stop().
//
// Every wait returns to the event loop and is timed by the clock it is
// given; nothing here blocks.
class SendJob : public QObject
{
    Q_OBJECT
public:
    static constexpr int RunOutBytes = 2000;

    SendJob(SerialPort &port, Clock &clock, const Program &program, int startLine,
            const SendSettings &settings, QObject *parent = nullptr);
    ~SendJob() override;

    void start();
    void stop();
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    bool isRunning() const { return m_state != State::Idle && m_state != State::Done; }
    // Bytes the machine sent while the job runs.
    void feed(const QByteArray &received);

    SendProgress progress() const { return m_progress; }
    // The line being sent (0-based), or -1 before the first.
    int currentLine() const { return m_line - 1; }

    // The tick (1/60 s) at which a block delay of `ms` begun at tick `start`
    // ends: the first tick strictly after start + ms / 16.666, so even no
    // delay waits for the next tick.
    static qint64 delayEndTick(qint64 start, int ms);

signals:
    void progressChanged(const SendProgress &progress);
    // A line starts: the line now being sent.
    void lineStarted(int line);
    // The send waits at a line (Pause, or the machine's DC3).
    void holding(int line);
    void finished(SendOutcome outcome);

private:
    enum class State {
        Idle,
        StartWait,
        LineStart,
        PauseHold,
        Drain,
        DrainCheck, // looking again at the tick after the bytes' line time
        BlockDelay,
        Writing,
        XoffHold,
        RunOut,
        Clearing,
        Ending,
        Purging,
        Done,
    };

    void step();
    bool stepOnce(); // false when the job waits for something
    void arm(qint64 ns);
    void writeSome();
    void report(SendPhase phase, int value, int maximum, const QString &text);
    void reportLines();
    bool clearingStep();
    void finish();
    void onPortLost();
    qint64 ticks() const;
    qint64 nsUntilTick(qint64 tick) const;
    qint64 drainWaitNs(qint64 bytesLeft);
    qint64 settleNs() const;
    qint64 characterNs() const;

    SerialPort &m_port;
    Clock &m_clock;
    Timer *m_timer;
    Timer *m_purge;
    const Program m_program;
    const SendSettings m_settings;

    State m_state = State::Idle;
    bool m_inStep = false;
    bool m_stop = false;
    bool m_paused = false;
    bool m_lost = false;
    bool m_watchDc = false;
    bool m_xoff = false;

    qint64 m_divisor = 1;
    int m_line = 0;
    qint64 m_counted = 0;
    QByteArrayView m_lineBytes;
    bool m_lineHasEnd = false;
    qsizetype m_pos = 0;
    qint64 m_delayEnd = 0;
    qint64 m_checkTick = 0;
    bool m_drainChecked = false;
    bool m_settled = false;
    qint64 m_lastLeft = -1;
    qint64 m_backoffNs = 0;
    LineSettings m_restore;
    SendOutcome m_outcome = SendOutcome::Completed;
    SendProgress m_progress;
};
