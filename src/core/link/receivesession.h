#pragma once

#include <QByteArray>
#include <QObject>

class Clock;
class Timer;

// What a machine punches out, made into text for the received-data editor.
//
// The strip byte (the machine's receive option) is removed from everything
// received. Text is handed on in pieces at most every ShowEveryMs; a piece
// that ends in a line end or another control character is held back until
// more data comes, so a CR LF pair is never split. A burst ends after
// SilenceMs without data; then everything held back goes out.
class ReceiveSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int ShowEveryMs = 40;
    static constexpr int SilenceMs = 500;

    explicit ReceiveSession(Clock &clock, QObject *parent = nullptr);

    void setStripByte(char strip) { m_strip = strip; }
    void feed(const QByteArray &bytes);
    // Hands on at once everything held back (the receive ends, its text
    // stays).
    void flush();
    // Drops what was received and not handed on yet (the text it belonged
    // to is gone), and ends the burst.
    void discard();
    // True from the first byte of a burst until the silence after it.
    bool inBurst() const;

signals:
    // Text to add at the end of the received data, one character per byte.
    void text(const QByteArray &bytes);
    void burstEnded();

private:
    void handOn(bool all);
    void endBurst();

    Timer *m_show;
    Timer *m_silence;
    QByteArray m_pending;
    char m_strip = '\0';
};
