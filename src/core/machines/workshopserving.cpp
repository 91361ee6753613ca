#include "core/machines/workshop.h"

#include "core/base/clock.h"
#include "core/ports/serialport.h"
#include "core/serving/servedmachine.h"

#include <QDir>

// The machines served from their controls: each keeps its own port open
// whatever is selected, and a port that cannot be opened is tried again.

bool Workshop::isServed(const MachineConfig &machine)
{
    return machine.value(Key::Mode) == u"SERVER";
}

ServedMachine *Workshop::servedAt(int slot) const
{
    return machines().contains(slot) ? m_slots[size_t(slot)].served.get() : nullptr;
}

int Workshop::servedOn(const QString &port, int slot) const
{
    for (int i = 1; i <= machines().count(); ++i)
        if (i != slot && servedAt(i) && machines().at(i).port() == port) return i;
    return 0;
}

void Workshop::fitServing()
{
    for (int i = 1; i <= MachineTable::MaxMachines; ++i) {
        Slot &s = m_slots[size_t(i)];
        const bool served = s.link && isServed(machines().at(i));
        if (s.served && (!served || !(s.servedAs == machines().at(i)))) {
            s.served.reset();
            if (!served && i != m_selected) s.link->closePort();
        }
        if (served && !s.served) {
            s.servedAs = machines().at(i);
            s.served = std::make_unique<ServedMachine>(*s.link, s.servedAs, s.id, m_clock);
            const MachineId id = s.id;
            connect(s.served.get(), &ServedMachine::stateChanged, this,
                    [this, id] { emit servedChanged(slotOf(id)); });
            connect(s.served.get(), &ServedMachine::saveFailed, this,
                    [this, id] { emit servedChanged(slotOf(id)); });
            connect(s.served.get(), &ServedMachine::punchSaved, this,
                    [this, id] { emit servedChanged(slotOf(id)); });
            emit servedCreated(s.served.get());
        }
    }
    openServedPorts();
}

void Workshop::openServedPorts()
{
    bool closed = false;
    for (int i = 1; i <= machines().count(); ++i) {
        Link *link = servedAt(i) ? linkAt(i) : nullptr;
        if (!link || link->port().isOpen()) continue;
        link->setSpeedBefore(m_speedBefore);
        closed = link->openFor(machines().at(i)) != PortStatus::Open || closed;
        emit servedChanged(i);
    }
    // Gone devices and servers are tried again, with nobody clicking.
    if (closed && !m_retryPorts->isActive()) m_retryPorts->start(RetryPortMs);
}

QStringList Workshop::keepUnsavedPunches(const QString &folder)
{
    QStringList told;
    for (int i = 1; i <= machines().count(); ++i) {
        ServedMachine *served = servedAt(i);
        if (!served) continue;
        served->shutDown();
        if (served->unsaved() == 0) continue;
        const QString name = machines().at(i).name();
        QDir().mkpath(folder);
        for (const QString &path : served->saveWaitingIn(folder))
            told << QStringLiteral("%1: punch saved as %2 instead: its folder would not take it")
                        .arg(name, QDir::toNativeSeparators(path));
        if (served->unsaved() > 0)
            told << QStringLiteral("%1: %2 punch(es) could not be saved anywhere and are lost")
                        .arg(name)
                        .arg(served->unsaved());
    }
    return told;
}
