#include "headless/commands.h"

#include "process/claimedport.h"
#include "core/config/configstore.h"
#include "core/machines/workshop.h"
#include "process/claimedports.h"
#include "headless/commandsupport.h"
#include "headless/machinelist.h"
#include "process/configlocation.h"
#include "web/statustoken.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <memory>
#include <vector>

#include <cstdio>
#include <unistd.h>

namespace
{
struct Form {
    const char *name;
    const char *usage;
    const char *help;
    int positionals;
};

const Form kForms[] = {
    {"send", "tavrin send MACHINE FILE [--from-line N] [--force] [--config FOLDER]",
     "Sends the program FILE to MACHINE (its name, or its number 1-9 on the panel) with the\n"
     "machine's settings, as the window's Send does, and ends when the send ends. Progress\n"
     "goes to standard error: one line redrawn on a terminal, otherwise a line at the start,\n"
     "at every 10 %, when the machine holds or resumes, and at the end.\n"
     "\n"
     "  --from-line N    starts at line N of FILE (the first line is 1)\n"
     "  --force          sends FILE even with characters the machine's control refuses\n"
     "  --config FOLDER  the folder of the configuration file zoZad.ini\n"
     "\n"
     "Exit status: 0 sent; 1 stopped by SIGINT or SIGTERM (at a whole block); 2 wrong\n"
     "arguments, an unknown machine, a FILE that cannot be read or, where the machine has\n"
     "a character check, holds characters its control refuses (each one is named); 3 the\n"
     "port is in use, cannot be opened, or was lost.\n",
     2},
    {"receive", "tavrin receive MACHINE FILE [--config FOLDER]",
     "Receives one program punched by MACHINE and writes it into FILE exactly as punched. The\n"
     "punch ends as a served machine's does: at its closing '%', at the machine's end code,\n"
     "or after 3 seconds of silence. Stopped (SIGINT, SIGTERM) or cut off before it ends,\n"
     "nothing is written.\n"
     "\n"
     "  --config FOLDER  the folder of the configuration file zoZad.ini\n"
     "\n"
     "Exit status: 0 received; 1 stopped; 2 wrong arguments, an unknown machine or a FILE\n"
     "that cannot be written; 3 the port is in use, cannot be opened, or was lost.\n",
     2},
    {"machines", "tavrin machines [--config FOLDER]... [--format json]",
     "Lists the machines, one a line: number, port, speed, data format, flow control (as\n"
     "the panel names it), mode (attended or served), and last the name, which may hold\n"
     "blanks. Two blanks or more stand between columns. With several configurations, each\n"
     "list follows a line naming its file.\n"
     "\n"
     "  --config FOLDER  the folder of a configuration file zoZad.ini (more than once: each)\n"
     "  --format json    an array of objects instead: config, number, name, port, speed,\n"
     "                   format, flow, mode\n",
     0},
    {"token", "tavrin token [--config FOLDER]",
     "Prints the token the service's status page asks for before it sends or stops (and,\n"
     "bound to an address other than loopback, before it shows anything): 32 hex digits\n"
     "kept in status-token beside zoZad.ini, readable by its owner only, made when missing.\n"
     "Open the page as http://ADDRESS:PORT/?token=TOKEN to use its Send and Stop.\n"
     "\n"
     "  --config FOLDER  the folder of the configuration file zoZad.ini\n",
     0},
};

int usage(const Form &form, const QString &error)
{
    std::fprintf(stderr, "tavrin: %s\nUsage: %s\nTry 'tavrin %s --help'.\n", qPrintable(error),
                 form.usage, form.name);
    return StatusUsage;
}

// The machine named `given`, or numbered so on the panel; 0 when none is.
int findMachine(const MachineTable &table, const QString &given)
{
    for (int i = 1; i <= table.count(); ++i)
        if (table.at(i).name() == given) return i;
    bool number = false;
    const int slot = given.toInt(&number);
    return number && table.contains(slot) ? slot : 0;
}

} // namespace

bool isCommand(const QString &firstArgument)
{
    for (const Form &form : kForms)
        if (firstArgument == QLatin1String(form.name)) return true;
    return false;
}

