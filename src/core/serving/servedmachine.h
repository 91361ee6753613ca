#pragma once

#include "core/base/transfer.h"
#include "core/config/machineconfig.h"
#include "core/serving/programrequest.h"
#include "core/serving/punchassembler.h"
#include "core/serving/punchstore.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class Clock;
class Link;
class Timer;
enum class SendOutcome;

// A machine served from its control, with nobody at the PC.
//
// While nothing runs on its link, every byte the machine sends is cut into
// punches (the machine's strip byte and end code apply), each program by its
// control family's framing; what starts no program is dropped, and said so
// (dropped()). A punch that asks for a program is answered: the file is
// looked up in the machine's folder (MCFOLDER, with its extension MCEXTENS),
// read, started at the block asked for, and sent; where it cannot be, a
// one-comment reply that says why is sent instead, in the request's own
// framing. A listing asked for goes back the same way. A COMPARE marks the
// next punch, for CompareWaitMs: that punch is compared with the program of
// its name, not saved, and the answer sent back. Any other punch is saved
// in the folder by its program number or name, earlier versions kept,
// through the machine's punch store; a punch that cannot be saved waits
// there (the machine tries it again). A punch cut off (serving ends, the
// port is lost) is saved as incomplete.
//
// The control is heard while an answer waits for it or goes out, too: a
// program it punches meanwhile is saved, and a request is answered with a
// BUSY reply after the answer. Sends wait for one another and for a punch
// coming in. In mode "4" a send starts at once and waits for the control's
// DC1; in mode "3" once the line is quiet, for its first byte; in the others
// after StartDelayMs. An answer the control has not asked for within
// AnswerWaitMs is withdrawn. A punch is kept up to MaxPunchBytes; one that
// passes them is saved as incomplete, the rest counted. The port must be
// open on the machine's device; the owner of the link opens it.
class ServedMachine : public QObject
{
    Q_OBJECT
public:
    // In flow modes other than "3" and "4" the control does not ask for the
    // data: this gives the operator time, after punching a request, to
    // switch the control to read before the first byte arrives.
    static constexpr int StartDelayMs = 3000;
    // In mode "3" the send starts once the line has been quiet this long, so
    // that what follows the request (line ends, leader) does not start it.
    static constexpr int QuietMs = 1000;
    // Sends that may wait behind the one running; answers to more requests
    // than this are left out (and reported refused).
    static constexpr int MaxWaiting = 4;
    // Modes "3" and "4": how long an answer waits for the control to ask.
    static constexpr int AnswerWaitMs = 60'000;
    // The most of one punch kept, in memory and on the disk.
    static constexpr qsizetype MaxPunchBytes = 16 * 1024 * 1024;
    // A program asked for that is larger than this is refused (TOO LARGE),
    // unread: one request must not take the service's memory, nor hold the
    // other machines while it is read.
    static constexpr qint64 MaxRequestBytes = 16 * 1024 * 1024;
    // How long a COMPARE waits for the punch it marks to begin.
    static constexpr int CompareWaitMs = 60'000;

    enum class State {
        Listening,
        Receiving,         // a punch comes in: bytes() so far
        WaitingToSend,     // the start delay runs
        Sending,           // percent() of the send done
        WaitingForControl, // modes "3" and "4": the control has not spoken yet
    };

    ServedMachine(Link &link, const MachineConfig &machine, MachineId id, PunchStore &store,
                  Clock &clock, QObject *parent = nullptr);

    State state() const { return m_state; }
    qint64 bytes() const { return m_bytes; }
    int percent() const { return m_percent; }
    // While Receiving: the name the punch will be saved under, once it
    // shows one.
    const QString &punchName() const { return m_punchName; }
    // Nothing comes in, goes out or waits to go: the machine may change.
    bool isIdle() const;

    // Serving ends (the program is asked to stop): the punch coming in is
    // cut off and saved as incomplete, the running send stops at a whole block,
    // nothing waiting is sent and nothing punched from now on is answered.
    // Called again, a send still held by the machine drops what it holds.
    // Returns how many answers to requests, waiting to go, will not.
    int shutDown();
    // Bytes the control sent after shutDown(), which nothing took.
    qint64 ignored() const { return m_ignored; }

signals:
    // state(), bytes() or percent() changed.
    void stateChanged();
    // A punch ended (`outcome`: whole, or cut off; the transfer's note says
    // more, such as how much of it was left out) after it began at
    // `startedNs` on the clock: saved as `path`, or kept for a later try
    // because of `error`.
    void punchEnded(const Transfer &transfer, const QByteArray &punch, const QString &path,
                    const QString &error, SendOutcome outcome, qint64 startedNs);
    void saveFailed(const QString &reason);
    // Bytes that started no program were dropped: how many, and their
    // first PunchAssembler::ShownBytes.
    void dropped(const Transfer &transfer, qint64 bytes, const QByteArray &head);
    // A punch that had waited was saved on the way.
    void savedLater(const QString &path);
    // A request was answered with this file (its send is queued). A reply
    // to a request refused is queued the same way, unless MaxWaiting sends
    // wait already.
    void requestServed(const QString &requestedName, const QString &path);
    // Its reason says too whether a reply goes: a reply to a request
    // refused waits its turn, unless MaxWaiting answers wait already.
    void requestRefused(const QString &requestedName, const QString &reason);
    // What else a request was answered with: "sending a listing of 3
    // programs"; for a COMPARE, that the next punch is compared, and the
    // mark's lapse.
    void requestAnswered(const QString &asked, const QString &what);

private:
    struct Outgoing {
        QByteArray bytes;
        ProgramSource source;
        QString requested;
        QString refused;
    };
    void onReceived(const QByteArray &bytes);
    void onPunch(const QByteArray &punch);
    void onCutOff(const QByteArray &punch);
    void onTooLarge(const QByteArray &punch, qint64 leftOut);
    void serve(const ProgramRequest &request);
    void refuse(const ProgramRequest &request, Refusal reason, const QString &why = {});
    void list(const ProgramRequest &request);
    void compare(const QByteArray &punch);
    void lapse();
    bool mayEnqueue() const;
    bool enqueue(Outgoing out);
    void save(const QByteArray &punch, SendOutcome outcome, const QString &note = {});
    void pump();
    void dropQueue();
    void update();

    Link &m_link;
    const MachineConfig m_machine;
    const MachineId m_id;
    Clock &m_clock;
    PunchAssembler m_assembler;
    PunchStore &m_store;
    Timer *m_delay;
    Timer *m_answerWait;
    Timer *m_compareWait;
    std::optional<ProgramRequest> m_compare; // the COMPARE that marks the next punch
    bool m_compareLapsing = false;           // once the punch coming in ends
    bool m_delayDone = false;
    bool m_shutDown = false;
    SendOutcome m_cutAs;
    QString m_cutNote;          // why a protocol's transfer that carried the punch failed
    qint64 m_punchStartNs = -1; // none yet
    qint64 m_ignored = 0;
    QList<Outgoing> m_waiting;
    State m_state = State::Listening;
    qint64 m_bytes = 0;
    int m_percent = 0;
    QString m_punchName;
};
