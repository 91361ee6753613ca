#include "core/machines/workshop.h"

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/machines/machine.h"
#include "core/ports/serialport.h"
#include "core/programs/program.h"
#include "core/serving/servedmachine.h"

#include <utility>

Workshop::Workshop(ConfigStore &config, PortFactory makePort, PortList &ports, Clock &clock,
                   QObject *parent)
    : QObject(parent), m_registry(config, std::move(makePort), ports, clock)
{
    connect(&m_registry, &MachineRegistry::machineCreated, this, &Workshop::watch);
    connect(&m_registry, &MachineRegistry::stateChanged, this, [this](MachineId id) {
        if (const int slot = slotOf(id)) emit stateChanged(slot);
    });
}

Workshop::~Workshop() = default;

void Workshop::watch(Machine *machine)
{
    const MachineId id = machine->id();
    Link *link = &machine->link();
    connect(machine, &Machine::sendStarted, this, [this](MachineId id, SendTransfer *job) {
        // The user's send is known as such before anyone hears of it.
        if (m_startingUserSend) m_userJob = job;
        emit sendStarted(id, job);
    });
    connect(link, &Link::portLost, this, [this, link] {
        // A device pulled out while open: the port has closed itself.
        if (m_selected > 0 && link == selectedLink())
            emit portProblem(m_selected, PortStatus::Unavailable, selectedMachine().port());
    });
    // RX-Edit and Port Scan show what the user's machine gives.
    auto mine = [this, id] { return id == m_receiving; };
    connect(&link->receiver(), &ReceiveSession::text, this, [this, mine](const QByteArray &b) {
        if (mine()) emit receivedText(b);
    });
    connect(&link->scan(), &PortScan::shown, this, [this, mine](const QByteArray &b) {
        if (mine()) emit scanShown(b);
    });
    connect(&link->scan(), &PortScan::settingsTried, this, [this, mine](const QString &c) {
        if (mine()) emit scanSettingsTried(c);
    });
    connect(&link->scan(), &PortScan::findingsChanged, this, [this, mine](const ScanFindings &f) {
        if (mine()) emit scanFindingsChanged(f);
    });
}

const MachineConfig &Workshop::selectedMachine() const
{
    return machines().at(m_selected);
}

MachineId Workshop::idAt(int slot) const
{
    const Machine *m = machineAt(slot);
    return m ? m->id() : MachineId{};
}

Link *Workshop::linkAt(int slot) const
{
    const Machine *m = machineAt(slot);
    return m ? &m->link() : nullptr;
}

Link *Workshop::userLink() const
{
    const Machine *m = m_registry.find(m_receiving);
    return m ? &m->link() : nullptr;
}

bool Workshop::sending() const
{
    return m_userJob && m_userJob->isRunning();
}

bool Workshop::attendedBusy() const
{
    const Link *l = userLink();
    return sending() || (l && l->state() != LinkState::Idle && l->state() != LinkState::Sending);
}

bool Workshop::busy(int slot) const
{
    const Machine *m = machineAt(slot);
    return m && m->transferring();
}

bool Workshop::isServed(const MachineConfig &machine)
{
    return Machine::servedMode(machine);
}

ServedMachine *Workshop::servedAt(int slot) const
{
    const Machine *m = machineAt(slot);
    return m ? m->served() : nullptr;
}

int Workshop::servedOn(const QString &port, int slot) const
{
    for (int i = 1; i <= m_registry.count(); ++i)
        if (i != slot && servedAt(i) && machineAt(i)->config().port() == port) return i;
    return 0;
}

QStringList Workshop::endAll()
{
    QStringList told = m_registry.shutDown();
    told << m_registry.keepUnsavedPunches();
    return told;
}

ProgramQueue &Workshop::queue(int slot)
{
    fitTable();
    Machine *m = machineAt(slot);
    return m ? m->queue() : m_noQueue;
}

LoadedProgram &Workshop::program(int slot)
{
    fitTable();
    Machine *m = machineAt(slot);
    return m ? m->program() : m_noProgram;
}

QString Workshop::loadProgramFile(int slot, const QString &path)
{
    ProgramFile file = ProgramFile::read(path);
    if (file.reason.isEmpty()) program(slot).load(std::move(file.bytes), ProgramSource::file(path));
    return file.reason;
}

void Workshop::closeIdlePorts(int except)
{
    // Only the selected machine, served ones and ones that transfer keep
    // their ports open; whatever else had one lets it go.
    for (int i = 1; i <= m_registry.count(); ++i) {
        const SerialPort &port = linkAt(i)->port();
        if (i != except && !servedAt(i) && !busy(i) && port.isOpen() &&
            servedOn(port.name(), i) == 0)
            linkAt(i)->closePort();
    }
}

void Workshop::fitTable()
{
    // The table may have been filled without a reload.
    if (m_registry.count() == machines().count()) return;
    m_registry.sync();
    deselect();
}

