// The command line end to end: the real program, a pseudo-terminal as the
// machine, a configuration of its own given with --config.

#include "process/claimedport.h"
#include "process/instancelock.h"
#include "fakeport.h"
#include "machinevalues.h"
#include "pty.h"
#include "shoprig.h"
#include "sim/simcontrol.h"

#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

namespace
{
struct Cli {
    QTemporaryDir dir;
    Pty pty;
    QProcess tavrin;

    // `more`: further values of the machine, "|KEY=value".
    explicit Cli(const QString &flow = "0", bool served = false, const QString &more = {})
    {
        QFile ini(dir.filePath("zoZad.ini"));
        (void)ini.open(QIODevice::WriteOnly);
        ini.write(iniFile({"MCNAME=Mill|MCPORT=" + pty.slavePath() +
                           "|MCDRATE=115200|MCDBITS=8|MCPARITY=None|MCBLKTIC=Fast|MCEOB=CRLF|MCFLOW=" + flow +
                           (served ? "|MCMODE=SERVER|MCEXTENS=nc|MCFOLDER=" + dir.path() : "") +
                           more}));
        // The program must not inherit the machine's end of the line.
        for (const int fd : {pty.masterFd(), pty.slaveFd()})
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path()); // no user's file of the host's
        env.insert("QT_QPA_PLATFORM", "xcb");      // and no display: none is needed
        env.insert("DISPLAY", "");
        env.insert("WAYLAND_DISPLAY", "");
        tavrin.setProcessEnvironment(env);
    }
    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : "";
    }
    void start(QStringList args)
    {
        errText.clear();
        // The status page has its own test; its line would lead every service's output.
        if (args.contains("--serve")) args << "--http" << "off";
        tavrin.start(TAVRIN_BINARY, args << "--config" << dir.path());
        QVERIFY(tavrin.waitForStarted());
    }
    // Runs until the program ends, the test playing the machine meanwhile.
    int finish(int timeoutMs = 10000)
    {
        if (!QTest::qWaitFor([&] { return tavrin.state() == QProcess::NotRunning; }, timeoutMs))
            return -1;
        return tavrin.exitCode();
    }
    // Standard error since the start.
    QString err() { return errText += QString::fromUtf8(tavrin.readAllStandardError()); }
    QString errText;
    QByteArray log() { return readFile(dir.filePath("transfers.log")); }
};

// systemd's end of the notify protocol: a datagram socket the service is
// told of, as systemd tells it.
struct NotifySocket {
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    QStringList got;
    // Read as it comes, as systemd does: a full queue would hold the sender.
    QSocketNotifier notifier{fd, QSocketNotifier::Read};
    explicit NotifySocket(Cli &c)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { read(); });
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray path = c.dir.filePath("notify").toLocal8Bit();
        qstrncpy(a.sun_path, path.constData(), sizeof a.sun_path);
        (void)::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        QProcessEnvironment env = c.tavrin.processEnvironment();
        env.insert("NOTIFY_SOCKET", path);
        env.insert("WATCHDOG_USEC", "200000");
        c.tavrin.setProcessEnvironment(env);
    }
    ~NotifySocket() { ::close(fd); }
    // Every message since the start, the watchdog's counted apart.
    int fed = 0;
    const QStringList &read()
    {
        char buf[512];
        for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) {
            const QString m = QString::fromUtf8(buf, n);
            m == "WATCHDOG=1" ? void(++fed) : got.append(m);
        }
        return got;
    }
};

QByteArray program(int lines)
{
    QByteArray out;
    for (int i = 1; i <= lines; ++i)
        out += "N" + QByteArray::number(i * 10) + " G01 X" + QByteArray::number(i) + ".5\n";
    return out;
}

