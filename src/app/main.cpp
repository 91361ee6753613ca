#include "core/anyport.h"
#include "core/clock.h"
#include "core/configstore.h"
#include "core/instancelock.h"
#include "core/link.h"
#include "core/transferrecorder.h"
#include "core/qtserialport.h"
#include "core/workshop.h"
#include "ui/mainwindow.h"
#include "ui/platform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

namespace
{
enum class Start { Run, Exit, Fail };

// --help and --version answer before the window system is touched, so they
// work without a display. Qt's own options (-platform, -style, ...) are
// accepted and left for QApplication.
Start parseCommandLine(int argc, char *argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sends CNC part programs to machine tools over RS-232 and receives them."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin", "style",
                             "stylesheet", "display", "geometry", "qwindowgeometry", "qwindowicon",
                             "qwindowtitle", "session", "qmljsdebugger"}) {
        QCommandLineOption qt(QString::fromLatin1(name), {}, QStringLiteral("value"));
        qt.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qt);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption qt(QString::fromLatin1(name));
        qt.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qt);
    }
    if (!parser.parse(args)) {
        std::fprintf(stderr, "tavrin: %s\nTry 'tavrin --help'.\n", qPrintable(parser.errorText()));
        return Start::Fail;
    }
    const bool wantsHelp = parser.isSet(help);
    if (wantsHelp || parser.isSet(version)) {
        // Without an application object the parser cannot name the program.
        const QString text =
            wantsHelp ? parser.helpText().replace(QLatin1String("<executable_name>"),
                                                  QLatin1String("tavrin"))
                      : QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                      QCoreApplication::applicationVersion());
        std::fputs(qPrintable(text), stdout);
        return Start::Exit;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "tavrin: unexpected argument '%s'\nTry 'tavrin --help'.\n",
                     qPrintable(parser.positionalArguments().constFirst()));
        return Start::Fail;
    }
    return Start::Run;
}

// Run from its build or a folder of its own, the program keeps zoZad.ini
// beside itself; installed (its metainfo in the share folder beside bin),
// in the user's folder, even where it could write to the system's.
QString configFolder()
{
    const QDir here(QCoreApplication::applicationDirPath());
    return QFileInfo::exists(here.filePath(QStringLiteral(TAVRIN_INSTALLED_MARKER)))
               ? ConfigStore::defaultUserFolder()
               : here.path();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Tavrin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Tavrin"));
    switch (parseCommandLine(argc, argv)) {
    case Start::Exit:
        return 0;
    case Start::Fail:
        return 2;
    case Start::Run:
        break;
    }

    QApplication app(argc, argv);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrin.Tavrin"));
    QtPortList ports;
    const QString userFolder = ConfigStore::defaultUserFolder();
    const QString folder = configFolder();
    if (folder == userFolder) QDir().mkpath(userFolder);
    ConfigStore config(folder, userFolder);
    QtPlatform platform;
    // One program per configuration. Where the file in use cannot have a
    // lock beside it (a read-only share), the user's file, which takes every
    // change then, is the one locked.
    InstanceLock lock;
    InstanceLock::Result locked = lock.acquire(config.filePath(), QStringLiteral("tavrin"));
    QString lockedFile = config.filePath();
    if (locked == InstanceLock::Result::Failed && !userFolder.isEmpty()) {
        QDir().mkpath(userFolder);
        lockedFile = QDir(userFolder).filePath(QStringLiteral("zoZad.ini"));
        locked = lock.acquire(lockedFile, QStringLiteral("tavrin"));
    }
    if (locked == InstanceLock::Result::Held) {
        const QString text = lock.heldMessage(lockedFile);
        std::fprintf(stderr, "tavrin: %s\n", qPrintable(text));
        platform.message(nullptr, text, QStringLiteral("Tavrin"), QMessageBox::Ok,
                         Platform::Icon::Warning);
        return 1;
    }
    // Each machine's port: a serial device of this computer, or a network
    // serial server.
    Workshop workshop(
        config,
        [] {
            auto port = std::make_shared<AnyPort>(Clock::system());
            port->setObjectName(QStringLiteral("s1"));
            return port;
        },
        ports, Clock::system());
    TransferRecorder recorder(Clock::system());
    recorder.watchAll(workshop);
    MainWindow window(workshop, platform);
    window.reportLogFailures(recorder.log());
    QObject::connect(&window, &MainWindow::quitRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!window.open()) return 1;
    window.show();
    return app.exec();
}
