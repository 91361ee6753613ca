#include "headless/service.h"

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/log/transferrecorder.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"
#include "core/ports/qtserialport.h"
#include "headless/commandsupport.h"
#include "headless/servicelog.h"
#include "process/claimedports.h"
#include "process/configlocation.h"
#include "process/instancelock.h"
#include "process/stopsignals.h"

#include <QCoreApplication>
#include <QDir>
#include <utility>

namespace
{
int servedCount(const MachineTable &table)
{
    int count = 0;
    for (int i = 1; i <= table.count(); ++i)
        count += Machine::servedMode(table.at(i)) ? 1 : 0;
    return count;
}

QString serving(int count, const QString &file)
{
    return QStringLiteral("Serving %1 %2 of %3")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("machine") : QStringLiteral("machines"), file);
}
} // namespace

int runService(const QString &given)
{
    const QString folder = configFolder(given);
    const QString userFolder = userConfigFolder(given);
    ConfigStore config(folder, userFolder);
    InstanceLock lock;
    QString lockedFile;
    if (lockConfiguration(lock, config.filePath(), userFolder, QStringLiteral("tavrin --serve"),
                          &lockedFile) == LockResult::Held) {
        return fail(1, lock.heldMessage(lockedFile));
    }
    QtPortList ports;
    // Each port claimed, so that the command line never takes one served.
    MachineRegistry registry(config, claimedPorts(config, QStringLiteral("tavrin --serve")), ports,
                             Clock::system());
    // Everything the service does is told and logged from the first port on.
    TransferRecorder recorder(Clock::system());
    recorder.watchAll(registry);
    QObject::connect(&recorder.log(), &TransferLog::failed,
                     [](const QString &file, const QString &reason) {
                         say(QStringLiteral("The transfer log %1 cannot be written: %2")
                                 .arg(QDir::toNativeSeparators(file), reason));
                     });
    config.load();
    const QString file = QDir::toNativeSeparators(config.filePath());
    if (!config.readError().isEmpty()) {
        return fail(2, QStringLiteral("%1 cannot be read: %2").arg(file, config.readError()));
    }
    const int count = servedCount(config.table());
    if (count == 0) {
        return fail(2, QStringLiteral("no machine in %1 is served (Mode SERVER); nothing to do")
                           .arg(file));
    }
    say(serving(count, file));
    ServiceLog events(registry, recorder, say);
    registry.sync();

    // A stop ends every send at a whole block and keeps every punch coming
    // in as incomplete; a send the machine holds gets StopGraceMs to be let
    // go, or a second signal, before what it holds is dropped.
    constexpr int StopGraceMs = 10000;
    StopSignals stopSignals;
    stopSignals.listenForReload();
    Timer *grace = Clock::system().createTimer(&registry);
    int stops = 0;
    auto stopAll = [&] {
        for (const QString &line : registry.shutDown())
            say(line);
    };
    bool ended = false;
    auto quitWhenDone = [&] {
        if (stops == 0 || registry.anyTransferring() || std::exchange(ended, true)) return;
        // A punch its machine's folder would not take is kept beside the
        // configuration rather than lost with the process.
        for (const QString &line : registry.keepUnsavedPunches())
            say(line);
        say(QStringLiteral("Stopped."));
        QCoreApplication::exit(0);
    };
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &registry, [&](int signal) {
        if (stops++ == 0) {
            say(QStringLiteral("%1: stopping; sends end at a whole block")
                    .arg(signal == 15 ? QStringLiteral("SIGTERM") : QStringLiteral("SIGINT")));
            grace->start(StopGraceMs);
        } else {
            say(QStringLiteral("Stopping now: what a machine holds back is dropped"));
        }
        stopAll();
        quitWhenDone();
    });
    QObject::connect(grace, &Timer::timeout, &registry, [&] {
        ++stops;
        stopAll();
        quitWhenDone();
    });
    // SIGHUP (systemctl reload): the file read again, the machines follow.
    QObject::connect(&stopSignals, &StopSignals::reloadRequested, &registry, [&] {
        if (stops > 0) return;
        if (!registry.reload()) {
            say(QStringLiteral("%1 cannot be read: %2; the machines go on as they were")
                    .arg(file, config.readError()));
            return;
        }
        say(QStringLiteral("Reloaded: ") + serving(servedCount(config.table()), file));
    });
    QObject::connect(&registry, &MachineRegistry::allIdle, &registry, quitWhenDone,
                     Qt::QueuedConnection);
    return QCoreApplication::exec();
}
