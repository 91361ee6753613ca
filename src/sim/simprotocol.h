#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class Clock;
class Timer;

// Faults the control stages on purpose, for seeing how the PC copes.
struct SimFaults {
    int corruptBlock = 0; // this block (from 1) is damaged once, going out or coming in
    int nak = 0;          // the first this many blocks that come in are answered NAK
    bool silent = false;  // it takes nothing and answers nothing
};

// The control's side of a block protocol: fed what the PC sends, writing
// through toPc, timed by the clock. It says each event in one line (report)
// and hands over each program it took whole (received).
class SimProtocol : public QObject
{
    Q_OBJECT
public:
    // The most a program taken in blocks may hold.
    static constexpr qsizetype MaxProgram = 64 * 1024 * 1024;

    SimProtocol(Clock &clock, const SimFaults &faults, QObject *parent = nullptr);

    std::function<void(const QByteArray &)> toPc;
    virtual void fromPc(const QByteArray &bytes) = 0;
    // Sends `bytes` as the program `name`; false (and reported) when busy.
    virtual bool send(const QString &name, const QByteArray &bytes) = 0;
    virtual bool busy() const = 0;

signals:
    void report(const QString &line);
    // A program taken whole, and how: "12 blocks, 1 repeated".
    void received(const QByteArray &program, const QString &how);

protected:
    // Whether block `n` (from 1) coming in is to be taken as damaged: the
    // first NAKs asked for, then the one block once. Says so.
    bool faultIn(int n);
    // Whether block `n` going out is to be damaged (once).
    bool faultOut(int n);
    static QString blocks(int count, int repeated);
    void write(const QByteArray &bytes);

    Clock &m_clock;
    Timer *m_timer;
    SimFaults m_faults;
    int m_naksGiven = 0;
    bool m_corrupted = false;
};
