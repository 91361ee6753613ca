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
#include "web/statusserver.h"
#include "web/statustoken.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <memory>
#include <vector>

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

// One configuration the service serves: its own file, lock, port claims,
// machines and transfer log. Several share the one event loop.
struct Served {
    ConfigStore config;
    InstanceLock lock;
    QtPortList ports;
    std::unique_ptr<MachineRegistry> registry;
    std::unique_ptr<TransferRecorder> recorder;
    std::unique_ptr<ServiceLog> events;
    std::unique_ptr<ServiceStop> stop;
    bool stopped = false;
    QString token;
    QString tokenProblem;
    // Said before each machine's line when several configurations share
    // the journal, where two cells may both have a "Mill".
    QString label;

    explicit Served(const QString &given) : config(configFolder(given), userConfigFolder(given)) {}
    QString file() const { return QDir::toNativeSeparators(config.filePath()); }

    // Locks the configuration and reads it; the status to end with, and
    // why, when it cannot be served.
    int open(const QString &given, QString *why)
    {
        QString lockedFile;
        const LockResult locked =
            lockConfiguration(lock, config.filePath(), userConfigFolder(given),
                              QStringLiteral("tavrin --serve"), &lockedFile);
        if (const int status = lockEnding(lock, locked, lockedFile, why)) return status;
        // Each port claimed, so that the command line never takes one served.
        registry = std::make_unique<MachineRegistry>(
            config, claimedPorts(config, QStringLiteral("tavrin --serve")), ports, Clock::system());
        // Everything the service does is told and logged from the first port on.
        recorder = std::make_unique<TransferRecorder>(Clock::system());
        recorder->watchAll(*registry);
        QObject::connect(&recorder->log(), &TransferLog::failed,
                         [](const QString &log, const QString &reason) {
                             say(QStringLiteral("The transfer log %1 cannot be written: %2")
                                     .arg(QDir::toNativeSeparators(log), reason));
                         });
        config.load();
        if (!config.readError().isEmpty()) {
            *why = QStringLiteral("%1 cannot be read: %2").arg(file(), config.readError());
            return StatusUsage;
        }
        token = StatusToken::ensure(QFileInfo(config.filePath()).absolutePath(), &tokenProblem);
        if (servedCount(config.table()) == 0) {
            *why = QStringLiteral("no machine in %1 is served (Mode SERVER); nothing to do")
                       .arg(file());
            return StatusUsage;
        }
        return StatusDone;
    }
    void start()
    {
        say(serving(servedCount(config.table()), file()));
        const auto tell = [this](const QString &line) {
            say(label.isEmpty() ? line : QStringLiteral("[%1] %2").arg(label, line));
        };
        events = std::make_unique<ServiceLog>(*registry, *recorder, tell);
        registry->sync();
        stop = std::make_unique<ServiceStop>(*registry, Clock::system(), tell);
    }
};

// The same file given twice would be locked against itself.
QString twice(const QStringList &given)
{
    QStringList files;
    for (const QString &g : given) {
        const QString file = QFileInfo(ConfigStore(configFolder(g), userConfigFolder(g)).filePath())
                                 .absoluteFilePath();
        if (files.contains(file)) return QDir::toNativeSeparators(file);
        files << file;
    }
    return {};
}

// Each configuration's folder name, or its whole path where two names
// are the same; none when only one configuration is served.
void label(const std::vector<std::unique_ptr<Served>> &served)
{
    if (served.size() < 2) return;
    QStringList names;
    for (const auto &s : served)
        names << QFileInfo(QDir::cleanPath(s->config.folder())).fileName();
    for (size_t i = 0; i < served.size(); ++i)
        served[i]->label =
            names.count(names[int(i)]) == 1 && !names[int(i)].isEmpty()
                ? names[int(i)]
                : QDir::toNativeSeparators(QDir::cleanPath(served[i]->config.folder()));
}
} // namespace

// The status page, first of what the service says: where it is, or why it
// is not. The machines are served either way.
static std::unique_ptr<StatusServer> statusPage(const QString &http,
                                                const std::vector<std::unique_ptr<Served>> &served)
{
    if (http == u"off") return nullptr;
    QHostAddress address(QHostAddress::LocalHost);
    quint16 port = StatusServer::DefaultPort;
    const QString shown = http.isEmpty() ? QStringLiteral("127.0.0.1:%1").arg(port) : http;
    auto server = std::make_unique<StatusServer>(Clock::system());
    for (const auto &s : served)
        server->serve(*s->registry, *s->recorder, s->token);
    QString why;
    if (!http.isEmpty() && !StatusServer::parseAddress(http, &address, &port))
        why = QStringLiteral("not an address and port");
    if (why.isEmpty() && server->listen(address, port, &why)) {
        say(QStringLiteral("Status page: %1").arg(server->url()));
        return server;
    }
    say(QStringLiteral("Status page: %1 cannot be served (%2); serving the machines without it")
            .arg(shown, why));
    return nullptr;
}

int runService(const QStringList &givenFolders, const QString &http)
{
    const QStringList given = givenFolders.isEmpty() ? QStringList{QString()} : givenFolders;
    if (const QString file = twice(given); !file.isEmpty())
        return fail(StatusUsage, QStringLiteral("%1 is given twice").arg(file));
    std::vector<std::unique_ptr<Served>> served;
    for (const QString &g : given) {
        served.push_back(std::make_unique<Served>(g));
        QString why;
        if (const int status = served.back()->open(g, &why)) return fail(status, why);
    }
    label(served);
    const std::unique_ptr<StatusServer> page = statusPage(http, served);
    for (auto &s : served)
        if (!s->tokenProblem.isEmpty())
            say(QStringLiteral("The status page takes no actions for %1: %2")
                    .arg(s->file(), s->tokenProblem));
    ServiceNotify notify(Clock::system());
    for (auto &s : served) {
        s->start();
        notify.watch(*s->registry);
    }
    // Ready once every file is read and every port tried.
    notify.ready();

    StopSignals stopSignals;
    stopSignals.listenForReload();
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &notify, &ServiceNotify::stopping);
    // SIGHUP (systemctl reload): the files read again, the machines follow.
    QObject::connect(&stopSignals, &StopSignals::reloadRequested, &notify, [&] {
        notify.reloading();
        for (auto &s : served)
            s->stop->reload();
        notify.ready();
    });
    for (auto &s : served) {
        QObject::connect(&stopSignals, &StopSignals::stopRequested, s->stop.get(),
                         &ServiceStop::stop);
        // The service ends when the last configuration has stopped.
        QObject::connect(s->stop.get(), &ServiceStop::finished, s->stop.get(), [&, s = s.get()] {
            s->stopped = true;
            if (std::all_of(served.begin(), served.end(), [](auto &o) { return o->stopped; }))
                QCoreApplication::exit(0);
        });
    }
    return QCoreApplication::exec();
}
