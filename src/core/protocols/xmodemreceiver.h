#pragma once

#include "core/protocols/protocoltransfer.h"

class Clock;
class Timer;

// Receives a program by XMODEM. It asks with "C" (CRC-16) three times,
// AskMs apart, then with NAK (8-bit sums) every IdleAskMs for as long as it
// runs and no block has come: a line that listens keeps asking, so that a
// control may start a punch whenever its operator likes. Each whole block
// is ACKed and its data handed on at once, except a run of SUB at its end,
// held until more data shows it was the program's: SUB padding at the end
// of the transfer is removed. A block again (the same number) is ACKed and
// dropped; a damaged one is NAKed once the line has been quiet PurgeMs; a
// block that does not come whole after MaxRetries NAKs, one out of order,
// or a program past its bound end the transfer with CAN CAN. EOT is ACKed
// and ends it. Nothing but the one block coming in is buffered.
class XmodemReceiver : public ProtocolTransfer
{
    Q_OBJECT
public:
    static constexpr int AskMs = 3000;
    static constexpr int CrcAsks = 3;
    static constexpr int IdleAskMs = 10'000;
    static constexpr int PurgeMs = 1000;

    XmodemReceiver(Writer write, Clock &clock, qint64 maxBytes, QObject *parent = nullptr);

    void start() override;
    void feed(const QByteArray &bytes) override;
    void stop() override;
    void portLost() override;

    qint64 bytesDone() const override { return m_taken; }
    int linesDone() const override { return m_lines; }
    bool isRunning() const override { return m_state != State::Idle && m_state != State::Done; }
    QString why() const override { return m_why; }
    // Every byte fed is handed on, padding, framing, discarded, or in the
    // block coming in: their sum.
    qint64 accounted() const;

private:
    enum class State { Idle, Asking, Between, InBlock, Purging, Done };

    void take(char c);
    void header(char c);
    void blockDone();
    bool handOn(QByteArrayView bytes);
    void purge();
    void nak();
    void timedOut();
    void say(char c);
    void fail(const QString &why, bool tellPeer = true);
    void finish(ProtocolOutcome outcome);

    Writer m_write;
    Timer *m_timer;
    const qint64 m_maxBytes;
    State m_state = State::Idle;
    bool m_crc = true;
    bool m_lastCan = false;
    bool m_lastCr = false;
    int m_asks = 0;
    int m_retries = 0;
    int m_expected = 1; // the next block's number, mod 256
    qsizetype m_blockSize = 0;
    QByteArray m_block;
    qint64 m_taken = 0;
    qint64 m_subs = 0;    // trailing SUB held back
    qint64 m_padding = 0; // SUB found to be padding
    qint64 m_discarded = 0;
    int m_lines = 0;
    QString m_why;
};
