#include "core/workshop.h"

#include "core/configstore.h"
#include "core/inifile.h"
#include "core/program.h"
#include "core/serialport.h"
#include "core/transferrecorder.h"
#include "core/vocabulary.h"

Workshop::Workshop(ConfigStore &config, Link &link, QObject *parent)
    : QObject(parent), m_config(config), m_link(link),
      m_transfers(new TransferRecorder(*this, link.clock(), this))
{
    connect(&m_link, &Link::portLost, this, [this] {
        // A device pulled out while open: the port has closed itself.
        if (m_selected > 0)
            emit portProblem(m_selected, PortStatus::Unavailable, selectedMachine().port());
    });
}

TransferLog &Workshop::transferLog()
{
    return m_transfers->log();
}

const MachineTable &Workshop::machines() const
{
    return m_config.table();
}

const MachineConfig &Workshop::selectedMachine() const
{
    return machines().at(m_selected);
}

ProgramQueue &Workshop::queue(int slot)
{
    return m_queues[size_t(qBound(0, slot, MachineTable::MaxMachines))];
}

void Workshop::setSelected(int index)
{
    m_selected = index;
    m_link.receiver().setStripByte(selectedMachine().stripByte());
    emit selectionChanged(index);
}

void Workshop::reload()
{
    m_config.load();
    m_selected = 0;
    m_link.receiver().setStripByte('\0');
    emit machinesReloaded();
}

void Workshop::select(int index)
{
    if (sending() || !machines().contains(index)) return;
    if (m_selected > 0) m_link.closePort();
    setSelected(index);
    const MachineConfig &m = selectedMachine();
    const PortStatus status = m_link.openFor(m);
    if (status != PortStatus::Open) emit portProblem(index, status, m.port());
}

Workshop::AddResult Workshop::addMachine()
{
    if (sending()) return AddResult::Busy;
    if (machines().isFull()) return AddResult::Full;
    const QStringList ports = m_link.portList().names();
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

bool Workshop::rename(int index, const QString &typed)
{
    QString name = typed;
    name.removeIf([](QChar c) { return !MachineConfig::isNameCharacter(c); });
    if (!machines().contains(index) || name.isEmpty() || isReservedName(name) ||
        name == machines().at(index).name())
        return false;
    MachineConfig m = machines().at(index);
    m.setValue(Key::Name, name);
    m_config.table().set(index, m);
    emit machineChanged(index);
    m_config.save();
    return true;
}

bool Workshop::remove(int index)
{
    if (sending() || !machines().contains(index)) return false;
    // The file first: when it cannot be written nothing moves.
    if (!m_config.save(index)) return false;
    const int last = machines().count();
    for (int i = index; i < last; ++i)
        m_queues[size_t(i)].takeFrom(m_queues[size_t(i + 1)]);
    m_queues[size_t(last)].clear();
    m_queues[size_t(last)].setLoadedName(QString());
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

Workshop::SendResult Workshop::send(const Program &program, int startLine)
{
    if (sending()) return SendResult::Busy;
    if (program.size() < 1) return SendResult::NoProgram;
    if (m_selected < 1) return SendResult::NoMachine;
    // Only the selected machine's own port: when it is missing, the port
    // may still be open on another machine's device, and the program must
    // never go there.
    if (!m_link.openForSend(selectedMachine())) return SendResult::NoPort;
    return m_link.startSend(program, startLine, selectedMachine()) ? SendResult::Started
                                                                  : SendResult::Busy;
}

void Workshop::beginReceive()
{
    m_link.beginReceive();
}

void Workshop::endReceive()
{
    m_link.endReceive();
}

Workshop::ScanResult Workshop::beginScan()
{
    if (m_selected < 1) return ScanResult::Refused;
    if (!m_link.port().canChangeSettings()) return ScanResult::FixedSettings;
    return m_link.beginScan() ? ScanResult::Started : ScanResult::Refused;
}

Workshop::ScanSaveResult Workshop::saveScan()
{
    if (!m_link.scan().findings().complete()) return ScanSaveResult::Incomplete;
    if (m_selected < 1) return ScanSaveResult::NoMachine;
    const LineSettings s = m_link.port().settings();
    MachineConfig m = selectedMachine();
    if (Vocabulary::isOfferedSpeed(s.speed)) m.setValue(Key::Speed, QString::number(s.speed));
    const Vocabulary::DataFormat &format = Vocabulary::dataFormat(s.dataBits);
    m.setValue(Key::DataBits, QLatin1String(format.dataBits));
    m.setValue(Key::Parity, QLatin1String(format.parity));
    m.setValue(Key::StopBits, QStringLiteral("1"));
    m.setValue(Key::Flow, QStringLiteral("1"));
    m_config.table().set(m_selected, m);
    m_config.save();
    emit selectionChanged(m_selected); // shown afresh, with its new settings
    return ScanSaveResult::Saved;
}
