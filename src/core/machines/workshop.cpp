#include "core/machines/workshop.h"

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/config/inifile.h"
#include "core/programs/program.h"
#include "core/ports/serialport.h"
#include "core/serving/servedmachine.h"
#include "core/config/vocabulary.h"

#include <algorithm>
#include <utility>

Workshop::Workshop(ConfigStore &config, PortFactory makePort, PortList &ports, Clock &clock,
                   QObject *parent)
    : QObject(parent), m_config(config), m_makePort(std::move(makePort)), m_ports(ports),
      m_clock(clock), m_retryPorts(clock.createTimer(this))
{
    connect(m_retryPorts, &Timer::timeout, this, &Workshop::openServedPorts);
}

Workshop::~Workshop()
{
    // The servers and links go before the queues and programs views watch.
    for (Slot &s : m_slots) {
        s.served.reset();
        s.link.reset();
    }
}

const MachineTable &Workshop::machines() const
{
    return m_config.table();
}

const MachineConfig &Workshop::selectedMachine() const
{
    return machines().at(m_selected);
}

MachineId Workshop::idAt(int slot) const
{
    return machines().contains(slot) ? m_slots[size_t(slot)].id : MachineId{};
}

int Workshop::slotOf(MachineId id) const
{
    for (int i = 1; i <= machines().count(); ++i)
        if (id.isValid() && m_slots[size_t(i)].id == id) return i;
    return 0;
}

Link *Workshop::linkAt(int slot) const
{
    return machines().contains(slot) ? m_slots[size_t(slot)].link.get() : nullptr;
}

bool Workshop::busy(int slot) const
{
    const Link *l = linkAt(slot);
    return l && (l->sending() || l->state() != LinkState::Idle);
}

bool Workshop::sending() const
{
    const Link *link = linkAt(slotOf(m_attendedSend));
    return link && link->sending();
}

bool Workshop::active() const
{
    for (int i = 1; i <= machines().count(); ++i)
        if (busy(i)) return true;
    return false;
}

ProgramQueue &Workshop::queue(int slot)
{
    return m_queues[size_t(qBound(0, slot, MachineTable::MaxMachines))];
}

LoadedProgram &Workshop::program(int slot)
{
    return m_programs[size_t(qBound(0, slot, MachineTable::MaxMachines))];
}

void Workshop::fitSlots()
{
    // Every machine on the panel has an identity and a link of its own; a
    // slot that fell free has neither.
    for (int i = 1; i <= MachineTable::MaxMachines; ++i) {
        Slot &s = m_slots[size_t(i)];
        if (!machines().contains(i)) {
            s.link.reset();
            s.id = {};
            continue;
        }
        if (s.link) continue;
        s.id = MachineId{++m_lastId};
        s.link = std::make_unique<Link>(m_makePort(), m_ports, m_clock);
        Link *link = s.link.get();
        const MachineId id = s.id;
        connect(link, &Link::sendStarted, this, [this, id, link](SendJob *job) {
            // What a served machine sends on its own is its program now: the
            // code window shows it when the machine is selected.
            if (!link->sendTransfer().requested.isEmpty())
                program(slotOf(id)).load(job->program().text(), link->sendTransfer().source);
            emit sendStarted(id, job);
        });
        connect(link, &Link::portLost, this, [this, link] {
            for (int i = 1; i <= machines().count(); ++i)
                if (servedAt(i) && linkAt(i) == link) {
                    m_retryPorts->start(RetryPortMs);
                    emit servedChanged(i);
                }
            // A device pulled out while open: the port has closed itself.
            if (m_selected > 0 && link == selectedLink())
                emit portProblem(m_selected, PortStatus::Unavailable, selectedMachine().port());
        });
        // RX-Edit and Port Scan show what the selected machine gives.
        auto mine = [this, link] { return link == selectedLink(); };
        connect(&link->receiver(), &ReceiveSession::text, this, [this, mine](const QByteArray &b) {
            if (mine()) emit receivedText(b);
        });
        connect(&link->scan(), &PortScan::shown, this, [this, mine](const QByteArray &b) {
            if (mine()) emit scanShown(b);
        });
        connect(&link->scan(), &PortScan::settingsTried, this, [this, mine](const QString &c) {
            if (mine()) emit scanSettingsTried(c);
        });
        connect(&link->scan(), &PortScan::findingsChanged, this,
                [this, mine](const ScanFindings &f) {
                    if (mine()) emit scanFindingsChanged(f);
                });
        emit linkCreated(link);
    }
}

