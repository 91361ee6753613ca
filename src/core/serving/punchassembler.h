#pragma once

#include <QByteArray>
#include <QObject>

class Clock;
class Timer;
namespace Controls
{
struct Family;
}

// Cuts what a served machine sends into programs, by the framing of the
// control family each program's first line shows (see Controls::Family).
//
// Between programs, leader (NUL), DC1..DC4, line ends (CR, LF) and the
// machine's end code are passed over: they are what a tape carries before a
// program and after its end; so is, after an Okuma program, the line of
// "%" that ends the transfer ("%%"). A program starts at the start of a line
// that a family claims, and ends where its family says: "%" framing at the
// next "%", Siemens at the next header, Heidenhain with its END PGM line,
// Okuma at its "%" line, inclusive. Any program also ends with the end
// code, inclusive (the byte that starts a program never ends it), or after
// SilenceMs without data; a program ended by silence leaves out its
// trailing leader and DC codes (counted as passed over). The strip byte is
// removed from everything first. No other byte is changed, added or left
// out.
//
// Bytes that start no program (a network serial server's greeting at each
// connection, line noise) are not kept: from the first of them to the
// start of the next program, silence or cut() they are counted and handed
// on by dropped(), with their first ShownBytes, never as a program.
//
// A program is kept up to `maxBytes`: past them the rest of it is only
// counted, to its end as usual, so that neither memory nor a disk fills up
// with a control punching without end. It is then handed on by tooLarge(),
// never as a whole program.
class PunchAssembler : public QObject
{
    Q_OBJECT
public:
    static constexpr int SilenceMs = 3000;
    static constexpr qsizetype MaxBytes = 16 * 1024 * 1024;
    static constexpr int ShownBytes = 40;
    // How much of a program's start name() looks at for its name.
    static constexpr qsizetype NamedBytes = 1024;

    explicit PunchAssembler(Clock &clock, qsizetype maxBytes = MaxBytes, QObject *parent = nullptr);

    void setStripByte(char strip) { m_strip = strip; }
    // The machine's end code as its setting holds it: a decimal byte code,
    // or empty (or anything else) for none.
    void setEndCode(const QString &decimal);
    void feed(const QByteArray &bytes);
    // Ends what is in progress now, as silence would.
    void finish();
    // Ends the program in progress now as one cut off (the program ends, the
    // line is lost): it is handed on by cutOff() (or tooLarge()), never as a
    // whole program. What started none is dropped.
    void cut();

    bool inPunch() const { return m_state != State::Between; }
    // Bytes are held: a program, a line not judged yet, or what is no program.
    bool holding() const { return inPunch() || !m_held.isEmpty() || m_noise > 0; }
    // Bytes of the program in progress so far, those left out included.
    qint64 size() const { return inPunch() ? m_punch.size() + m_leftOut + m_held.size() : 0; }
    // The program in progress has passed the bound.
    bool overflowing() const { return m_leftOut > 0; }
    // The name the program in progress will be saved under, once its
    // complete first lines show one; empty before, and for none.
    QByteArray name() const;
    // Bytes passed over so far, stripped ones not counted.
    qint64 passedOver() const { return m_passed; }

signals:
    void punched(const QByteArray &program);
    // A program that did not come to its end: what had arrived of it.
    void cutOff(const QByteArray &program);
    // A program that passed the bound, at its end: its first maxBytes, and
    // how many bytes after them were left out.
    void tooLarge(const QByteArray &program, qint64 leftOut);
    // Bytes that started no program: how many, and the first ShownBytes.
    void dropped(qint64 bytes, const QByteArray &head);
    // Silence came (or finish()), or a family's mark that ends a transfer.
    void transferEnded();
    // A program started, grew or ended: inPunch() and size() tell how far.
    void changed();

private:
    enum class State { Between, Program, Closing };
    bool isEndCode(char c) const { return m_end >= 0 && c == char(m_end); }
    void take(char c);
    void between(char c);
    void inProgram(char c);
    void closing(char c);
    void start(const Controls::Family *family, const QByteArray &line);
    void store(char c);
    // Stores a byte of the program's, and ends it where its family says.
    void keep(char c);
    void keepHeld();
    void addNoise(QByteArrayView bytes);
    void endNoise();
    // Ends the line being judged as complete, without a line end.
    void settle();
    // The program in progress is over: handed on whole or as cut off.
    void hand(bool whole = true);

    Timer *m_silence;
    qsizetype m_max;
    QByteArray m_punch;
    qint64 m_leftOut = 0;
    State m_state = State::Between;
    const Controls::Family *m_family = nullptr;
    QByteArray m_held; // the line being judged, from its start
    QByteArray m_line; // the program's current line, its first bytes
    bool m_lineStart = true;
    bool m_afterCr = false;
    // After a program whose family ends a transfer with "%" (Armed), and
    // while such a mark's line comes (Passing).
    enum class Mark { None, Armed, Passing };
    Mark m_mark = Mark::None;
    qint64 m_noise = 0;
    QByteArray m_noiseHead;
    qint64 m_passed = 0;
    int m_end = -1;
    char m_strip = '\0';
};
