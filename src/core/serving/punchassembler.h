#pragma once

#include <QByteArray>
#include <QObject>

class Clock;
class Timer;

// Cuts what a served machine sends into punches, one program each.
//
// Between punches, leader (NUL), DC1..DC4, line ends (CR, LF) and the
// machine's end code are passed over: they are what a tape carries before a
// program and after its end. A punch starts at the first other byte. A punch
// whose first byte is "%" is framed: the next "%" ends it, inclusive. Any
// punch also ends with the end code, inclusive (the byte that starts a punch
// never ends it), or after SilenceMs without data; a punch ended by silence
// leaves out its trailing leader and DC codes. The strip byte is removed from
// everything first. No other byte is changed, added or left out.
//
// A punch is kept up to `maxBytes`: past them the rest of it is only
// counted, to its end as usual, so that neither memory nor a disk fills up
// with a control punching without end. It is then handed on by tooLarge(),
// never as a whole punch.
class PunchAssembler : public QObject
{
    Q_OBJECT
public:
    static constexpr int SilenceMs = 3000;
    static constexpr qsizetype MaxBytes = 16 * 1024 * 1024;

    explicit PunchAssembler(Clock &clock, qsizetype maxBytes = MaxBytes, QObject *parent = nullptr);

    void setStripByte(char strip) { m_strip = strip; }
    // The machine's end code as its setting holds it: a decimal byte code,
    // or empty (or anything else) for none.
    void setEndCode(const QString &decimal);
    void feed(const QByteArray &bytes);
    // Ends the punch in progress now, as silence would.
    void finish();
    // Ends the punch in progress now as one cut off (the program ends, the
    // line is lost): it is handed on by cutOff() (or tooLarge()), never as a
    // whole punch.
    void cut();

    bool inPunch() const { return m_state != State::Between; }
    // Bytes of the punch in progress so far, those left out included.
    qint64 size() const { return m_punch.size() + m_leftOut; }
    // The punch in progress has passed the bound.
    bool overflowing() const { return m_leftOut > 0; }

signals:
    void punched(const QByteArray &program);
    // A punch that did not come to its end: what had arrived of it.
    void cutOff(const QByteArray &program);
    // A punch that passed the bound, at its end: its first maxBytes, and
    // how many bytes after them were left out.
    void tooLarge(const QByteArray &program, qint64 leftOut);
    // A punch started, grew or ended: inPunch() and size() tell how far.
    void changed();

private:
    enum class State { Between, Open, Framed };
    bool isEndCode(char c) const { return m_end >= 0 && c == char(m_end); }
    bool passedOver(char c) const;
    void take(char c);
    void hand(State next);

    Timer *m_silence;
    qsizetype m_max;
    QByteArray m_punch;
    qint64 m_leftOut = 0;
    State m_state = State::Between;
    int m_end = -1;
    char m_strip = '\0';
};
