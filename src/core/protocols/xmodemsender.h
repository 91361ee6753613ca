#pragma once

#include "core/protocols/protocoltransfer.h"

#include <QList>

class Clock;
class Timer;

// Sends a program by XMODEM. The receiver drives it: the sender waits up
// to StartWaitMs for its NAK (8-bit sums) or "C" (CRC-16), then sends
// 128-byte blocks, each again on NAK (or no answer within AnswerMs), up to
// MaxRetries times before it gives up and cancels; the last block is
// padded with SUB; EOT ends it, sent again until the receiver ACKs it. CAN
// CAN from the receiver cancels; stop() sends CAN CAN. Paused, it holds
// before the next block.
class XmodemSender : public ProtocolTransfer
{
    Q_OBJECT
public:
    static constexpr int StartWaitMs = 60'000;

    // `lineEnds`: where each of the program's lines ends in `bytes`, for
    // linesDone().
    XmodemSender(QByteArray bytes, QList<qint64> lineEnds, Writer write, Clock &clock,
                 QObject *parent = nullptr);

    void start() override;
    void feed(const QByteArray &bytes) override;
    void stop() override;
    void setPaused(bool paused) override;
    void portLost() override;

    qint64 bytesDone() const override { return m_acked; }
    qint64 bytesTotal() const override { return m_bytes.size(); }
    int linesDone() const override;
    bool isRunning() const override { return m_state != State::Idle && m_state != State::Done; }
    bool waitsForPeer() const override { return m_state == State::Asked; }
    QString why() const override { return m_why; }

private:
    enum class State { Idle, Asked, Block, Held, Eot, Done };

    void answer(char c);
    void sendBlock();
    void sendEot();
    void retry(const QString &what);
    void fail(const QString &why, bool tellPeer);
    void finish(ProtocolOutcome outcome);

    const QByteArray m_bytes;
    const QList<qint64> m_lineEnds;
    Writer m_write;
    Timer *m_timer;
    State m_state = State::Idle;
    bool m_crc = false;
    bool m_paused = false;
    bool m_lastCan = false;
    int m_retries = 0;
    qint64 m_acked = 0;
    QString m_why;
};
