#pragma once

#include "core/config/vocabulary.h"
#include "core/ports/serialport.h"
#include "core/tapecode/eiacode.h"

class Clock;
class Timer;

// A port in a machine's tape code, over the port that carries the bytes.
// In ISO every byte passes as it is. In EIA what is written goes out as
// EIA rows, byte for byte, and what comes in is read as EIA or ISO, each
// burst by its own holes (EiaCode::Decoder), so that everything above sees
// ISO text: the send, the receive, a served machine's punches. A burst
// ends after QuietMs without a byte; what the decision still holds back is
// passed on then.
class TapeCodePort : public SerialPort
{
    Q_OBJECT
public:
    TapeCodePort(SerialPort &line, Clock &clock, QObject *parent = nullptr);

    static constexpr int QuietMs = 500;

    // The code from now on; a change starts a new burst, nothing held lost.
    void setCode(TapeCode code);
    TapeCode code() const { return m_code; }
    // The port that carries the bytes.
    SerialPort &line() { return m_line; }

    bool open(const QString &name, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override { return m_line.isOpen(); }
    QString name() const override { return m_line.name(); }
    void apply(const LineSettings &settings) override { m_line.apply(settings); }
    LineSettings settings() const override { return m_line.settings(); }
    void flush(Direction which = Direction::Both) override;
    bool write(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override { return m_line.bytesToWrite(); }
    bool canChangeSettings() const override { return m_line.canChangeSettings(); }
    QString errorString() const override { return m_line.errorString(); }

private:
    void heard(const QByteArray &bytes);
    void endBurst();

    SerialPort &m_line;
    Timer *m_quiet;
    TapeCode m_code = TapeCode::Iso;
    EiaCode::Decoder m_decoder;
};