// Another user (nobody) plants `what` at `path` from a process of theirs that
// then runs on as "sleep 30", holding what it opened: "link" (to `target`),
// "hard" (a hard link to `target`), "theirs" (a file), "theirs held" (a file
// it locks), "flock" (a shared lock on the file there). Its process id, or -1.
pid_t asAnotherUser(const QString &what, const QByteArray &path, const QByteArray &target)
{
    int ready[2] = {-1, -1};
    const int kind = QStringList{"link", "hard", "theirs", "theirs held", "flock"}.indexOf(what);
    const pid_t child = ::pipe(ready) == 0 ? ::fork() : -1;
    if (child == 0) {
        const int fd = ::setgid(65534) || ::setuid(65534) ? -1
                       : kind == 0                        ? ::symlink(target, path)
                       : kind == 1                        ? ::link(target, path)
                                   : ::open(path, kind == 4 ? O_RDONLY : O_RDWR | O_CREAT, 0600);
        const char ok = fd >= 0 && (kind < 3 || ::flock(fd, kind == 3 ? LOCK_EX : LOCK_SH) == 0);
        (void)!::write(ready[1], &ok, 1);
        ::execl("/bin/sleep", "sleep", "30", nullptr);
        ::_exit(1);
    }
    char ok = 0;
    if (child > 0 && !(::read(ready[0], &ok, 1) == 1 && ok))
        ::kill(child, SIGKILL), ::waitpid(child, nullptr, 0);
    ::close(ready[0]), ::close(ready[1]);
    return ok ? child : -1;
}
} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void refused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown machine") << QStringList{"send", "Lathe", "p.nc"}
                                         << "tavrin: there is no machine \"Lathe\" in \"%1/zoZad.ini\" "
                                            "('tavrin machines' lists them)\n";
        QTest::newRow("no file") << QStringList{"send", "Mill"}
                                 << "tavrin: missing arguments\nUsage: tavrin send MACHINE FILE "
                                    "[--from-line N] [--force] [--config FOLDER]\nTry 'tavrin "
                                    "send --help'.\n";
        QTest::newRow("line 0") << QStringList{"send", "1", "p.nc", "--from-line", "0"}
                                << "tavrin: --from-line takes a line number from 1 on\nUsage: tavrin "
                                   "send MACHINE FILE [--from-line N] [--force] [--config "
                                   "FOLDER]\nTry 'tavrin send --help'.\n";
        // Mill's control refuses lower case in comments (p.nc: "G00 (ab)").
        QTest::newRow("refused characters")
            << QStringList{"send", "Mill", "%1/p.nc"}
            << "tavrin: p.nc has 2 characters the control refuses: line 1, column 6 \"a\"; line 1, "
               "column 7 \"b\". --force sends it anyway.\n";
        QTest::newRow("unreadable file") << QStringList{"send", "Mill", "%1/none.nc"}
                                         << "tavrin: \"%1/none.nc\" cannot be read: No such file or "
                                            "directory\n";
        // Refused before the port is opened: nothing says it listens.
        QTest::newRow("receive, no folder") << QStringList{"receive", "Mill", "%1/none/p.nc"}
                                            << "tavrin: \"%1/none/p.nc\" cannot be written: No "
                                               "such file or directory\n";
        QTest::newRow("receive into a device")
            << QStringList{"receive", "Mill", "/dev/null"}
            << "tavrin: \"/dev/null\" cannot be written: it is not a regular file\n";
    }
    void refused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        Cli c("0", false, "|MCCHARCHK=STRICT");
        c.write("p.nc", "G00 (ab)\n");
        c.start(args.replaceInStrings("%1", c.dir.path()));
        QCOMPARE(c.finish(), 2);
        QCOMPARE(c.err(), message.replace("%1", c.dir.path()));
    }
    // The window with no display to open on: one line why, and a failure
    // status, not an abort.
    void windowWithoutDisplay_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::newRow("default") << "";
        QTest::newRow("xcb") << "xcb";
    }
    void windowWithoutDisplay()
    {
        QFETCH(QString, platform);
        Cli c;
        QProcessEnvironment env = c.tavrin.processEnvironment();
        env.insert("QT_QPA_PLATFORM", platform);
        c.tavrin.setProcessEnvironment(env);
        c.start({});
        QCOMPARE(c.finish(), 1);
        QCOMPARE(c.tavrin.exitStatus(), QProcess::NormalExit);
        QCOMPARE(c.err(), "tavrin: the window needs a display, and none is set (DISPLAY, "
                          "WAYLAND_DISPLAY); tavrin --serve and the command line forms run "
                          "without one (tavrin --help)\n");
    }

    // The flow control in the words of the panel's description.
    void machines_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("0") << "0" << QByteArray("No Flow Control");
        QTest::newRow("3") << "3" << QByteArray("Xon/Xoff (Wait-Xon)");
    }
    void machines()
    {
        QFETCH(QString, flow);
        QFETCH(QByteArray, shown);
        Cli c(flow);
        c.start({"machines"});
        QCOMPARE(c.finish(), 0);
        QCOMPARE(c.tavrin.readAllStandardOutput(),
                 "1  " + c.pty.slavePath().toUtf8() + "  115200  8N1  " + shown + "  attended  Mill\n");
    }
    // Several configurations, for scripts: every machine of each.
    void machinesOfSeveral()
    {
        Cli c("1", true), d("5", false, "|MCDBITS=7|MCPARITY=Odd|MCDRATE=300");
        c.start({"machines", "--format", "json", "--config", d.dir.path()});
        QCOMPARE(c.finish(), 0);
        const QString row = R"({"config": "%1/zoZad.ini", "flow": "%2", "format": "%3", "mode": "%4",
 "name": "Mill", "number": 1, "port": "%5", "speed": %6})";
        const QString want = "[" + row.arg(d.dir.path(), "DTR/DSR", "7O1", "attended", d.pty.slavePath(), "300") +
                             ",\n" + row.arg(c.dir.path(), "Xon/Xoff", "8N1", "served", c.pty.slavePath(), "115200") + "]";
        QCOMPARE(QJsonDocument::fromJson(c.tavrin.readAllStandardOutput()),
                 QJsonDocument::fromJson(want.toUtf8()));
        c.start({"send", "Mill", "x.nc", "--config", d.dir.path()});
        QCOMPARE(c.finish(), 2);
        QCOMPARE(c.err(), "tavrin: --config is given once\nUsage: tavrin send MACHINE FILE "
                          "[--from-line N] [--force] [--config FOLDER]\nTry 'tavrin send --help'.\n");
    }
    // Plain progress: a line at each 10 % of what this send sends, the run-out
    // included; the lines sent, counted from the start line on.
    void sendCompleted_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("progress");
        QTest::newRow("whole") << 1
                               << "Sending p.nc to Mill on %1 (115200 8N1, No Flow Control) from line 1 of 20\n"
                                  "10% Line 16 of 20, 0:01 left\n"
                                  "Run-out after line 20 of 20\n"
                                  "100% Run-out after line 20 of 20\nSent, 20 lines\n";
        QTest::newRow("from line 19") << 19
                                      << "Sending p.nc to Mill on %1 (115200 8N1, No Flow Control) from line 19 of 20\n"
                                         "Run-out after line 20 of 20\n"
                                         "100% Run-out after line 20 of 20\nSent, 2 lines\n";
    }
    void sendCompleted()
    {
        QFETCH(int, from);
        QFETCH(QString, progress);
        Cli c;
        const QByteArray file = program(20);
        c.start({"send", "Mill", c.write("p.nc", file), "--from-line", QString::number(from)});
        const QByteArray lines = file.split('\n').mid(from - 1).join("\r\n");
        const QByteArray wire = lines + QByteArray(2000, '\0');
        QCOMPARE(c.pty.readFor(wire.size()), wire);
        QCOMPARE(c.finish(), 0);
        // How many steps the run-out's lines show depends on the pace of the
        // pseudo-terminal; the last is 100 %.
        static const QRegularExpression runOut("^[1-9]0% Run-out.*\n",
                                               QRegularExpression::MultilineOption);
        QCOMPARE(c.err().remove(runOut), progress.arg(c.pty.slavePath()));
        QVERIFY2(c.log().contains("\tMill\t" + c.pty.slavePath().toUtf8() + "\tp.nc\t" +
                                  QByteArray::number(lines.size()) + '\t' +
                                  QByteArray::number(21 - from) + '\t'),
                 c.log());
        QVERIFY(c.log().endsWith("\tcompleted\n"));
    }
    // --force sends what the control refuses, in the machine's leader and trailer.
    void sendForced()
    {
        Cli c("0", false, "|MCLEADER=\\DC2|MCTRAILER=\\DC4|MCCHARCHK=ISO");
        c.start({"send", "Mill", c.write("p.nc", "G00 (\xE4)\nM30\n"), "--force"});
        const QByteArray wire = "\x12G00 (\xE4)\r\nM30\r\n\x14" + QByteArray(2000, '\0');
        QCOMPARE(c.pty.readFor(wire.size()), wire);
        QCOMPARE(c.finish(), 0);
    }
    // SIGINT while the machine holds the line: the send ends at a whole
    // block once it lets go.
    void stoppedBySigint()
    {
        Cli c("1");
        SimControl machine(Clock::system(), {256, 0.0, 192, 64, true}); // DC3, and no DC1
        c.pty.attach(machine);
        const QByteArray file = program(400);
        c.start({"send", "Mill", c.write("p.nc", file)});
        QVERIFY(QTest::qWaitFor([&] { return machine.dc3Sent() > 0; }, 10000));
        ::kill(pid_t(c.tavrin.processId()), SIGINT);
        QTest::qWait(200);
        machine.send("\x11");
        QCOMPARE(c.finish(), 1);
        const QByteArray wire = QByteArray(file).replace("\n", "\r\n");
        QVERIFY(c.pty.toControl.endsWith("\r\n") && wire.startsWith(c.pty.toControl));
        // Ends at a line boundary: it names the line sent last, or the next.
        const QRegularExpressionMatch end =
            QRegularExpression("Stopping at line (\\d+) of 400\nStopped at line \\1 of 400\n$")
                .match(c.err());
        QVERIFY(end.hasMatch());
        const qsizetype sent = c.pty.toControl.count('\n'), at = end.captured(1).toInt();
        QVERIFY(sent < 400 && (at == sent || at == sent + 1));
        QVERIFY(c.log().endsWith("\tstopped\n"));
    }
    void portLost()
    {
        Cli c("4"); // waits for the machine's DC1
        c.start({"send", "Mill", c.write("p.nc", "G00\nM30\n")});
        QVERIFY(QTest::qWaitFor([&] { return c.err().startsWith("Sending p.nc"); }, 5000));
        c.pty.closeMaster(); // the adapter is pulled out
        QCOMPARE(c.finish(), 3);
        QVERIFY(c.err().endsWith("tavrin: The send broke off at line 1 of 2: the port went away.\n"));
    }
    // The service has the port: neither form takes it.
    void portHeld_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("send") << "send";
        QTest::newRow("receive") << "receive";
    }
    void portHeld()
    {
        QFETCH(QString, form);
        Cli c;
        ClaimedPort service(std::make_shared<FakePort>(), [&] { return c.dir.path(); },
                            "tavrin --serve");
        QVERIFY(service.open(c.pty.slavePath(), {}));
        c.start({form, "Mill", c.write("p.nc", "M30\n")});
        QCOMPARE(c.finish(), 3);
        QCOMPARE(c.err(), QString("tavrin: the port %1 of machine \"Mill\" is in use by process %2, "
                                  "tavrin --serve\n")
                              .arg(c.pty.slavePath())
                              .arg(QCoreApplication::applicationPid()));
        service.close();
        c.start({"receive", "Mill", c.dir.filePath("out.nc")}); // free again
        QVERIFY(QTest::qWaitFor([&] { return c.err().startsWith("Receiving from Mill"); }, 5000));
        c.tavrin.terminate();
        QCOMPARE(c.finish(), 1);
        QVERIFY(c.err().endsWith("\ntavrin: stopped before the punch ended: nothing was written "
                                 "to \"" + c.dir.filePath("out.nc") + "\" (0 bytes of it had come)\n"));
    }
    // A device reached through a link is one claim; it comes free on close,
    // when the device goes, and when it fails to open.
    void claimFollowsLinks()
    {
        Cli c;
        QVERIFY(QFile::link(c.pty.slavePath(), c.dir.filePath("by-id")));
        const auto folder = [&] { return c.dir.path(); };
        const auto device = std::make_shared<FakePort>();
        ClaimedPort a(device, folder, "tavrin"), b(std::make_shared<FakePort>(), folder, "other");
        QVERIFY(a.open(c.pty.slavePath(), {}));
        QVERIFY(!b.open(c.dir.filePath("by-id"), {}));
        QCOMPARE(b.errorString(),
                 QString("in use by process %1, tavrin").arg(QCoreApplication::applicationPid()));
        a.close();
        QVERIFY(b.open(c.dir.filePath("by-id"), {}));
        QVERIFY(!a.open(c.pty.slavePath(), {}));
        b.close();
        QVERIFY(a.open(c.pty.slavePath(), {}));
        device->loseDevice();
        QVERIFY(b.open(c.dir.filePath("by-id"), {}));
        b.close();
        // A device that does not open keeps no claim.
        const auto failing = std::make_shared<FakePort>();
        failing->openFails = true;
        ClaimedPort unopened(failing, folder, "failing");
        QVERIFY(!unopened.open(c.pty.slavePath(), {}));
        QVERIFY(a.open(c.pty.slavePath(), {}));
    }
    // Written as punched, but for the machine's strip option: into FILE all
    // programs of the transfer, into a folder ("in") one file each. files:
    // "NAME=content"; said: standard error after its first line.
    void receive_data()
    {
        QTest::addColumn<QString>("strip");
        QTest::addColumn<QByteArray>("punch");
        QTest::addColumn<QByteArrayList>("files");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QByteArray every = "%\nO1\n";
        for (int b = 1; b < 256; ++b)
            if (b != '%' && b != '\r' && b != '\n') every += char(b);
        every += "\nM30\n%";
        const QByteArray shaft = "%_N_SHAFT123_MPF\n;$PATH=/_N_MPF_DIR\nM30\n";
        QTest::newRow("a greeting, then every byte and two Siemens programs, into a folder")
            << "" << "ser2net port tcp,2000\r\n" + every + "\r\n" + shaft + "%_N_B_SPF\nM17\n"
            << QByteArrayList{"O1.nc=" + every, "SHAFT123_MPF.nc=" + shaft, "B_SPF.nc=%_N_B_SPF\nM17\n"}
            << 0
            << "Mill: not a program: 23 bytes \"ser2net port tcp,2000\\r\\n\", dropped\n"
               "Received 3 programs, 317 bytes into DIR/in\n";
        QTest::newRow("Okuma, CR stripped: %% ends it at once; noise between left out")
            << "13" << QByteArray("$A.MIN%\r\nG0\r\n%\r\n\x80#\r\n$B.MIN%\r\n%\r\n%%\r\n")
            << QByteArrayList{"out.nc=$A.MIN%\nG0\n%$B.MIN%\n%"} << 1
            << "Mill: not a program: 3 bytes \"\\x80#\\n\", dropped\nReceived 2 programs, 21 bytes "
               "into DIR/out.nc\ntavrin: 3 bytes after the first program were not a program and "
               "were left out\n";
    }
    void receive()
    {
        QFETCH(QString, strip);
        QFETCH(QByteArray, punch);
        QFETCH(QByteArrayList, files);
        QFETCH(int, status);
        QFETCH(QString, said);
        Cli c("0", false, "|MCSTRIPEOB=" + strip);
        const QString into = c.dir.filePath(files.size() == 1 ? "out.nc" : "in");
        QVERIFY(files.size() == 1 || QDir().mkdir(into));
        c.start({"receive", "Mill", into});
        QVERIFY(QTest::qWaitFor([&] { return c.err().startsWith("Receiving from Mill"); }, 5000));
        QVERIFY(c.pty.write(QByteArray(50, '\0') + punch + QByteArray(50, '\0')));
        QCOMPARE(c.finish(), status);
        QCOMPARE(c.err().section('\n', 1), said.replace("DIR", c.dir.path()));
        for (const QByteArray &file : files) {
            const QByteArray name = file.left(file.indexOf('=')), bytes = file.mid(name.size() + 1);
            QCOMPARE(readFile(files.size() == 1 ? into : into + '/' + name), bytes);
            // Into FILE, a line for each program, all of them named by it.
            const QByteArray size = files.size() > 1 ? QByteArray::number(bytes.size()) : "12";
            QVERIFY2(c.log().contains('\t' + name + '\t' + size + '\t'), c.log());
        }
    }

    // The service: with no display, a punch saved and a request answered;
    // the window kept off its configuration; SIGTERM during a send ends it
    // at a whole block.
    void serves()
    {
        Cli c("4", true, "|MCCHARCHK=STRICT"); // a send waits for the control's DC1
        SimControl machine(Clock::system(), {4096, 1e7, 4000, 100, true});
        c.pty.attach(machine);
        const QByteArray file = "%\nO1234 (X_1)\n" + program(3) + "M30\n%\n";
        c.write("O1234.nc", file);
        c.write("O1234.nc.tmp-aB3dE9", file); // a save killed halfway
        NotifySocket systemd(c);
        c.start({"--serve"});
        const QString open = "Serving 1 machine of %1/zoZad.ini\nMill: removed a leftover "
                             "temporary file \"%1/O1234.nc.tmp-aB3dE9\" from an interrupted "
                             "save\nMill: port %2 open, listening\n";
        QVERIFY(QTest::qWaitFor([&] { return c.err() == open.arg(c.dir.path(), c.pty.slavePath()); }, 5000));
        InstanceLock window;
        QCOMPARE(window.acquire(c.dir.filePath("zoZad.ini"), "tavrin"), InstanceLock::Result::Held);
        QVERIFY(window.heldMessage(c.dir.filePath("zoZad.ini"))
                    .startsWith(QString("The Tavrin service (process %1, tavrin --serve) serves the "
                                        "machines of the configuration file \"%2/zoZad.ini\", so "
                                        "this one ends")
                                    .arg(c.tavrin.processId())
                                    .arg(c.dir.path())));
        const QByteArray punch = "%\nO3003\nG01 X1.5 (\xe4\xff)\nM30\n%";
        machine.send(punch + "\n%\n(SEND O1234)\n%\n");
        QVERIFY(QTest::qWaitFor([&] { return c.err().contains("O1234 asked for"); }, 5000));
        QCOMPARE(readFile(c.dir.filePath("O3003.nc")), punch);
        machine.send("\x11");
        const QByteArray wire = QByteArray(file).replace("\n", "\r\n");
        QVERIFY(QTest::qWaitFor([&] { return c.pty.toControl.size() >= wire.size(); }, 5000));
        QCOMPARE(c.pty.toControl.left(wire.size()), wire);
        QVERIFY(QTest::qWaitFor([&] { return c.err().contains("Mill: sent"); }, 5000));
        // Fed twice in each 0.2 s period, from the event loop.
        QVERIFY(QTest::qWaitFor([&] { return systemd.fed >= 3; }, 5000));
        c.tavrin.terminate();
        QCOMPARE(c.finish(), 0);
        // The punch, then the answer that waits for DC1 and goes: one run.
        QCOMPARE(systemd.read(), QStringList({"READY=1\nSTATUS=Serving 1 machine; 0 transfers running",
                                              "STATUS=Serving 1 machine; 1 transfer running",
                                              "STATUS=Serving 1 machine; 0 transfers running",
                                              "STOPPING=1"}));
        QVERIFY(!QFile::exists(c.dir.filePath("O1234.nc.tmp-aB3dE9")));
        // Durations are the host's: only their form is checked.
        QCOMPARE(c.err().section('\n', 3).replace(QRegularExpression(" in \\d:\\d\\d,"), " in M:SS,"),
                 QString("Mill: received O3003.nc, 4 lines, 27 bytes in M:SS, completed\n"
                         "Mill: O1234 asked for, sending %1/O1234.nc\n"
                         "Mill: O1234.nc has 1 character the control refuses: line 2, column 9 "
                         "\"_\"; sent as asked\n"
                         "Mill: sent O1234.nc, 7 lines, 66 bytes in M:SS, completed\n"
                         "SIGTERM: stopping; sends end at a whole block\nStopped.\n")
                     .arg(c.dir.path()));
        QVERIFY(c.log().endsWith("\tcompleted\tO1234\n"));
    }
    // One service, two configurations: each keeps its own lock, folder and log.
    void servesSeveral()
    {
        Cli c("0", true), d("0", true);
        SimControl mill(Clock::system(), {4096, 1e7, 4000, 100, true}),
            lathe(Clock::system(), {4096, 1e7, 4000, 100, true});
        c.pty.attach(mill);
        d.pty.attach(lathe);
        c.start({"--serve", "--config", d.dir.path(), "--config", d.dir.path()});
        QCOMPARE(c.finish(), 2);
        QCOMPARE(c.err(), QString("tavrin: %1/zoZad.ini is given twice\n").arg(d.dir.path()));
        c.start({"--serve", "--config", d.dir.path()});
        QVERIFY(QTest::qWaitFor([&] { return c.err().count("listening") == 2; }, 5000));
        for (Cli *x : {&c, &d}) {
            InstanceLock window;
            QCOMPARE(window.acquire(x->dir.filePath("zoZad.ini"), "tavrin"), InstanceLock::Result::Held);
        }
        mill.send("%\nO1\nM30\n%\n");
        lathe.send("%\nO2\nM30\n%\n");
        QVERIFY(QTest::qWaitFor([&] { return c.err().count("completed") == 2; }, 5000));
        c.tavrin.terminate();
        QCOMPARE(c.finish(), 0);
        // Both are "Mill": each line says whose.
        const QString first = QFileInfo(d.dir.path()).fileName();
        QVERIFY(c.err().startsWith(QString("Serving 1 machine of %1/zoZad.ini\n[%4] Mill: port %2 "
                                           "open, listening\nServing 1 machine of %3/zoZad.ini\n")
                                       .arg(d.dir.path(), d.pty.slavePath(), c.dir.path(), first)));
        QVERIFY(c.err().contains(QString("[%1] Mill: received O1.nc")
                                     .arg(QFileInfo(c.dir.path()).fileName())));
        QCOMPARE(readFile(c.dir.filePath("O1.nc")) + readFile(d.dir.filePath("O2.nc")),
                 "%\nO1\nM30\n%%\nO2\nM30\n%");
        QVERIFY(c.log().contains("\tO1.nc\t") && !c.log().contains("O2.nc"));
        QVERIFY(d.log().contains("\tO2.nc\t") && !d.log().contains("O1.nc"));
    }
    // Nothing to serve: status 2, which the service's unit does not restart.
    void servesNothing()
    {
        Cli c;
        c.start({"--serve"});
        QCOMPARE(c.finish(), 2);
        QVERIFY2(c.err().startsWith("tavrin: "), qPrintable(c.errText));
    }
    // Punches the machine's folder would not take are kept beside the
    // configuration when the service stops, never through another user's
    // link. What others plant at a lock file is refused (a link, a hard
    // link, their file) or, held, named as the system names its holder;
    // the files it leads to keep their bytes.
    void othersFiles_data()
    {
        QTest::addColumn<QString>("plant"); // what another user plants, see asAnotherUser
        QTest::addColumn<QString>("at");    // "port": the port's claim file
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("told"); // %1: the folder, %2: the planter, %3: the port
        const auto row = [](const char *name, const char *plant, const char *at, int status,
                            const QString &told) {
            QTest::newRow(name) << QString(plant) << QString(at) << status << told;
        };
        const QString refused = "tavrin: The configuration file \"%1/zoZad.ini\" cannot be locked "
                                "against a second program, so this one ends: \"%1/zoZad.ini.lock\" "
                                "is not the program's own lock file: ";
        row("own unsaved-punches", "", "unsaved-punches", 0,
            "Mill: punch saved as %1/unsaved-punches/O3003.nc instead: its folder would not take "
            "it\n");
        row("link at unsaved-punches", "link", "unsaved-punches", 0,
            "Mill: 1 punch(es) could not be saved anywhere and are lost: \"%1/unsaved-punches\" is "
            "not the program's own folder: it is a symbolic link\n");
        row("link at the lock", "link", "zoZad.ini.lock", 4, refused + "it is a symbolic link.\n");
        row("hard link at the lock", "hard", "zoZad.ini.lock", 4,
            refused + "it has another name too (a hard link).\n");
        row("their lock file", "theirs", "zoZad.ini.lock", 4,
            refused + "it belongs to another user.\n");
        row("their flock on the lock", "flock", "zoZad.ini.lock", 1,
            "tavrin: The lock on \"%1/zoZad.ini.lock\" is held by another process (process %2 of "
            "user nobody, sleep 30), not by a Tavrin of this user, so this one ends: two programs "
            "on one configuration would overwrite each other's changes.\n");
        row("their claim, held", "theirs held", "port", 3,
            "tavrin: the port %3 of machine \"Mill\" is in use by process %2 of user nobody, "
            "sleep 30\n");
    }
    void othersFiles()
    {
        QFETCH(QString, plant);
        QFETCH(QString, at);
        QFETCH(int, status);
        QFETCH(QString, told);
        if (!plant.isEmpty() && ::geteuid() != 0) QSKIP("only root can plant another user's files");
        const bool punch = at == "unsaved-punches";
        Cli c("4", punch, punch ? "|MCFOLDER=/nonexistent" : "");
        QTemporaryDir other;
        const QString path =
            c.dir.filePath(at == "port" ? ClaimedPort::claimName(c.pty.slavePath()) + ".lock" : at);
        writeFile(other.filePath("victim"), "secret\n", 0666);
        if (plant == "flock") writeFile(path, "process 1, tavrin --serve\n");
        QVERIFY(::chmod(QFile::encodeName(c.dir.path()), 01777) == 0 &&
                ::chmod(QFile::encodeName(other.path()), 0755) == 0);
        const QString target = punch ? other.path() : other.filePath("victim");
        const pid_t planter = plant.isEmpty() ? 0
                                              : asAnotherUser(plant, QFile::encodeName(path),
                                                              QFile::encodeName(target));
        QVERIFY(planter >= 0);
        c.start(at == "port" ? QStringList{"send", "Mill", c.write("p.nc", "M30\n")}
                             : QStringList{"--serve"});
        if (punch) {
            QVERIFY(QTest::qWaitFor([&] { return c.err().contains("listening"); }, 5000));
            QVERIFY(c.pty.write("%\nO3003\nM30\n%"));
            QVERIFY(QTest::qWaitFor([&] { return c.err().contains("not saved"); }, 5000));
            c.tavrin.terminate();
            told += "Stopped.\n";
        }
        QCOMPARE(c.finish(), status);
        if (planter) ::kill(planter, SIGKILL), ::waitpid(planter, nullptr, 0);
        told.replace("%1", c.dir.path()).replace("%2", QString::number(planter));
        QVERIFY2(c.err().endsWith(told.replace("%3", c.pty.slavePath())), qPrintable(c.errText));
        QCOMPARE(readFile(other.filePath("victim")), "secret\n");
        QCOMPARE(QDir(other.path()).entryList(QDir::Files), QStringList{"victim"});
        if (punch && plant.isEmpty())
            QCOMPARE(readFile(c.dir.filePath("unsaved-punches/O3003.nc")), "%\nO3003\nM30\n%");
        if (plant == "flock") QCOMPARE(modeOf(path), 0600u);
    }
    void stopsAtWholeBlock()
    {
        Cli c("1", true);
        SimControl machine(Clock::system(), {256, 0.0, 192, 64, true}); // DC3, and no DC1
        c.pty.attach(machine);
        const QByteArray file = program(400);
        c.write("O1234.nc", file);
        c.start({"--serve"});
        QVERIFY(QTest::qWaitFor([&] { return c.err().contains("listening"); }, 5000));
        machine.send("%\n(SEND O1234)\n%\n"); // sent after the start delay
        QVERIFY(QTest::qWaitFor([&] { return machine.dc3Sent() > 0; }, 10000));
        c.tavrin.terminate();
        QTest::qWait(200);
        machine.send("\x11");
        QCOMPARE(c.finish(), 0);
        const QByteArray wire = QByteArray(file).replace("\n", "\r\n");
        QVERIFY(c.pty.toControl.endsWith("\r\n") && wire.startsWith(c.pty.toControl));
        QVERIFY2(c.err().replace(QRegularExpression(" in \\d:\\d\\d,"), " in M:SS,")
                     .endsWith(QString("stopping; sends end at a whole block\nMill: sent O1234.nc, "
                                       "%1 lines, %2 bytes in M:SS, stopped\nStopped.\n")
                                     .arg(c.pty.toControl.count('\n'))
                                     .arg(c.pty.toControl.size())), qPrintable(c.err()));
    }
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
