#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

// How a transfer framed by a protocol with a checksum per block ended.
enum class ProtocolOutcome {
    Completed, // every block acknowledged (sending) or taken (receiving), and the end agreed
    Stopped,   // the user (or the program's stop) ended it; the peer was told
    Failed,    // the peer gave up, or too many retries, or no answer in time: why() says which
    PortLost,  // the line went away
};

// One transfer in a block protocol (XMODEM, blockwise), one side of it. An
// engine knows nothing of ports or links: the link gives it what the
// machine sends through feed() and lets it write through the writer it is
// made with; every wait goes through the Clock it is given. Sending engines
// are made with the program's bytes; receiving engines hand on the
// program's text through data(), whole blocks only, nothing of the framing.
class ProtocolTransfer : public QObject
{
    Q_OBJECT
public:
    // Writes to the line; false when the port would not take the bytes.
    using Writer = std::function<bool(const QByteArray &)>;

    using QObject::QObject;

    virtual void start() = 0;
    // What the machine sent, as it came.
    virtual void feed(const QByteArray &bytes) = 0;
    // Ends the transfer at a block boundary and tells the peer so.
    virtual void stop() = 0;
    // Holds before the next block (a sender), or stops acknowledging (a receiver).
    virtual void setPaused(bool paused) { Q_UNUSED(paused); }
    virtual void portLost() = 0;

    // The program's bytes sent and acknowledged, or taken; and of how many
    // (0 for a receiver, who cannot know).
    virtual qint64 bytesDone() const = 0;
    virtual qint64 bytesTotal() const { return 0; }
    // The program's lines done so far (whole lines only).
    virtual int linesDone() const = 0;
    virtual bool isRunning() const = 0;
    // A sender that has not been asked for the data yet (the receiver
    // speaks first).
    virtual bool waitsForPeer() const { return false; }
    // Why it failed, in words for the user and the log ("the control answered NAK three times").
    virtual QString why() const { return {}; }

signals:
    // bytesDone() or linesDone() moved on.
    void progressed();
    // A receiver: more of the program's text, as the machine sent it.
    void data(const QByteArray &text);
    void finished(ProtocolOutcome outcome);
    // A receiver: the peer does not send a program but asks for one by
    // `name`, or for the folder (`name` empty); the answer is a send that
    // answers it. The engine ends (completed) after this.
    void asked(const QByteArray &name, bool byHeader);
};