QString Workshop::loadProgramFile(int slot, const QString &path)
{
    ProgramFile file = ProgramFile::read(path);
    if (file.reason.isEmpty()) program(slot).load(std::move(file.bytes), ProgramSource::file(path));
    return file.reason;
}

void Workshop::setSelected(int index)
{
    m_selected = index;
    if (Link *l = selectedLink()) l->receiver().setStripByte(selectedMachine().stripByte());
    emit selectionChanged(index);
}

void Workshop::reload()
{
    m_config.load();
    fitSlots();
    m_selected = 0;
    fitServing();
    emit machinesReloaded();
}

PortStatus Workshop::openPort(int slot)
{
    const MachineConfig &m = machines().at(slot);
    Link *link = linkAt(slot);
    // A served machine's port is its own, kept open (or tried again) by the
    // workshop; no other machine may take its device.
    if (servedAt(slot)) return link->port().isOpen() ? PortStatus::Open : PortStatus::Unavailable;
    if (servedOn(m.port(), slot) > 0) return PortStatus::Unavailable;
    // Two machines may name one device: only one of them has it open.
    for (int i = 1; i <= machines().count(); ++i) {
        Link *other = linkAt(i);
        if (i != slot && !busy(i) && other->port().isOpen() && other->port().name() == m.port())
            other->closePort();
    }
    link->setSpeedBefore(m_speedBefore);
    const PortStatus status = link->openFor(m);
    m_speedBefore = link->speedBefore();
    return status;
}

void Workshop::select(int index)
{
    if (sending() || !machines().contains(index)) return;
    fitSlots(); // the table may have been filled without a reload
    // A receive belongs to its machine: it moves only with the selection.
    const MachineId receiving = idAt(index) == m_receiving ? MachineId{} : m_receiving;
    if (Link *previous = selectedLink()) {
        // A receive belongs to its machine: it ends with that machine's port.
        if (receiving.isValid()) {
            previous->receiver().flush();
            previous->endReceive();
        }
        // A served machine keeps its port whatever is selected.
        if (!servedAt(m_selected)) previous->closePort();
    }
    setSelected(index);
    const MachineConfig &m = selectedMachine();
    const PortStatus status = openPort(index);
    if (receiving.isValid()) {
        m_receiving = {};
        beginReceive();
    }
    if (status != PortStatus::Open) emit portProblem(index, status, m.port());
}

Workshop::AddResult Workshop::addMachine()
{
    if (sending()) return AddResult::Busy;
    if (machines().isFull()) return AddResult::Full;
    const QStringList ports = m_ports.names();
    m_config.table().append(MachineConfig::defaults(ports.value(0)));
    const bool saved = m_config.save();
    reload();
    return saved ? AddResult::Added : AddResult::NotSaved;
}

bool Workshop::isReservedName(const QString &name)
{
    const QByteArray bytes = name.toUtf8();
    return bytes == IniFile::NoSection || bytes == IniFile::NoValue;
}

QString Workshop::reservedNameMessage(const QString &name)
{
    return QStringLiteral("\"%1\" can not be a machine name: the configuration file keeps that "
                          "word for itself.")
        .arg(name);
}

Workshop::RenameResult Workshop::rename(int index, const QString &typed)
{
    QString name = typed;
    name.removeIf([](QChar c) { return !MachineConfig::isNameCharacter(c); });
    if (!machines().contains(index) || name.isEmpty() || name == machines().at(index).name())
        return RenameResult::Unchanged;
    if (isReservedName(name)) return RenameResult::ReservedName;
    const MachineConfig before = machines().at(index);
    MachineConfig m = before;
    m.setValue(Key::Name, name);
    m_config.table().set(index, m);
    if (!m_config.save()) {
        // The panel shows what the file holds.
        m_config.table().set(index, before);
        return RenameResult::NotSaved;
    }
    emit machineChanged(index);
    return RenameResult::Renamed;
}

