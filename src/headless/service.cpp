#include "headless/service.h"

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "process/instancelock.h"
#include "core/ports/qtserialport.h"
#include "core/serving/servedmachine.h"
#include "core/log/transferrecorder.h"
#include "core/machines/workshop.h"
#include "process/claimedports.h"
#include "headless/commandsupport.h"
#include "process/configlocation.h"
#include "headless/servicelog.h"
#include "process/stopsignals.h"

#include <QCoreApplication>
#include <QDir>
#include <utility>


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
    Workshop workshop(config, claimedPorts(config, QStringLiteral("tavrin --serve")), ports,
                      Clock::system());
    // Everything the service does is told and logged from the first port on.
    TransferRecorder recorder(Clock::system());
    recorder.watchAll(workshop);
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
    int count = 0;
    for (int i = 1; i <= config.table().count(); ++i)
        count += Workshop::isServed(config.table().at(i)) ? 1 : 0;
    if (count == 0) {
        return fail(2, QStringLiteral("no machine in %1 is served (Mode SERVER); nothing to do")
                           .arg(file));
    }
    say(QStringLiteral("Serving %1 %2 of %3")
            .arg(count)
            .arg(count == 1 ? QStringLiteral("machine") : QStringLiteral("machines"), file));
    ServiceLog events(workshop, recorder, say);
    workshop.reload();

    // A stop ends every send at a whole block and saves every punch coming
    // in; a send the machine holds gets StopGraceMs to be let go, or a
    // second signal, before what it holds is dropped.
    constexpr int StopGraceMs = 10000;
    StopSignals stopSignals;
    Timer *grace = Clock::system().createTimer(&workshop);
    int stops = 0;
    auto stopAll = [&] {
        for (int i = 1; i <= workshop.machines().count(); ++i) {
            ServedMachine *s = workshop.servedAt(i);
            if (const int dropped = s ? s->shutDown() : 0)
                say(QStringLiteral("%1: %2 answer(s) to requests not sent: stopping")
                        .arg(workshop.machines().at(i).name())
                        .arg(dropped));
        }
    };
    bool ended = false;
    auto quitWhenDone = [&] {
        if (stops == 0 || workshop.active() || std::exchange(ended, true)) return;
        // A punch its machine's folder would not take is kept beside the
        // configuration rather than lost with the process.
        for (const QString &line : workshop.keepUnsavedPunches(unsavedPunchFolder(config)))
            say(line);
        say(QStringLiteral("Stopped."));
        QCoreApplication::exit(0);
    };
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &workshop, [&](int signal) {
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
    QObject::connect(grace, &Timer::timeout, &workshop, [&] {
        ++stops;
        stopAll();
        quitWhenDone();
    });
    for (int i = 1; i <= workshop.machines().count(); ++i)
        if (Link *link = workshop.linkAt(i))
            QObject::connect(link, &Link::stateChanged, &workshop, quitWhenDone,
                             Qt::QueuedConnection);
    return QCoreApplication::exec();
}
