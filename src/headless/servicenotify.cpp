#include "headless/servicenotify.h"

#include "core/base/clock.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"

#include <systemd/sd-daemon.h>

ServiceNotify::ServiceNotify(Clock &clock, QObject *parent)
    : QObject(parent), m_watchdog(clock.createTimer(this))
{
    uint64_t usec = 0;
    // The service's own process only: a child never feeds it.
    if (sd_watchdog_enabled(0, &usec) > 0) m_watchdogNs = qint64(usec) * 1000;
    connect(m_watchdog, &Timer::timeout, this, &ServiceNotify::feed);
    // Fed twice a period, so that one late turn of the loop is no restart.
    if (m_watchdogNs > 0) m_watchdog->startNs(m_watchdogNs / 2);
}

QString ServiceNotify::statusText(int machines, int running)
{
    return QStringLiteral("Serving %1 %2; %3 %4 running")
        .arg(machines)
        .arg(machines == 1 ? QStringLiteral("machine") : QStringLiteral("machines"))
        .arg(running)
        .arg(running == 1 ? QStringLiteral("transfer") : QStringLiteral("transfers"));
}

void ServiceNotify::watch(const MachineRegistry &registry)
{
    m_registries.append(&registry);
    connect(&registry, &MachineRegistry::stateChanged, this, &ServiceNotify::updateStatus);
    updateStatus();
}

void ServiceNotify::updateStatus()
{
    int machines = 0, running = 0;
    for (const MachineRegistry *registry : m_registries) {
        machines += registry->count();
        for (int slot = 1; slot <= registry->count(); ++slot) {
            const MachineState::Activity a = registry->at(slot)->state().activity;
            running += (a == MachineState::Activity::Receiving ||
                        a == MachineState::Activity::Sending ||
                        a == MachineState::Activity::WaitingForControl)
                           ? 1
                           : 0;
        }
    }
    const QString status = statusText(machines, running);
    if (status == m_status) return;
    m_status = status;
    // Before READY the status goes with it.
    if (m_ready) send("STATUS=" + status.toUtf8());
}

void ServiceNotify::ready()
{
    m_ready = true;
    send("READY=1\nSTATUS=" + m_status.toUtf8());
}

void ServiceNotify::reloading()
{
    send("RELOADING=1");
    m_ready = false;
}

void ServiceNotify::stopping()
{
    send("STOPPING=1");
}

void ServiceNotify::feed()
{
    send("WATCHDOG=1");
    m_watchdog->startNs(m_watchdogNs / 2);
}

void ServiceNotify::send(const QByteArray &state)
{
    // Without systemd's socket this does nothing, as it should.
    sd_notify(0, state.constData());
}
