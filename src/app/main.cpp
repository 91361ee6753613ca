#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "process/exitstatus.h"
#include "process/instancelock.h"
#include "core/link/link.h"
#include "core/log/transferrecorder.h"
#include "core/ports/qtserialport.h"
#include "core/machines/workshop.h"
#include "process/claimedports.h"
#include "headless/commands.h"
#include "process/configlocation.h"
#include "headless/service.h"
#include "web/statusserver.h"
#include "ui/mainwindow.h"
#include "ui/platform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <cstdio>

namespace
{
enum class Start { Run, Serve, Exit, Fail };

struct Options {
    QString configFolder;
    QStringList configFolders; // --config given more than once (the service)
    QString platform; // -platform, if given
    QString http;     // --http, for the service's status page
};

const char kForms[] =
    "\nForms:\n"
    "  tavrin [--config FOLDER]                  the window\n"
    "  tavrin --serve [--config FOLDER]...       serves the served machines, no window\n"
    "        [--http [ADDRESS:]PORT|off]         and a status page (127.0.0.1:8420)\n"
    "  tavrin send MACHINE FILE [--from-line N]  sends a program to a machine\n"
    "  tavrin receive MACHINE FILE               receives one punch into FILE\n"
    "  tavrin machines                           lists the machines and their ports\n"
    "  tavrin token                              prints the status page's token\n"
    "Each takes --config FOLDER, and says more with --help (tavrin send --help).\n";

// --help and --version answer before the window system is touched, so they
// work without a display. Qt's own options (-platform, -style, ...) are
// accepted and left for QApplication.
Start parseCommandLine(int argc, char *argv[], Options &options)
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
    const QCommandLineOption serve(
        QStringLiteral("serve"),
        QStringLiteral("Serves every served machine without a window, until SIGTERM or SIGINT."));
    parser.addOption(serve);
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("The folder of the configuration file zoZad.ini to use."),
        QStringLiteral("FOLDER"));
    parser.addOption(config);
    const QCommandLineOption http(
        QStringLiteral("http"),
        QStringLiteral("With --serve: the status page's address and port, or off "
                       "(default 127.0.0.1:8420)."),
        QStringLiteral("[ADDRESS:]PORT"));
    parser.addOption(http);
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
                                                  QLatin1String("tavrin")) +
                               QLatin1String(kForms)
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
    options.configFolder = parser.value(config);
    options.configFolders = parser.values(config);
    if (options.configFolders.size() > 1 && !parser.isSet(serve)) {
        std::fprintf(stderr, "tavrin: --config is given once, except to tavrin --serve\nTry 'tavrin --help'.\n");
        return Start::Fail;
    }
    if (parser.isSet(http) && !parser.isSet(serve)) {
        std::fprintf(stderr, "tavrin: --http is for tavrin --serve\nTry 'tavrin --help'.\n");
        return Start::Fail;
    }
    options.http = parser.value(http);
    QHostAddress address;
    quint16 port = 0;
    if (parser.isSet(http) && options.http != u"off" &&
        !StatusServer::parseAddress(options.http, &address, &port)) {
        std::fprintf(stderr, "tavrin: --http takes [ADDRESS:]PORT or off\nTry 'tavrin --help'.\n");
        return Start::Fail;
    }
    options.platform = parser.value(QStringLiteral("platform"));
    return parser.isSet(serve) ? Start::Serve : Start::Run;
}

// True when the window has a display to open on, or is to open on a
// platform that needs none (offscreen). Without one Qt would abort the
// program, so it is told in a line instead.
bool hasDisplay(const QString &chosen)
{
    const QString platform =
        chosen.isEmpty() ? qEnvironmentVariable("QT_QPA_PLATFORM") : chosen;
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    if (platform.isEmpty()) return x11 || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    for (const QString &one : platform.split(u';', Qt::SkipEmptyParts))
        if (!one.startsWith(QLatin1String("xcb")) || x11) return true;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Tavrin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRIN_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Tavrin"));
    if (argc > 1 && isCommand(QString::fromLocal8Bit(argv[1]))) {
        QCoreApplication app(argc, argv);
        return runCommand(QCoreApplication::arguments().mid(1));
    }
    Options options;
    switch (parseCommandLine(argc, argv, options)) {
    case Start::Exit:
        return StatusDone;
    case Start::Fail:
        return StatusUsage;
    case Start::Serve: {
        // No window system is touched: the service runs with nobody logged in.
        QCoreApplication app(argc, argv);
        return runService(options.configFolders, options.http);
    }
    case Start::Run:
        break;
    }
    if (!hasDisplay(options.platform)) {
        std::fputs("tavrin: the window needs a display, and none is set (DISPLAY, WAYLAND_DISPLAY); "
                   "tavrin --serve and the command line forms run without one (tavrin --help)\n",
                   stderr);
        return StatusStopped;
    }

    QApplication app(argc, argv);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrin.Tavrin"));
    QtPortList ports;
    const QString userFolder = userConfigFolder(options.configFolder);
    const QString folder = configFolder(options.configFolder);
    if (folder == userFolder) QDir().mkpath(userFolder);
    ConfigStore config(folder, userFolder);
    QtPlatform platform;
    // One program per configuration.
    InstanceLock lock;
    QString lockedFile, text;
    const LockResult locked = lockConfiguration(lock, config.filePath(), userFolder,
                                                QStringLiteral("tavrin"), &lockedFile);
    if (const int status = lockEnding(lock, locked, lockedFile, &text)) {
        std::fprintf(stderr, "tavrin: %s\n", qPrintable(text));
        platform.message(nullptr, text, QStringLiteral("Tavrin"), QMessageBox::Ok,
                         Platform::Icon::Warning);
        return status;
    }
    // Each machine's port: a serial device of this computer, or a network
    // serial server, claimed while open so that no command line takes it.
    Workshop workshop(config, claimedPorts(config, QStringLiteral("tavrin")),
                      ports, Clock::system());
    TransferRecorder recorder(Clock::system());
    recorder.watchAll(workshop.registry());
    MainWindow window(workshop, platform);
    window.reportLogFailures(recorder.log());
    QObject::connect(&window, &MainWindow::quitRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!window.open()) return StatusHeld;
    window.show();
    const int status = app.exec();
    // A punch coming in is kept, and punches still waiting for a served
    // machine's folder outlive the window.
    for (const QString &line : workshop.endAll())
        std::fprintf(stderr, "tavrin: %s\n", qPrintable(line));
    return status;
}