int runCommand(const QStringList &arguments)
{
    const Form *form = std::find_if(std::begin(kForms), std::end(kForms), [&](const Form &f) {
        return arguments.value(0) == QLatin1String(f.name);
    });
    if (form == std::end(kForms)) return fail(StatusUsage, QStringLiteral("no such command"));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, {});
    const QCommandLineOption config(QStringLiteral("config"), {}, QStringLiteral("FOLDER"));
    const QCommandLineOption fromLine(QStringLiteral("from-line"), {}, QStringLiteral("N"));
    const QCommandLineOption force(QStringLiteral("force"));
    const QCommandLineOption format(QStringLiteral("format"), {}, QStringLiteral("FORMAT"));
    parser.addOptions({help, config});
    const bool sending = QLatin1String(form->name) == QLatin1String("send");
    const bool tokens = QLatin1String(form->name) == QLatin1String("token");
    const bool listing = form->positionals == 0 && !tokens;
    if (sending) parser.addOptions({fromLine, force});
    if (listing) parser.addOption(format);
    if (!parser.parse(QStringList{QStringLiteral("tavrin")} + arguments.mid(1)))
        return usage(*form, parser.errorText());
    if (parser.isSet(help)) {
        std::printf("Usage: %s\n\n%s", form->usage, form->help);
        return StatusDone;
    }
    const QStringList given = parser.positionalArguments();
    if (given.size() != form->positionals)
        return usage(*form, given.size() < form->positionals
                                ? QStringLiteral("missing arguments")
                                : QStringLiteral("unexpected argument '%1'")
                                      .arg(given.value(form->positionals)));
    if (!listing && parser.values(config).size() > 1)
        return usage(*form, QStringLiteral("--config is given once"));
    if (listing && parser.isSet(format) && parser.value(format) != u"json")
        return usage(*form, QStringLiteral("--format takes json"));
    int line = 1;
    if (sending && parser.isSet(fromLine)) {
        bool number = false;
        line = parser.value(fromLine).toInt(&number);
        if (!number || line < 1)
            return usage(*form, QStringLiteral("--from-line takes a line number from 1 on"));
    }

    // The same configuration files the window would use; they are only read.
    const QStringList folders =
        parser.values(config).isEmpty() ? QStringList{QString()} : parser.values(config);
    std::vector<std::unique_ptr<ConfigStore>> stores;
    for (const QString &folder : folders) {
        stores.push_back(std::make_unique<ConfigStore>(configFolder(folder), userConfigFolder(folder)));
        ConfigStore &store = *stores.back();
        store.load();
        if (!store.readError().isEmpty())
            return fail(StatusUsage, QStringLiteral("the configuration file \"%1\" cannot be read: %2")
                                         .arg(QDir::toNativeSeparators(store.filePath()),
                                              store.readError()));
    }
    if (tokens) {
        QString why;
        const QString token = StatusToken::ensure(folderOf(*stores.front()), &why);
        if (token.isEmpty()) return fail(StatusUsage, why);
        std::printf("%s\n", qPrintable(token));
        return StatusDone;
    }
    if (listing) {
        QList<const ConfigStore *> all;
        for (const auto &store : stores)
            all << store.get();
        return listMachines(all, parser.isSet(format));
    }
    ConfigStore &store = *stores.front();
    const QString file = QDir::toNativeSeparators(store.filePath());
    const int slot = findMachine(store.table(), given[0]);
    if (slot == 0)
        return fail(StatusUsage,
                    QStringLiteral("there is no machine \"%1\" in \"%2\" ('tavrin machines' "
                                   "lists them)")
                        .arg(given[0], file));
    return sending ? runSend(store, slot, given[1], line, parser.isSet(force))
                   : runReceive(store, slot, given[1]);
}

int fail(int status, const QString &text)
{
    std::fprintf(stderr, "tavrin: %s\n", qPrintable(text));
    return status;
}

void say(const QString &line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

bool onTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void quitWith(int status)
{
    QTimer::singleShot(0, qApp, [status] { QCoreApplication::exit(status); });
}

QString folderOf(const ConfigStore &config)
{
    return QFileInfo(config.filePath()).absolutePath();
}

std::shared_ptr<ClaimedPort> commandPort(const ConfigStore &config, const QString &who)
{
    const QString folder = folderOf(config);
    return claimedPort([folder] { return folder; }, who);
}

QString lineText(const ClaimedPort &port, const MachineConfig &machine)
{
    LineSettings line = port.settings();
    line.handshake = Handshake::None; // the flow control says it
    return line.toString() + QStringLiteral(", ") + MachineConfig::flowName(machine.value(Key::Flow));
}

QString portRefusal(const ClaimedPort &port, const MachineConfig &machine)
{
    const QString which =
        QStringLiteral("the port %1 of machine \"%2\"").arg(machine.port(), machine.name());
    if (port.claimedElsewhere()) return which + QStringLiteral(" is ") + port.errorString();
    const QString why = port.errorString();
    return which + QStringLiteral(" cannot be opened") + (why.isEmpty() ? QString() : ": " + why);
}
