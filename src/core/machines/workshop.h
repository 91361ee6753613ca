#pragma once

#include "core/link/link.h"
#include "core/machines/registry.h"
#include "core/config/machinetable.h"
#include "core/programs/loadedprogram.h"
#include "core/programs/programqueue.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

class ConfigStore;
class Machine;
class Program;
class ServedMachine;

// The window's attended session over the machines: the selection, the
// user's own send, receive and Port Scan, and what RX-Edit and Port Scan
// show; the machines themselves are the registry's. Every command a view
// offers comes here; the views show what it reports.
//
// A machine is shown in a slot, 1 to count(); its MachineId stays the same
// while the program runs, whatever is added or deleted before it.
class Workshop : public QObject
{
    Q_OBJECT
public:
    using PortFactory = MachineRegistry::PortFactory;

    enum class AddResult { Added, Full, Busy, NotSaved };
    enum class UpdateResult { Saved, Waiting, Busy, NotSaved, ReservedName };
    enum class RenameResult { Renamed, Unchanged, ReservedName, NotSaved };
    enum class RemoveResult { Removed, Busy, NotSaved };
    enum class ScanSaveResult { Saved, Incomplete, NoMachine, NotSaved };
    enum class SendResult { Started, NoProgram, NothingAfterPointer, NoMachine, NoPort, Busy };
    enum class ScanResult { Started, Refused, FixedSettings };

    Workshop(ConfigStore &config, PortFactory makePort, PortList &ports, Clock &clock,
             QObject *parent = nullptr);
    // Every machine's link on this one port, which the caller keeps.
    static PortFactory onePort(SerialPort &port)
    {
        return [&port] { return std::shared_ptr<SerialPort>(&port, [](SerialPort *) {}); };
    }
    ~Workshop() override;

    MachineRegistry &registry() { return m_registry; }
    ConfigStore &config() { return m_registry.config(); }
    PortList &portList() { return m_registry.portList(); }
    Clock &clock() { return m_registry.clock(); }
    // What the configuration file holds; each machine may still be on
    // what it applied last (a change waits while it transfers).
    const MachineTable &machines() const { return m_registry.table(); }
    // 0 when no machine is selected.
    int selected() const { return m_selected; }
    const MachineConfig &selectedMachine() const;

    Machine *machineAt(int slot) const { return m_registry.at(slot); }
    MachineId idAt(int slot) const;
    // The slot machine `id` is shown in; 0 when there is no such machine.
    int slotOf(MachineId id) const { return m_registry.slotOf(id); }
    // Machine `slot`'s link; null for an empty slot.
    Link *linkAt(int slot) const;
    Link *selectedLink() const { return linkAt(m_selected); }

    // What "busy" decides, by what it holds:
    // - the user's own send, receive or Port Scan: the selection and the
    //   attended commands (toolbar, close box) wait for it;
    bool attendedBusy() const;
    // - the user's own send alone: the table and the sending machine stay;
    bool sending() const;
    // The user's own send, from the moment it is made; a served machine's
    // send never is.
    SendTransfer *userJob() const { return m_userJob.data(); }
    // - machine `slot`'s own transfer, served ones included: its Setup and
    //   mode change wait for it, its Delete is refused;
    bool busy(int slot) const;
    // - anything on any machine: Quit asks first.
    bool active() const { return m_registry.anyTransferring(); }

    static bool isServed(const MachineConfig &machine);
    // Machine `slot`'s served role, while it is served; null otherwise.
    ServedMachine *servedAt(int slot) const;
    // The served machine that keeps machine `slot`'s device; 0 when none.
    int servedHolding(int slot) const
    {
        return machines().contains(slot) ? servedOn(machines().at(slot).port(), slot) : 0;
    }
    // The program is ending: each machine ends its work as the service's
    // stop does, and punches still waiting for their folders are kept
    // beside the configuration. The lines say what went where.
    QStringList endAll();
    // Slot 0 (and any slot without a machine) has an empty queue and
    // program of its own.
    ProgramQueue &queue(int slot);
    LoadedProgram &program(int slot);

