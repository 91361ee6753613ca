#pragma once

#include "core/link.h"
#include "core/machinetable.h"
#include "core/programqueue.h"

#include <QObject>
#include <array>

class ConfigStore;
class Program;
class TransferLog;
class TransferRecorder;

// The program's model of the machine panel: the machines and their
// configuration file, the selected machine, each machine's program queue,
// and the link to the selected machine's port. Every command a view offers
// comes here; the views show what it reports.
class Workshop : public QObject
{
    Q_OBJECT
public:
    enum class AddResult { Added, Full, Busy, NotSaved };
    enum class UpdateResult { Saved, Busy, NotSaved, ReservedName };
    enum class ScanSaveResult { Saved, Incomplete, NoMachine };
    enum class SendResult { Started, NoProgram, NoMachine, NoPort, Busy };
    enum class ScanResult { Started, Refused, FixedSettings };

    Workshop(ConfigStore &config, Link &link, QObject *parent = nullptr);

    ConfigStore &config() { return m_config; }
    Link &link() { return m_link; }
    // Every send and receive leaves a line in it.
    TransferLog &transferLog();
    const MachineTable &machines() const;
    // 0 when no machine is selected.
    int selected() const { return m_selected; }
    const MachineConfig &selectedMachine() const;
    // True while a program is being sent: the selection, the table and the
    // sending machine's queue then stay as they are.
    bool sending() const { return m_link.sending(); }
    // Slot 0 belongs to no machine and stays empty.
    ProgramQueue &queue(int slot);

    // Reloads the table from the file; no machine is selected afterwards.
    void reload();
    // Selects machine `index` and opens its port, closing the previous
    // machine's; ignored while sending.
    void select(int index);
    // A new machine with the default settings, saved; the table is then
    // reloaded.
    AddResult addMachine();
    // The words the file's reader takes for "no such machine" and "no such
    // value": a machine of that name would end the loading of the file.
    static bool isReservedName(const QString &name);
    // What the user is told when a name is refused for that reason.
    static QString reservedNameMessage(const QString &name);
    // Gives machine `index` a new name and saves; false when nothing
    // changed (a reserved name changes nothing either).
    bool rename(int index, const QString &name);
    // Saves the table without machine `index` and reloads it; the queues of
    // the machines after it move down with them. False (nothing changed)
    // when the file cannot be written, or while sending.
    bool remove(int index);
    // Stores a machine's configuration edited in the setup dialog and
    // reloads the table; a reserved name is refused.
    UpdateResult update(int index, const MachineConfig &machine);

    // Sends `program` to the selected machine from `startLine`.
    SendResult send(const Program &program, int startLine);
    void beginReceive();
    void endReceive();
    // Port Scan on the selected machine's port; refused while sending, and
    // where the far end keeps its own settings (a raw TCP server).
    ScanResult beginScan();
    // Stores what Port Scan found in the selected machine's configuration:
    // the speed and data format in force, one stop bit and XON/XOFF.
    ScanSaveResult saveScan();

signals:
    void machinesReloaded();
    void selectionChanged(int index);
    // Machine `index` was renamed.
    void machineChanged(int index);
    // Machine `index` was deleted; the ones after it moved down by one.
    void machineRemoved(int index);
    void portProblem(int index, PortStatus status, const QString &port);

private:
    void setSelected(int index);

    ConfigStore &m_config;
    Link &m_link;
    TransferRecorder *m_transfers;
    int m_selected = 0;
    std::array<ProgramQueue, MachineTable::MaxMachines + 1> m_queues;
};
