#pragma once

#include "sim/simprotocol.h"

// A control that speaks XMODEM, as Haas controls offer it: 128-byte blocks
// with an arithmetic checksum, or a CRC-16 when it asks with "C".
//
// Idle, it is ready to take a program: it asks with NAK ("C" with CRC)
// every AskMs until the first block comes, ACKs each good block, NAKs a bad
// one, and at EOT hands over what came with the padding (SUB) at its end
// removed. Sending, it waits for the PC's NAK or "C", then sends the blocks
// one by one as each is ACKed, and EOT.
class SimXmodem : public SimProtocol
{
    Q_OBJECT
public:
    static constexpr int AskMs = 3000;     // between two asks while idle
    static constexpr int ByteMs = 1000;    // a block stalled this long is given up
    static constexpr int AnswerMs = 10000; // for the PC's answer to a block
    static constexpr int FirstAskMs = 60000;
    static constexpr int Tries = 10;

    SimXmodem(Clock &clock, const SimFaults &faults, bool crc, QObject *parent = nullptr);

    void fromPc(const QByteArray &bytes) override;
    bool send(const QString &name, const QByteArray &bytes) override;
    bool busy() const override { return m_state != State::Asking; }

    static quint16 crc16(QByteArrayView bytes);
    static char checksum(QByteArrayView bytes);
    // Block `n` (from 1) of `data`, padded, framed and summed.
    static QByteArray block(const QByteArray &data, int n, bool crc);

private:
    enum class State { Asking, Taking, AwaitingAsk, AwaitingAck, AwaitingEotAck };
    void take(char c);
    void frameDone();
    void answer(char c);
    void nak(const QString &why);
    void timedOut();
    void sendBlock();
    void ask();
    // Says `line` and is ready to take a program again.
    void endWith(const QString &line);

    State m_state = State::Asking;
    bool m_crc;
    QByteArray m_frame, m_data;
    int m_blocks = 0, m_repeated = 0, m_tries = 0;
    QString m_name; // of the program sent
    QByteArray m_out;
};
