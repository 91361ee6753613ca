#pragma once

#include "sim/simprotocol.h"

#include <QList>

// A control that moves programs blockwise, as Heidenhain controls do: a
// header block SOH, the file code (H plain language, D ISO), the name and E
// (into the control) or A (out of it), ETB and BCC; then one line a block,
// STX line ETB BCC; ETX and EOT at the end. The BCC is the XOR of every
// character from SOH or STX through ETB. Each block is answered ACK or NAK;
// one is repeated at most Repeats times. A block SOH text ETB BCC from the
// PC that is no header is its error text.
//
// Lines go without their line end; a line taken gets LF.
class SimBlockwise : public SimProtocol
{
    Q_OBJECT
public:
    static constexpr int Repeats = 3;
    static constexpr int AnswerMs = 5000; // for the PC's answer to a block
    static constexpr int ByteMs = 2000;   // a block stalled this long is dropped
    static constexpr qsizetype MaxBlock = 1024;

    SimBlockwise(Clock &clock, const SimFaults &faults, QObject *parent = nullptr);

    void fromPc(const QByteArray &bytes) override;
    // Punches a program out: header with A, then its lines.
    bool send(const QString &name, const QByteArray &bytes) override;
    bool busy() const override { return m_state != State::Idle; }
    // Asks the PC for a program (header with E) and takes it.
    bool request(const QString &name);
    // Asks the PC for its directory (the name a pattern, "*" at least).
    bool directory(const QString &pattern);

    static char bcc(QByteArrayView from);
    // STX or SOH, `text`, ETB, BCC.
    static QByteArray frame(char start, const QByteArray &text);

private:
    enum class State { Idle, Asking, Taking, Sending };
    void take(char c);
    void frameDone(const QByteArray &frame);
    void header(const QByteArray &text);
    void dataBlock(const QByteArray &text);
    void answer(char c);
    void sendNext();
    void repeat(const QString &why);
    void again(const QString &why);
    void timedOut();
    bool start(const QByteArray &header, bool listing);
    void endWith(const QString &line);

    State m_state = State::Idle;
    QByteArray m_frame;
    bool m_inFrame = false, m_bccNext = false;
    bool m_listing = false, m_etx = false;
    int m_block = 0, m_repeated = 0, m_tries = 0;
    QByteArray m_data, m_header;
    QList<QByteArray> m_lines; // to send, m_block of them sent
    QString m_name;
};
