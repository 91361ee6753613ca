#include "core/machines/workshop.h"

#include "core/config/configstore.h"
#include "core/config/inifile.h"
#include "core/config/vocabulary.h"
#include "core/machines/machine.h"
#include "core/ports/serialport.h"

// The panel's changes to the machines: each saved in the file first, then
// handed to the machine, which takes it now or as soon as it is idle.

Workshop::AddResult Workshop::addMachine()
{
    // A receive goes on beside the new machine; the user's send holds it.
    if (sending()) return AddResult::Busy;
    if (machines().isFull()) return AddResult::Full;
    const QStringList ports = portList().names();
    config().table().append(MachineConfig::defaults(ports.value(0)));
    const bool saved = config().save();
    // What the file holds is what the panel shows.
    if (!saved) config().load();
    m_registry.sync();
    deselect();
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
    fitTable();
    QString name = typed;
    name.removeIf([](QChar c) { return !MachineConfig::isNameCharacter(c); });
    if (!machines().contains(index) || name.isEmpty() || name == machines().at(index).name())
        return RenameResult::Unchanged;
    if (isReservedName(name)) return RenameResult::ReservedName;
    const MachineConfig before = machines().at(index);
    MachineConfig m = before;
    m.setValue(Key::Name, name);
    config().table().set(index, m);
    if (!config().save()) {
        // The panel shows what the file holds.
        config().table().set(index, before);
        return RenameResult::NotSaved;
    }
    static_cast<void>(machineAt(index)->change(m));
    emit machineChanged(index);
    return RenameResult::Renamed;
}

QString Workshop::busyText(int index) const
{
    const Machine *m = machineAt(index);
    if (!m) return {};
    const MachineState &s = m->state();
    using A = MachineState::Activity;
    const QString what = s.activity == A::Sending ? QStringLiteral("sending (%1 %)").arg(s.percent)
                         : s.activity == A::Receiving ? QStringLiteral("receiving")
                         : s.activity == A::Scanning  ? QStringLiteral("in Port Scan")
                         : s.activity == A::WaitingForControl
                             ? QStringLiteral("waiting for its control to take a program")
                             : QStringLiteral("about to send an answer to its control");
    return QStringLiteral("%1 is %2.").arg(m->config().name(), what);
}

Workshop::RemoveResult Workshop::remove(int index)
{
    fitTable();
    if (!machines().contains(index)) return RemoveResult::NotSaved;
    if (attendedBusy() || busy(index)) return RemoveResult::Busy;
    // The file first: when it cannot be written nothing moves.
    if (!config().save(index)) return RemoveResult::NotSaved;
    if (idAt(index) == m_receiving) m_receiving = {};
    config().table().remove(index);
    static_cast<void>(m_registry.remove(index));
    emit machineRemoved(index);
    config().load();
    m_registry.sync();
    deselect();
    return RemoveResult::Removed;
}

Workshop::UpdateResult Workshop::update(int index, const MachineConfig &machine)
{
    fitTable();
    // Nothing selected afterwards would pull the selection from under the
    // user's own send.
    if (sending()) return UpdateResult::Busy;
    if (!machines().contains(index)) return UpdateResult::NotSaved;
    if (isReservedName(machine.name())) return UpdateResult::ReservedName;
    const MachineConfig before = machines().at(index);
    config().table().set(index, machine);
    const bool saved = config().save();
    if (!saved) config().table().set(index, before);
    const bool now = !saved || machineAt(index)->change(machines().at(index));
    deselect();
    return !saved ? UpdateResult::NotSaved : now ? UpdateResult::Saved : UpdateResult::Waiting;
}

Workshop::ScanSaveResult Workshop::saveScan()
{
    fitTable();
    Link *link = selectedLink();
    if (!link || !link->scan().findings().complete())
        return link ? ScanSaveResult::Incomplete : ScanSaveResult::NoMachine;
    const LineSettings s = link->port().settings();
    const MachineConfig before = selectedMachine();
    MachineConfig m = before;
    if (Vocabulary::isOfferedSpeed(s.speed)) m.setValue(Key::Speed, QString::number(s.speed));
    m.setValue(Key::DataBits, QString::number(s.dataBits));
    m.setValue(Key::Parity, QLatin1String(Vocabulary::Parities[size_t(s.parity)].stored));
    m.setValue(Key::StopBits, QStringLiteral("1"));
    m.setValue(Key::Flow, QStringLiteral("1"));
    config().table().set(m_selected, m);
    if (!config().save()) {
        config().table().set(m_selected, before);
        return ScanSaveResult::NotSaved;
    }
    static_cast<void>(machineAt(m_selected)->change(m));
    emit selectionChanged(m_selected); // shown afresh, with its new settings
    return ScanSaveResult::Saved;
}