void Workshop::deselect()
{
    closeIdlePorts(0);
    m_selected = 0;
    for (int i = 1; i <= MachineTable::MaxMachines; ++i)
        if (idAt(i) != m_bound[size_t(i)]) {
            m_bound[size_t(i)] = idAt(i);
            emit slotRebound(i);
        }
    emit machinesReloaded();
}

void Workshop::reload()
{
    config().load();
    m_registry.sync();
    deselect();
}

PortStatus Workshop::openPort(int slot)
{
    const MachineConfig &m = machineAt(slot)->config();
    Link *link = linkAt(slot);
    // A served machine's port is its own, kept open (or tried again) by the
    // machine; no other machine may take its device.
    if (servedAt(slot)) return link->port().isOpen() ? PortStatus::Open : PortStatus::Unavailable;
    if (servedOn(m.port(), slot) > 0) return PortStatus::Unavailable;
    link->setSpeedBefore(m_speedBefore);
    const PortStatus status = link->port().isOpen() && link->port().name() == m.port() && busy(slot)
                                  ? PortStatus::Open
                                  : link->openFor(m);
    m_speedBefore = link->speedBefore();
    return status;
}

void Workshop::select(int index)
{
    if (sending() || !machines().contains(index)) return;
    fitTable();
    // A receive belongs to its machine: it moves only with the selection.
    const bool moveReceive = m_receiving.isValid() && idAt(index) != m_receiving;
    if (moveReceive) {
        if (Link *previous = userLink()) {
            previous->receiver().flush();
            previous->endReceive();
        }
        m_receiving = {};
    }
    closeIdlePorts(index);
    m_selected = index;
    if (Link *l = selectedLink()) l->receiver().setStripByte(machineAt(index)->config().stripByte());
    emit selectionChanged(index);
    const PortStatus status = openPort(index);
    if (moveReceive) beginReceive();
    if (status != PortStatus::Open) emit portProblem(index, status, selectedMachine().port());
}

Workshop::SendResult Workshop::send(int startLine)
{
    fitTable();
    if (sending()) return SendResult::Busy;
    if (m_selected < 1) return SendResult::NoMachine;
    Machine *machine = machineAt(m_selected);
    const LoadedProgram &loaded = machine->program();
    Transfer t = transferOf(machine->id(), selectedMachine(), Transfer::Direction::Send);
    t.source = loaded.source();
    t.startLine = startLine;
    // Never on a device a served machine keeps.
    if (servedOn(selectedMachine().port(), m_selected) > 0) return SendResult::NoPort;
    Link &link = machine->link();
    link.setSpeedBefore(m_speedBefore);
    m_startingUserSend = true;
    const SendResult result = startSend(link, loaded.snapshot(), t, selectedMachine());
    m_startingUserSend = false;
    if (result == SendResult::Started || result == SendResult::Busy)
        m_speedBefore = link.speedBefore();
    return result;
}

Workshop::SendResult Workshop::startSend(Link &link, const Program &snapshot,
                                         const Transfer &transfer, const MachineConfig &machine)
{
    if (snapshot.size() < 1) return SendResult::NoProgram;
    // From the empty line after the last line end there is nothing to send.
    const int lines = snapshot.lineCount();
    const int startLine = transfer.startLine;
    if (startLine >= lines || (startLine == lines - 1 && snapshot.line(startLine).isEmpty()))
        return SendResult::NothingAfterPointer;
    // Only the machine's own port: when it is missing, the port may still be
    // open on another machine's device, and the program must never go there.
    if (!link.openForSend(machine)) return SendResult::NoPort;
    return link.startSend(snapshot, transfer, machine) ? SendResult::Started : SendResult::Busy;
}

void Workshop::beginReceive()
{
    fitTable();
    Machine *machine = machineAt(m_selected);
    if (!machine) return;
    m_receiving = machine->id();
    machine->link().beginReceive(
        transferOf(machine->id(), selectedMachine(), Transfer::Direction::Receive));
}

void Workshop::endReceive()
{
    Machine *machine = m_registry.find(m_receiving);
    m_receiving = {};
    if (!machine) return;
    Link &link = machine->link();
    const bool scanned = link.state() == LinkState::Scanning;
    link.endReceive();
    // Port Scan leaves the port on whatever it tried last; the machine's
    // next receive needs the machine's own settings, saved or not.
    if (scanned && link.port().isOpen()) {
        link.setSpeedBefore(m_speedBefore);
        static_cast<void>(link.openForSend(machine->config()));
        m_speedBefore = link.speedBefore();
    }
}

Workshop::ScanResult Workshop::beginScan()
{
    fitTable();
    Machine *machine = machineAt(m_selected);
    if (!machine) return ScanResult::Refused;
    Link &link = machine->link();
    if (!link.port().canChangeSettings()) return ScanResult::FixedSettings;
    if (!link.beginScan()) return ScanResult::Refused;
    m_receiving = machine->id();
    return ScanResult::Started;
}

