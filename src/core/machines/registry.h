#pragma once

#include "core/base/transfer.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class Clock;
class ConfigStore;
class Machine;
class MachineTable;
class PortList;
class SerialPort;

// The machines of one configuration, by id, in the panel's order: machine
// `slot` (1 to count()) is row `slot` of the configuration's table. The
// service builds this alone; the window's attended session sits on it.
//
// The table is what the file holds; each machine holds what it applied. A
// change to the table reaches the machines through sync(), and each takes
// it as soon as nothing runs on it.
class MachineRegistry : public QObject
{
    Q_OBJECT
public:
    // Makes the port of a new machine's link.
    using PortFactory = std::function<std::shared_ptr<SerialPort>()>;

    MachineRegistry(ConfigStore &config, PortFactory makePort, PortList &ports, Clock &clock,
                    QObject *parent = nullptr);
    ~MachineRegistry() override;

    ConfigStore &config() const { return m_config; }
    const MachineTable &table() const;
    PortList &portList() const { return m_ports; }
    Clock &clock() const { return m_clock; }

    int count() const { return int(m_units.size()); }
    // Machine `slot`, 1 to count(); null otherwise.
    Machine *at(int slot) const;
    Machine *find(MachineId id) const;
    // The slot machine `id` is shown in; 0 when there is no such machine.
    int slotOf(MachineId id) const;

    // Makes the machines fit the table row by row: a machine for each new
    // row, each machine given its row's configuration, the machines after
    // the table's end gone.
    void sync();
    // Rereads the configuration file (the service's reload): a machine is
    // found again by its name and keeps its unit; changed ones take their
    // new settings when idle, new ones start, ones no longer there leave
    // once their transfer ends. False, with the running configuration kept,
    // when the file cannot be read.
    [[nodiscard]] bool reload();
    // Takes machine `slot` off, as the table already has; refused (false)
    // while it transfers.
    [[nodiscard]] bool remove(int slot);

    // Something runs on any machine, leaving ones included.
    bool anyTransferring() const;
    // The program ends: every machine ends its work (see Machine). Returns
    // the lines that tell what was left undone.
    QStringList shutDown();
    // Punches still waiting are saved beside the configuration instead;
    // the lines to tell.
    QStringList keepUnsavedPunches();

signals:
    // A machine was made: whoever records transfers watches it.
    void machineCreated(Machine *machine);
    // What machine `id` does, or its port, changed.
    void stateChanged(MachineId id);
    // Nothing runs on any machine any more.
    void allIdle();
    // Something the user must be told: where the waiting punches of a
    // machine that left were kept, a machine's own notice.
    void notice(const QString &line);

private:
    Machine *make(int row);
    void leave(std::unique_ptr<Machine> machine);
    void discard(std::unique_ptr<Machine> machine);

    ConfigStore &m_config;
    PortFactory m_makePort;
    PortList &m_ports;
    Clock &m_clock;
    quint32 m_lastId = 0;
    std::vector<std::unique_ptr<Machine>> m_units;
    // Removed while they transferred: they end their transfer first.
    std::vector<std::unique_ptr<Machine>> m_leaving;
    std::vector<std::unique_ptr<Machine>> m_gone;
};
