#include "headless/servicestop.h"

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"
#include "core/serving/servedmachine.h"

#include <QDir>
#include <utility>

ServiceStop::ServiceStop(MachineRegistry &registry, Clock &clock, Writer say, QObject *parent)
    : QObject(parent), m_registry(registry), m_say(std::move(say)),
      m_grace(clock.createTimer(this))
{
    connect(m_grace, &Timer::timeout, this, [this] {
        ++m_stops;
        endAll();
        finishWhenIdle();
    });
    connect(&registry, &MachineRegistry::allIdle, this, &ServiceStop::finishWhenIdle,
            Qt::QueuedConnection);
}

void ServiceStop::stop(int signal)
{
    if (m_stops++ == 0) {
        m_say(QStringLiteral("%1: stopping; sends end at a whole block")
                  .arg(signal == 15 ? QStringLiteral("SIGTERM") : QStringLiteral("SIGINT")));
        m_grace->start(StopGraceMs);
    } else {
        m_say(QStringLiteral("Stopping now: what a machine holds back is dropped"));
    }
    endAll();
    finishWhenIdle();
}

void ServiceStop::endAll()
{
    for (const QString &line : m_registry.shutDown())
        m_say(line);
}

void ServiceStop::finishWhenIdle()
{
    if (m_stops == 0 || m_registry.anyTransferring() || std::exchange(m_ended, true)) return;
    m_grace->stop();
    // A punch its machine's folder would not take is kept beside the
    // configuration rather than lost with the process.
    for (const QString &line : m_registry.keepUnsavedPunches())
        m_say(line);
    // Nothing a control sends goes unaccounted, not even while stopping.
    for (int i = 1; i <= m_registry.count(); ++i) {
        const ServedMachine *served = m_registry.at(i)->served();
        if (served && served->ignored() > 0)
            m_say(QStringLiteral("%1: %2 bytes the control sent while the service stopped were "
                                 "not taken")
                      .arg(m_registry.at(i)->config().name())
                      .arg(served->ignored()));
    }
    m_say(QStringLiteral("Stopped."));
    emit finished(0);
}

void ServiceStop::reload()
{
    if (m_stops > 0) return;
    const QString file = QDir::toNativeSeparators(m_registry.config().filePath());
    if (!m_registry.reload()) {
        m_say(QStringLiteral("%1 cannot be read: %2; the machines go on as they were")
                  .arg(file, m_registry.config().readError()));
        return;
    }
    int served = 0;
    for (int i = 1; i <= m_registry.count(); ++i)
        served += Machine::servedMode(m_registry.table().at(i)) ? 1 : 0;
    m_say(QStringLiteral("Reloaded %1: %2 served").arg(file).arg(served));
}
