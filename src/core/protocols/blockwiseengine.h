#pragma once

#include "core/protocols/blockwiseframe.h"
#include "core/protocols/protocoltransfer.h"

class Clock;
class Timer;

// What the blockwise sender and receiver share: the control's bytes cut
// into events, the one wait for the control (its words when it runs out),
// the writes that end the transfer when the port refuses them, and the
// count of what was done.
class BlockwiseEngine : public ProtocolTransfer
{
    Q_OBJECT
public:
    void feed(const QByteArray &bytes) override;
    void portLost() override { finish(ProtocolOutcome::PortLost); }

    qint64 bytesDone() const override { return m_bytesDone; }
    int linesDone() const override { return m_linesDone; }
    bool isRunning() const override { return m_running; }
    QString why() const override { return m_why; }

protected:
    // Waits of `waitMs` for the control, ended with `late` as the reason.
    BlockwiseEngine(Clock &clock, Writer writer, qint64 waitMs, QString late, QObject *parent);

    // One event of what the control sent, while the transfer runs.
    virtual void take(const Blockwise::Event &event) = 0;
    // The control sent something (before its events are taken).
    virtual void heard() {}

    // Starts running; false when it ran already.
    bool begin();
    // Writes while running and waits for the control afresh.
    void write(const QByteArray &bytes);
    void waitAgain();
    void stopWaiting();
    void finish(ProtocolOutcome outcome, const QString &why = {});

    bool m_running = false, m_paused = false;
    qint64 m_bytesDone = 0;
    int m_linesDone = 0;

private:
    Writer m_writer;
    Blockwise::Reader m_reader;
    Timer *m_wait;
    qint64 m_waitMs;
    bool m_begun = false;
    QString m_why;
};
