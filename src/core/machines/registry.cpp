#include "core/machines/registry.h"

#include "core/config/configstore.h"
#include "core/link/link.h"
#include "core/machines/machine.h"

#include <algorithm>

MachineRegistry::MachineRegistry(ConfigStore &config, PortFactory makePort, PortList &ports,
                                 Clock &clock, QObject *parent)
    : QObject(parent), m_config(config), m_makePort(std::move(makePort)), m_ports(ports),
      m_clock(clock)
{
}

MachineRegistry::~MachineRegistry() = default;

const MachineTable &MachineRegistry::table() const
{
    return m_config.table();
}

Machine *MachineRegistry::at(int slot) const
{
    return slot >= 1 && slot <= count() ? m_units[size_t(slot - 1)].get() : nullptr;
}

Machine *MachineRegistry::find(MachineId id) const
{
    const int slot = slotOf(id);
    return slot > 0 ? at(slot) : nullptr;
}

int MachineRegistry::slotOf(MachineId id) const
{
    for (int i = 0; id.isValid() && i < count(); ++i)
        if (m_units[size_t(i)] && m_units[size_t(i)]->id() == id) return i + 1;
    return 0;
}

Machine *MachineRegistry::make(int row)
{
    auto machine = std::make_unique<Machine>(MachineId{++m_lastId}, table().at(row), m_makePort(),
                                             m_ports, m_clock);
    Machine *m = machine.get();
    connect(m, &Machine::stateChanged, this, &MachineRegistry::stateChanged);
    connect(m, &Machine::notice, this, &MachineRegistry::notice);
    connect(m, &Machine::becameIdle, this, [this] {
        if (!anyTransferring()) emit allIdle();
    });
    m_units.push_back(std::move(machine));
    emit machineCreated(m);
    // Its served role, if any, starts once whoever watches has seen it.
    static_cast<void>(m->change(table().at(row)));
    return m;
}

void MachineRegistry::sync()
{
    m_gone.clear();
    while (count() > table().count()) {
        std::unique_ptr<Machine> last = std::move(m_units.back());
        m_units.pop_back();
        leave(std::move(last));
    }
    for (int row = 1; row <= table().count(); ++row) {
        if (row > count())
            make(row);
        else
            static_cast<void>(at(row)->change(table().at(row)));
    }
}

bool MachineRegistry::reload()
{
    const MachineTable running = table();
    m_config.load();
    if (!m_config.readError().isEmpty()) {
        m_config.table() = running;
        return false;
    }
    // Each row takes the first machine of its name not taken yet.
    std::vector<std::unique_ptr<Machine>> old = std::move(m_units);
    m_units.clear();
    std::vector<int> fresh;
    for (int row = 1; row <= table().count(); ++row) {
        const auto same = std::find_if(old.begin(), old.end(), [&](const auto &m) {
            return m && m->config().name() == table().at(row).name();
        });
        m_units.push_back(same != old.end() ? std::move(*same) : nullptr);
        if (!m_units.back()) fresh.push_back(row);
    }
    for (auto &m : old)
        if (m) leave(std::move(m));
    // New machines are made in order, each in its own row.
    std::vector<std::unique_ptr<Machine>> placed = std::move(m_units);
    m_units.clear();
    for (int row = 1; row <= int(placed.size()); ++row) {
        if (placed[size_t(row - 1)]) {
            m_units.push_back(std::move(placed[size_t(row - 1)]));
            static_cast<void>(m_units.back()->change(table().at(row)));
        } else {
            make(row);
        }
    }
    return true;
}

bool MachineRegistry::remove(int slot)
{
    Machine *m = at(slot);
    if (!m || m->transferring()) return false;
    m_gone.clear();
    auto it = m_units.begin() + (slot - 1);
    std::unique_ptr<Machine> gone = std::move(*it);
    m_units.erase(it);
    discard(std::move(gone));
    return true;
}

void MachineRegistry::discard(std::unique_ptr<Machine> machine)
{
    // A served machine taken off stops serving now, and lets its port go.
    static_cast<void>(machine->shutDown());
    machine->link().closePort();
    // Its waiting punches outlive it, beside the configuration.
    for (const QString &line : machine->keepUnsavedIn(m_config.unsavedPunchFolder()))
        emit notice(line);
    // Deleted at the next change: this may run inside its own signal.
    m_gone.push_back(std::move(machine));
}

void MachineRegistry::leave(std::unique_ptr<Machine> machine)
{
    Machine *m = machine.get();
    connect(m, &Machine::retired, this, [this, m] {
        const auto it = std::find_if(m_leaving.begin(), m_leaving.end(),
                                     [m](const auto &p) { return p.get() == m; });
        if (it == m_leaving.end()) return;
        std::unique_ptr<Machine> left = std::move(*it);
        m_leaving.erase(it);
        discard(std::move(left));
        if (!anyTransferring()) emit allIdle();
    });
    m_leaving.push_back(std::move(machine));
    m->retire();
}

bool MachineRegistry::anyTransferring() const
{
    for (const auto *list : {&m_units, &m_leaving})
        for (const auto &m : *list)
            if (m->transferring()) return true;
    return false;
}

QStringList MachineRegistry::shutDown()
{
    QStringList told;
    for (const auto *list : {&m_units, &m_leaving})
        for (const auto &m : *list)
            if (const int dropped = m->shutDown())
                told << QStringLiteral("%1: %2 answer(s) to requests not sent: stopping")
                            .arg(m->config().name())
                            .arg(dropped);
    return told;
}

QStringList MachineRegistry::keepUnsavedPunches()
{
    QStringList told;
    for (const auto *list : {&m_units, &m_leaving})
        for (const auto &m : *list)
            told << m->keepUnsavedIn(m_config.unsavedPunchFolder());
    return told;
}
