#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class Program;

enum class SendPhase {
    StartWait, // modes "3" and "4", or a protocol's receiver: waiting for the machine to speak first
    Lines,
    Clearing,  // the run-out of NULs is leaving the port
    Stopping,  // stopped: what the port was given goes out whole
    Done,
};
// Failed: a protocol's peer gave up, or did not answer; why() says which.
// Failed: a protocol's peer gave up (why() says how). ControlReset,
// ControlAlarm: a remote-buffer control answered SYN or NAK.
enum class SendOutcome { Completed, Stopped, PortLost, Failed, ControlReset, ControlAlarm };

// What the transmit bar shows of a send.
// Why a send waits, if it does.
enum class SendWait {
    None,
    Pause,        // the user's Pause, at a line boundary
    Xoff,         // the machine's DC3 (XOFF)
    Cts,          // the machine holds CTS low (RTS/CTS handshake)
    Dsr,          // the machine holds DSR low (DTR/DSR handshake)
    MachineFirst, // modes "3" and "4": the machine has not spoken yet
};

struct SendProgress {
    SendPhase phase = SendPhase::Lines;
    int value = 0;
    int maximum = 100;
    QString text;      // "37%", "05 %" while clearing, "100%" at the end
    bool held = false; // stopping, but the machine holds the line
    SendWait wait = SendWait::None;
    int line = 0;        // the line being sent, from 1; 0 before the first
    int lines = 0;       // the program's lines
    int sent = 0;        // the lines sent whole, from the start line on
    // How much of this send has gone, 0 to 100: its lines from the start
    // line on, then the run-out, as one whole.
    int percent = 0;
    qint64 leftMs = 0;   // the time the rest takes at the line's own rate
    bool operator==(const SendProgress &) const = default;
};

// One send of a program to a machine, as everything outside the link sees
// it, whatever carries it on the line (plain lines, or a block protocol):
// the views, the transfer log, the served role and the command line know
// only this.
class SendTransfer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void start() = 0;
    // Stops at a whole block; a second call discards what the machine holds.
    virtual void stop() = 0;
    virtual void setPaused(bool paused) = 0;
    virtual bool isPaused() const = 0;
    virtual bool isRunning() const = 0;
    // Bytes the machine sent while the send runs. Returns how many of them,
    // from the first, were the send's own (its start sign, or the protocol's
    // answers); the rest are not the send's.
    virtual qsizetype feed(const QByteArray &received) = 0;
    // The machine has not yet asked for the data.
    virtual bool waitsForMachine() const = 0;

    virtual SendProgress progress() const = 0;
    // The program as the send took it.
    virtual const Program &program() const = 0;
    // The line being sent (0-based), or -1 before the first.
    virtual int currentLine() const = 0;
    virtual int lineCount() const = 0;
    // The program's bytes handed to the port (or acknowledged), and the
    // lines so handed whole.
    virtual qint64 bytesSent() const = 0;
    virtual int linesSent() const = 0;
    // Why a send ended as Failed, in words for the user and the log.
    virtual QString why() const { return {}; }

signals:
    void progressChanged(const SendProgress &progress);
    // A line starts: the line now being sent.
    void lineStarted(int line);
    // The send waits at a line (Pause, or the machine's DC3).
    void holding(int line);
    void finished(SendOutcome outcome);
};
