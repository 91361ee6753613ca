#pragma once

#include "core/programs/program.h"
#include "core/sending/flowwatch.h"
#include "core/sending/linehold.h"
#include "core/sending/linepace.h"
#include "core/sending/sendoutput.h"
#include "core/sending/sendtransfer.h"

#include <QObject>
#include <QString>

class Clock;
class SerialPort;
class Timer;

// One send of a program to a machine: the lines from `startLine` on, each
// line end written as the machine's end of block, after the port has
// drained and the block delay has passed, the machine's leader before the
// first of them and its trailer after the last; then a run-out of NULs. It
// obeys DC3/DC1 from the machine where its flow mode asks for it, and holds
// at the next line boundary while paused. With block delay "None" it streams
// instead: the port is kept fed with about 50 ms of whole lines, so that a
// fast line never idles (Pause and Stop then also let what the port was
// given go out).
//
// Stop never cuts a block: the line being written is finished, and what the
// port was given reaches the machine before the send ends; only if the
// machine holds the line does a second stop() discard it. A send stopped
// before its last line sends no trailer: the trailer tells the control the
// program is whole, and a cut one must not pass for whole. Where the send
// watches DC3 itself (modes "3" and "4") it keeps so little waiting in the
// port that at most ten characters leave after a DC3 arrives.
//
// Every wait returns to the event loop and is timed by the clock it is
// given; nothing here blocks.
class SendJob : public SendTransfer
{
    Q_OBJECT
public:
    static constexpr int RunOutBytes = 2000;
    // Where the send obeys DC3 itself, the port never holds more than this.
    static constexpr int QueueLimit = 8;

    SendJob(SerialPort &port, Clock &clock, const Program &program, int startLine,
            const SendSettings &settings, QObject *parent = nullptr);
    ~SendJob() override;

    void start() override;
    // Stops at a whole block; a second call discards what the machine holds.
    void stop() override;
    void setPaused(bool paused) override;
    bool isPaused() const override { return m_paused; }
    bool isRunning() const override { return m_state != State::Idle && m_state != State::Done; }
    // Bytes the machine sent while the job runs. Returns how many of them,
    // from the first, were the machine's sign to start (mode "3": its first
    // byte); the rest are not the send's.
    qsizetype feed(const QByteArray &received) override;
    // Modes "3" and "4": the machine has not yet asked for the data.
    bool waitsForMachine() const override { return m_state == State::StartWait; }

    SendProgress progress() const override { return m_progress; }
    // The program as the send took it.
    const Program &program() const override { return m_program; }
    // The line being sent (0-based), or -1 before the first.
    int currentLine() const override { return m_line - 1; }
    // The program's lines: a last empty line after a final line end is no
    // line of its own.
    int lineCount() const override;
    // The program's bytes handed to the port (ends of block as written, no
    // run-out), and the lines handed to it whole.
    qint64 bytesSent() const override { return m_out.bytesSent(); }
    int linesSent() const override { return m_linesSent; }

private:
    // Where the send is. Every change between these is made in sendjob.cpp.
    enum class State {
        Idle,
        StartWait, // modes "3" and "4": the machine speaks first
        LineStart, // at a line boundary
        Paused,    // at a line boundary while paused
        Pacing,    // the port drains and the block delay runs, or streaming, it is fed
        Sending,   // a line, or the run-out, goes to the port
        Held,      // the machine's DC3 holds the output
        RunOut,    // the last line drains, then the NULs are written
        Clearing,  // the NULs leave the port
        Stopping,  // stopped: what the port was given goes out whole
        Ending,    // the last of what the machine sends is discarded
        Done,
    };

    void step();
    bool stepOnce(); // false when the job waits for something
    void applyStop();
    void toStopping();
    void dropOutput();
    void startLine();
    bool afterWrite(SendOutput::Result result);
    void lineDone();
    qint64 measure(int line) const;
    bool sleep(qint64 ns);
    bool waitsForDrain() const;
    void report(SendPhase phase, int value, int maximum, const QString &text, bool held = false);
    SendWait waitReason() const;
    void reportLines();
    void reportClearing();
    void reportStopping(bool held);
    void finish();

    SerialPort &m_port;
    Timer *m_timer;
    Timer *m_purge;
    const Program m_program;
    const SendSettings m_settings;
    const bool m_bounded; // the send obeys DC3 itself: little may wait in the port
    LinePace m_pace;
    SendOutput m_out;
    FlowWatch m_flow;
    LineHold m_lineHold;

    State m_state = State::Idle;
    bool m_inStep = false;
    bool m_stop = false;
    bool m_discard = false; // a second stop: drop what the machine holds
    bool m_paused = false;
    bool m_lost = false;
    SendOutcome m_answered = SendOutcome::Completed; // the control's SYN or NAK

    qint64 m_divisor = 1;
    int m_line = 0;
    qint64 m_counted = 0;
    qint64 m_toCount = 0; // what m_counted comes to when the last line is done
    int m_linesSent = 0;
    SendOutcome m_outcome = SendOutcome::Completed;
    SendProgress m_progress;
};
