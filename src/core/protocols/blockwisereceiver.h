#pragma once

#include "core/protocols/blockwiseengine.h"

// Takes a program out of the control. The control's header (SOH, code,
// name, 'A') comes first, then a data block per line, ETX and EOT. Each
// good block is acknowledged and its line handed on through data()
// with the line end the receiver is made with (CR LF, as Heidenhain's
// programs are kept on a PC, unless told otherwise); a damaged or too long
// block is NAKed, and the third in a row ends the transfer ("three blocks in
// a row were damaged"). It ends as well when the control is silent for
// SilenceMs ("the control sent nothing for 30 s"), when the program passes
// MaxProgram ("the program is larger than 16 MB") and when EOT comes before
// ETX ("the control ended the transfer before the end of the program").
// The punch is saved under name().
class BlockwiseReceiver : public BlockwiseEngine
{
    Q_OBJECT
public:
    BlockwiseReceiver(Clock &clock, Writer writer, QByteArray lineEnd = "\r\n",
                      QObject *parent = nullptr);

    // The header's name and file code, once it came.
    QByteArray name() const { return m_name; }
    char code() const { return m_code; }

    void start() override;
    void stop() override;
    void setPaused(bool paused) override;

    static constexpr qint64 SilenceMs = 30'000;
    static constexpr int MaxDamaged = 3;

private:
    void take(const Blockwise::Event &event) override;
    void heard() override
    {
        if (m_header) waitAgain();
    }
    void accept(const Blockwise::Event &event);
    void answer(char byte);

    QByteArray m_lineEnd;
    QByteArray m_name;
    char m_code = 0;
    bool m_header = false, m_ended = false;
    char m_owed = 0; // the answer held while paused
    int m_damaged = 0;
};