    // Reads a program file into machine `slot` (the one reader of program
    // files); empty, or why it cannot be read (nothing changes then).
    [[nodiscard]] QString loadProgramFile(int slot, const QString &path);

    // Reloads the table from the file; no machine is selected afterwards.
    void reload();
    // Selects machine `index` and opens its port, closing the ports no
    // transfer or served role holds; ignored while the user's own transfer
    // runs, except that a receive follows the selection.
    void select(int index);
    // A new machine with the default settings, saved.
    AddResult addMachine();

    // The words the file's reader takes for "no such machine" and "no such
    // value": a machine of that name would end the loading of the file.
    static bool isReservedName(const QString &name);
    // What the user is told when a name is refused for that reason.
    static QString reservedNameMessage(const QString &name);
    // Gives machine `index` a new name; the table and the panel change only
    // once the file took it.
    [[nodiscard]] RenameResult rename(int index, const QString &name);
    // Saves the table without machine `index`; the machines after it move
    // down with their queues, programs and links. Refused while the
    // machine transfers (busyText() says what it does).
    [[nodiscard]] RemoveResult remove(int index);
    // What machine `index` is doing, for a refusal: "Mill is sending (37 %)".
    QString busyText(int index) const;
    // Stores a machine's configuration edited in the setup dialog. A
    // machine that transfers takes it when idle (Waiting).
    [[nodiscard]] UpdateResult update(int index, const MachineConfig &machine);

    // Sends the selected machine's loaded program from `startLine`.
    [[nodiscard]] SendResult send(int startLine);
    // A send as the window starts it, on any link: `program` from
    // `transfer.startLine`, on the machine's own port with its settings.
    // The command line's send is made here too.
    [[nodiscard]] static SendResult startSend(Link &link, const Program &program,
                                              const Transfer &transfer,
                                              const MachineConfig &machine);
    void beginReceive();
    // Ends the user's receive (or Port Scan), on whichever machine it runs.
    void endReceive();
    // Port Scan on the selected machine's port; refused while sending, and
    // where the far end keeps its own settings (a raw TCP server).
    [[nodiscard]] ScanResult beginScan();
    // Stores what Port Scan found in the selected machine's configuration:
    // the speed and data format in force, one stop bit and XON/XOFF.
    [[nodiscard]] ScanSaveResult saveScan();

signals:
    void machinesReloaded();
    // Slot `slot` now shows another machine (or none): views bound to its
    // queue and program bind again. Comes before machinesReloaded().
    void slotRebound(int slot);
    void selectionChanged(int index);
    // Machine `index` was renamed.
    void machineChanged(int index);
    // Machine `index` was deleted; the ones after it moved down by one.
    void machineRemoved(int index);
    void portProblem(int index, PortStatus status, const QString &port);
    // What machine `slot` does, or its port, changed (its read model).
    void stateChanged(int slot);
    // A send started on machine `id`'s link: the user's, or a served
    // machine's own.
    void sendStarted(MachineId id, SendTransfer *job);
    // What the attended receive and Port Scan on the selected machine give.
    void receivedText(const QByteArray &bytes);
    void scanShown(const QByteArray &bytes);
    void scanSettingsTried(const QString &caption);
    void scanFindingsChanged(const ScanFindings &findings);

private:
    void watch(Machine *machine);
    void fitTable();
    void deselect();
    void closeIdlePorts(int except);
    // The served machine whose device `port` is, other than `slot`; 0: none.
    int servedOn(const QString &port, int slot) const;
    PortStatus openPort(int slot);
    Link *userLink() const;

    MachineRegistry m_registry;
    int m_selected = 0;
    qint32 m_speedBefore = 300;
    // The machine receiving (or scanning) for RX-Edit, and the user's send.
    MachineId m_receiving;
    QPointer<SendTransfer> m_userJob;
    bool m_startingUserSend = false;
    ProgramQueue m_noQueue;
    LoadedProgram m_noProgram;
    // Which machine each slot's views are bound to.
    std::array<MachineId, MachineTable::MaxMachines + 1> m_bound{};
};
