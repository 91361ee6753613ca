#include "headless/service.h"

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/log/transferrecorder.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"
#include "core/ports/qtserialport.h"
#include "headless/commandsupport.h"
#include "headless/servicelog.h"
#include "headless/servicenotify.h"
#include "headless/servicestop.h"
#include "process/claimedports.h"
#include "process/configlocation.h"
#include "process/instancelock.h"
#include "process/stopsignals.h"

#include <QCoreApplication>
#include <QDir>

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
    QString lockedFile, text;
    const LockResult locked = lockConfiguration(lock, config.filePath(), userFolder,
                                                QStringLiteral("tavrin --serve"), &lockedFile);
    if (const int status = lockEnding(lock, locked, lockedFile, &text)) return fail(status, text);
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
        return fail(StatusUsage, QStringLiteral("%1 cannot be read: %2").arg(file, config.readError()));
    }
    const int count = servedCount(config.table());
    if (count == 0) {
        return fail(StatusUsage, QStringLiteral("no machine in %1 is served (Mode SERVER); nothing to do")
                           .arg(file));
    }
    say(serving(count, file));
    ServiceLog events(registry, recorder, say);
    registry.sync();

    // Ready once the file is read and every port tried.
    ServiceNotify notify(Clock::system());
    notify.watch(registry);
    notify.ready();

    ServiceStop stop(registry, Clock::system(), say);
    StopSignals stopSignals;
    stopSignals.listenForReload();
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &notify, &ServiceNotify::stopping);
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &stop, &ServiceStop::stop);
    // SIGHUP (systemctl reload): the file read again, the machines follow.
    QObject::connect(&stopSignals, &StopSignals::reloadRequested, &stop, [&] {
        notify.reloading();
        stop.reload();
        notify.ready();
    });
    QObject::connect(&stop, &ServiceStop::finished, &stop, &QCoreApplication::exit);
    return QCoreApplication::exec();
}