bool Workshop::remove(int index)
{
    if (sending() || !machines().contains(index)) return false;
    // The file first: when it cannot be written nothing moves.
    if (!m_config.save(index)) return false;
    const int last = machines().count();
    if (m_slots[size_t(index)].id == m_receiving) m_receiving = {};
    // A receive on the machine ends, and is logged, before its link goes.
    if (Link *gone = linkAt(index)) gone->endReceive();
    m_slots[size_t(index)].link.reset();
    for (int i = index; i < last; ++i) {
        m_slots[size_t(i)] = std::move(m_slots[size_t(i + 1)]);
        m_queues[size_t(i)].takeFrom(m_queues[size_t(i + 1)]);
        m_programs[size_t(i)].takeFrom(m_programs[size_t(i + 1)]);
    }
    m_slots[size_t(last)] = {};
    m_queues[size_t(last)].clear();
    m_queues[size_t(last)].setLoadedName(QString());
    m_programs[size_t(last)].clear();
    emit machineRemoved(index);
    reload();
    return true;
}

Workshop::UpdateResult Workshop::update(int index, const MachineConfig &machine)
{
    // The reload after a save would pull the selection from under the send.
    if (sending()) return UpdateResult::Busy;
    if (!machines().contains(index)) return UpdateResult::NotSaved;
    if (isReservedName(machine.name())) return UpdateResult::ReservedName;
    m_config.table().set(index, machine);
    const bool saved = m_config.save();
    reload();
    return saved ? UpdateResult::Saved : UpdateResult::NotSaved;
}

Transfer Workshop::transferFor(int slot) const
{
    Transfer t;
    t.machine = idAt(slot);
    t.machineName = machines().at(slot).name();
    t.port = machines().at(slot).port();
    return t;
}

Workshop::SendResult Workshop::send(int startLine)
{
    if (sending()) return SendResult::Busy;
    if (m_selected < 1) return SendResult::NoMachine;
    const LoadedProgram &loaded = program(m_selected);
    Transfer t = transferFor(m_selected);
    t.source = loaded.source();
    t.startLine = startLine;
    Link *link = selectedLink();
    // Never on a device a served machine keeps.
    if (servedOn(selectedMachine().port(), m_selected) > 0) return SendResult::NoPort;
    // The send is the user's from its first moment.
    const MachineId before = std::exchange(m_attendedSend, t.machine);
    const SendResult result = startSend(*link, loaded.snapshot(), t, selectedMachine());
    if (result == SendResult::Started || result == SendResult::Busy)
        m_speedBefore = link->speedBefore();
    else
        m_attendedSend = before;
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
    Link *link = selectedLink();
    if (!link) return;
    m_receiving = idAt(m_selected);
    link->beginReceive(transferFor(m_selected));
}

void Workshop::endReceive()
{
    m_receiving = {};
    Link *link = selectedLink();
    if (!link) return;
    const bool scanned = link->state() == LinkState::Scanning;
    link->endReceive();
    // Port Scan leaves the port on whatever it tried last; the machine's
    // next receive needs the machine's own settings, saved or not.
    if (scanned && link->port().isOpen()) {
        link->setSpeedBefore(m_speedBefore);
        static_cast<void>(link->openForSend(selectedMachine()));
        m_speedBefore = link->speedBefore();
    }
}

Workshop::ScanResult Workshop::beginScan()
{
    Link *link = selectedLink();
    if (!link) return ScanResult::Refused;
    if (!link->port().canChangeSettings()) return ScanResult::FixedSettings;
    return link->beginScan() ? ScanResult::Started : ScanResult::Refused;
}

Workshop::ScanSaveResult Workshop::saveScan()
{
    Link *link = selectedLink();
    if (!link || !link->scan().findings().complete())
        return link ? ScanSaveResult::Incomplete : ScanSaveResult::NoMachine;
    const LineSettings s = link->port().settings();
    const MachineConfig before = selectedMachine();
    MachineConfig m = before;
    if (Vocabulary::isOfferedSpeed(s.speed)) m.setValue(Key::Speed, QString::number(s.speed));
    const Vocabulary::DataFormat &format = Vocabulary::dataFormat(s.dataBits);
    m.setValue(Key::DataBits, QLatin1String(format.dataBits));
    m.setValue(Key::Parity, QLatin1String(format.parity));
    m.setValue(Key::StopBits, QStringLiteral("1"));
    m.setValue(Key::Flow, QStringLiteral("1"));
    m_config.table().set(m_selected, m);
    if (!m_config.save()) {
        m_config.table().set(m_selected, before);
        return ScanSaveResult::NotSaved;
    }
    emit selectionChanged(m_selected); // shown afresh, with its new settings
    return ScanSaveResult::Saved;
}
