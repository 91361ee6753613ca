#pragma once

#include "core/config/machineconfig.h"
#include "core/machines/machinestate.h"
#include "core/programs/loadedprogram.h"
#include "core/programs/programqueue.h"
#include "core/serving/punchstore.h"

#include <QObject>
#include <memory>
#include <optional>

class Clock;
class Link;
class PortList;
class SendTransfer;
class SerialPort;
class ServedMachine;
class Timer;

// One machine tool, whole: its configuration as last applied, its link
// (and so its port), its served role, its queue, its loaded program, the
// punches waiting to be saved and its own timers. It lives while the
// machine is on the panel, whatever slot shows it.
//
// Every change reaches the machine through change(): applied at once when
// nothing runs on it, otherwise kept and applied as soon as it is idle, so
// that no change ever cuts a send or a punch coming in.
class Machine : public QObject
{
    Q_OBJECT
public:
    // A served machine's port that cannot be opened is tried again so often.
    static constexpr int RetryPortMs = 5000;
    // Punches that could not be saved are tried again so often.
    static constexpr int RetrySaveMs = 10000;

    Machine(MachineId id, const MachineConfig &config, std::shared_ptr<SerialPort> port,
            PortList &ports, Clock &clock, QObject *parent = nullptr);
    ~Machine() override;

    MachineId id() const { return m_id; }
    // The configuration in force; a change waiting is not, yet.
    const MachineConfig &config() const { return m_applied; }
    static bool servedMode(const MachineConfig &config);
    Link &link() const { return *m_link; }
    ServedMachine *served() const { return m_served.get(); }
    ProgramQueue &queue() { return m_queue; }
    LoadedProgram &program() { return m_program; }
    const MachineState &state() const { return m_state; }

    // Something of its own runs: a send, a receive, Port Scan, a punch
    // coming in, or served answers waiting or going out.
    bool transferring() const;
    // Applies `next` now when the machine is idle (true), otherwise as soon
    // as it is (false; the state says a change waits). The last change
    // given is the one applied.
    bool change(const MachineConfig &next);
    // The machine leaves: serving stops taking requests, and retired() is
    // emitted once nothing runs on it any more.
    void retire();
    bool isRetiring() const { return m_retiring; }
    // The program ends: the punch coming in is kept as incomplete, a send
    // stops at a whole block (called again: drops what the machine holds),
    // no more requests are answered. Returns the answers left unsent.
    int shutDown();
    // Punches still waiting for their folder, saved in `folder` instead
    // (made for the user only; refused when it is not the user's own
    // folder); the lines that tell where each went, or why not.
    QStringList keepUnsavedIn(const QString &folder);

signals:
    void stateChanged(MachineId id);
    // Whoever records transfers watches its served role.
    void servedCreated(ServedMachine *served);
    // A punch that had waited was saved at a later try.
    void punchSavedLater(MachineId id, const QString &path);
    // Nothing runs on the machine any more (after a transfer, a punch).
    void becameIdle(MachineId id);
    void retired(MachineId id);
    // A send started on its link: the user's, or the served role's own.
    void sendStarted(MachineId id, SendTransfer *job);
    // Something the user must be told, one line: a leftover temporary file
    // removed from the folder when serving started.
    void notice(const QString &line);

private:
    void apply(const MachineConfig &next);
    void fitServing();
    void openServedPort();
    void retrySaves();
    void settle();
    void settleNow();
    void refresh();

    const MachineId m_id;
    Clock &m_clock;
    MachineConfig m_applied;
    std::optional<MachineConfig> m_pending;
    std::unique_ptr<Link> m_link;
    std::unique_ptr<ServedMachine> m_served;
    ProgramQueue m_queue;
    LoadedProgram m_program;
    PunchStore m_punches;
    Timer *m_retryPort;
    Timer *m_retrySaves;
    // Changes and the leaving are made from the event loop, never from
    // inside a signal of the role or link they replace.
    Timer *m_settle;
    bool m_retiring = false;
    bool m_shutDown = false;
    MachineState m_state;
};
