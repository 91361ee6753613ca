#pragma once

#include "core/link/link.h"
#include "core/programs/loadedprogram.h"
#include "core/config/machinetable.h"
#include "core/programs/programqueue.h"

#include <QObject>
#include <array>
#include <functional>
#include <memory>

class ConfigStore;
class Program;
class ServedMachine;
class Timer;

// The program's model of the machine panel: the machines and their
// configuration file, the selected machine, and for each machine its
// identity, its own link (which owns its port), its program queue and its
// loaded program. Every command a view offers comes here; the views show
// what it reports.
//
// A machine is shown in a slot, 1 to count(); its MachineId stays the same
// while the program runs, whatever is added or deleted before it.
class Workshop : public QObject
{
    Q_OBJECT
public:
    // Makes the port of a new machine's link.
    using PortFactory = std::function<std::shared_ptr<SerialPort>()>;

    enum class AddResult { Added, Full, Busy, NotSaved };
    enum class UpdateResult { Saved, Busy, NotSaved, ReservedName };
    enum class RenameResult { Renamed, Unchanged, ReservedName, NotSaved };
    enum class ScanSaveResult { Saved, Incomplete, NoMachine, NotSaved };
    enum class SendResult { Started, NoProgram, NothingAfterPointer, NoMachine, NoPort, Busy };
    enum class ScanResult { Started, Refused, FixedSettings };

    Workshop(ConfigStore &config, PortFactory makePort, PortList &ports, Clock &clock,
             QObject *parent = nullptr);
    // Every machine's link on this one port, which the caller keeps: one
    // machine is attended at a time, as on a PC with one serial line.
    static PortFactory onePort(SerialPort &port)
    {
        return [&port] { return std::shared_ptr<SerialPort>(&port, [](SerialPort *) {}); };
    }
    ~Workshop() override;

    ConfigStore &config() { return m_config; }
    PortList &portList() { return m_ports; }
    Clock &clock() { return m_clock; }
    const MachineTable &machines() const;
    // 0 when no machine is selected.
    int selected() const { return m_selected; }
    const MachineConfig &selectedMachine() const;

    MachineId idAt(int slot) const;
    // The slot machine `id` is shown in; 0 when there is no such machine.
    int slotOf(MachineId id) const;
    // Machine `slot`'s link; null for an empty slot.
    Link *linkAt(int slot) const;
    Link *selectedLink() const { return linkAt(m_selected); }
    // True while machine `slot` sends, receives or scans.
    bool busy(int slot) const;
    // True while a program the user sent is being sent: the selection, the
    // table and the sending machine's queue then stay as they are. What
    // served machines send on their own does not hold the panel.
    bool sending() const;
    // Served machines ("SERVER" mode) keep their own ports open whatever is
    // selected, are served from their controls, and have their ports tried
    // again every RetryPortMs while they cannot be opened.
    static constexpr int RetryPortMs = 5000;
    static bool isServed(const MachineConfig &machine);
    // Machine `slot`'s server, while it is served; null otherwise.
    ServedMachine *servedAt(int slot) const;
    // The served machine that keeps machine `slot`'s device; 0 when none.
    int servedHolding(int slot) const
    {
        return machines().contains(slot) ? servedOn(machines().at(slot).port(), slot) : 0;
    }
    // The program is ending: each served machine ends its serving (a punch
    // coming in is saved as it is), and punches still waiting to be saved
    // in their own folders are saved in `folder` instead. Each line says
    // which machine's punch went where, or how many could not be saved.
    QStringList keepUnsavedPunches(const QString &folder);
    // True while anything runs on any machine's link.
    bool active() const;
    // Slot 0 belongs to no machine and stays empty.
    ProgramQueue &queue(int slot);
    LoadedProgram &program(int slot);

    // Reads a program file into machine `slot` (the one reader of program
    // files); empty, or why it cannot be read (nothing changes then).
    [[nodiscard]] QString loadProgramFile(int slot, const QString &path);

    // Reloads the table from the file; no machine is selected afterwards.
    void reload();
    // Selects machine `index` and opens its port, closing the previous
    // machine's; ignored while sending. A receive follows the selection.
    void select(int index);
    // A new machine with the default settings, saved; the table is then
    // reloaded.
    AddResult addMachine();

    // The words the file's reader takes for "no such machine" and "no such
    // value": a machine of that name would end the loading of the file.
    static bool isReservedName(const QString &name);
    // What the user is told when a name is refused for that reason.
    static QString reservedNameMessage(const QString &name);
    // Gives machine `index` a new name; the table and the panel change only
    // once the file took it.
    [[nodiscard]] RenameResult rename(int index, const QString &name);
    // Saves the table without machine `index` and reloads it; the machines
    // after it move down with their queues, programs and links. False
    // (nothing changed) when the file cannot be written, or while sending.
    [[nodiscard]] bool remove(int index);
    // Stores a machine's configuration edited in the setup dialog and
    // reloads the table; a reserved name is refused.
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
    void endReceive();
    // Port Scan on the selected machine's port; refused while sending, and
    // where the far end keeps its own settings (a raw TCP server).
    [[nodiscard]] ScanResult beginScan();
    // Stores what Port Scan found in the selected machine's configuration:
    // the speed and data format in force, one stop bit and XON/XOFF.
    [[nodiscard]] ScanSaveResult saveScan();

signals:
    void machinesReloaded();
    void selectionChanged(int index);
    // Machine `index` was renamed.
    void machineChanged(int index);
    // Machine `index` was deleted; the ones after it moved down by one.
    void machineRemoved(int index);
    void portProblem(int index, PortStatus status, const QString &port);
    // A machine got its link, or began to be served: whoever records
    // transfers watches it.
    void linkCreated(Link *link);
    void servedCreated(ServedMachine *served);
    // What served machine `slot` does, or its port, changed.
    void servedChanged(int slot);
    // A send started on machine `id`'s link: the user's, or a served
    // machine's own.
    void sendStarted(MachineId id, SendJob *job);
    // What the attended receive and Port Scan on the selected machine give.
    void receivedText(const QByteArray &bytes);
    void scanShown(const QByteArray &bytes);
    void scanSettingsTried(const QString &caption);
    void scanFindingsChanged(const ScanFindings &findings);

private:
    struct Slot {
        MachineId id;
        std::unique_ptr<Link> link;
        std::unique_ptr<ServedMachine> served;
        MachineConfig servedAs; // the configuration it serves with
    };

    void setSelected(int index);
    void fitSlots();
    // Starts, restarts or ends each machine's serving as its mode says.
    void fitServing();
    void openServedPorts();
    // The served machine whose device `port` is, other than `slot`; 0: none.
    int servedOn(const QString &port, int slot) const;
    Transfer transferFor(int slot) const;
    PortStatus openPort(int slot);

    ConfigStore &m_config;
    PortFactory m_makePort;
    PortList &m_ports;
    Clock &m_clock;
    int m_selected = 0;
    qint32 m_speedBefore = 300;
    quint32 m_lastId = 0;
    // The machine receiving for RX-Edit, and the one sending for the user.
    MachineId m_receiving;
    MachineId m_attendedSend;
    Timer *m_retryPorts;
    std::array<Slot, MachineTable::MaxMachines + 1> m_slots;
    std::array<ProgramQueue, MachineTable::MaxMachines + 1> m_queues;
    std::array<LoadedProgram, MachineTable::MaxMachines + 1> m_programs;
};
