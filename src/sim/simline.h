#pragma once

#include <QByteArray>
#include <QObject>
#include <limits>

class Clock;
class SimControl;
class Timer;

// The serial line from the PC to the control. What the transport reads waits
// here and reaches the control one character time apart, as it would on a
// wire (a pseudo-terminal or a socket carries it at once). Where the PC's
// side obeys XON/XOFF (its port, or the serial server), the control's DC3
// stops the line after the character in flight and its DC1 starts it again:
// what waits here then is what the PC's driver would have held back.
class SimLine : public QObject
{
    Q_OBJECT
public:
    // The most that waits here; the transport stops reading at it, so the
    // PC's own buffers fill and its writes wait.
    static constexpr qsizetype MaxQueued = 4096;

    SimLine(Clock &clock, SimControl &control, QObject *parent = nullptr);

    void setCharacterNs(qint64 ns) { m_charNs = qMax<qint64>(1, ns); }
    void setObeysXon(bool obeys);
    qsizetype room() const { return MaxQueued - queued(); }
    qsizetype queued() const { return m_queue.size() - m_head; }

    // Bytes the PC wrote, at most room() of them.
    void add(const QByteArray &bytes);
    // The control sent these to the PC at `ns`.
    void controlSent(const QByteArray &bytes, qint64 ns);

signals:
    // Bytes the control took into its buffer (not those it lost).
    void taken(const QByteArray &bytes);
    // room() grew from nothing: the transport may read again.
    void roomAgain();

private:
    static constexpr qint64 Never = std::numeric_limits<qint64>::max();
    void startNext(qint64 ns);
    void advance();

    Clock &m_clock;
    SimControl &m_control;
    Timer *m_timer;
    QByteArray m_queue;
    qsizetype m_head = 0;
    qint64 m_doneNs = Never; // when the character on the line arrives
    qint64 m_charNs = 10'000'000'000 / 9600; // 9600 baud, 10 bits a character
    bool m_obeysXon = false;
    qint64 m_stopNs = Never; // from when no character may start
};
