// Opens a big program through the machine menu, as a user does, and prints
// how long it took until the window was idle again and how much memory it
// added, beside the targets (under 1 s; at most 1.3 times the file's size:
// the program is held once, the code window and the core sharing it), and
// what starting a send of it adds (nothing: the send shares the program).
//
//   bench_open [megabytes...]   (default: 10 40)

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/link/link.h"
#include "core/machines/workshop.h"
#include "fakeplatform.h"
#include "fakeport.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace
{

qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

// 44 bytes a line, so 40 MB is 909,091 lines.
QByteArray program(qint64 bytes)
{
    QByteArray out;
    out.reserve(bytes);
    for (int n = 1; out.size() + 44 <= bytes; ++n) {
        char line[64];
        std::snprintf(line, sizeof line, "N%07d G01 X%03d.125 Y-%03d.500 Z0.0 F1200\r\n",
                      n % 10000000, n % 1000, n % 777);
        out += line;
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << std::atoi(argv[i]);
    if (sizes.isEmpty()) sizes = {10, 40};
    std::printf("bench_open: a program opened through the machine menu; targets: open < 1000 ms, "
                "memory added <= 1.3 times the file, a send adds nothing\n");
    std::printf("%8s %10s %10s %14s %12s %14s %10s\n", "MB", "lines", "open ms", "memory added",
                "x the file", "send adds", "targets");
    for (const int mb : sizes) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.nc"));
        qint64 lines = 0;
        {
            const QByteArray bytes = program(qint64(mb) * 1000 * 1000);
            lines = bytes.count('\n');
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return 1;
        }
        QFile ini(dir.filePath(QStringLiteral("zoZad.ini")));
        if (!ini.open(QIODevice::WriteOnly)) return 1;
        ini.write("[MC1]\nMCNAME=Bench\nMCPORT=ttyFAKE0\n\n");
        ini.close();
        FakePlatform platform;
        FakePort port;
        FakePortList ports({QStringLiteral("ttyFAKE0")});
        ConfigStore config(dir.path());
        Workshop workshop(config, Workshop::onePort(port), ports, Clock::system());
        MainWindow w(workshop, platform);
        w.show();
        w.open();
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 300)
            app.processEvents();
        const qint64 before = residentBytes();
        platform.menuChoices << QStringLiteral("Open");
        platform.openNames << path;
        QElapsedTimer t;
        t.start();
        // The toolbar's Menu entry, then back to an idle event loop.
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(4, 4), QPointF(4, 4), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.findChild<QWidget *>(QStringLiteral("imgMenu(2)")), &press);
        bool idle = false;
        QTimer::singleShot(0, [&] { idle = true; });
        while (!idle)
            app.processEvents(QEventLoop::WaitForMoreEvents);
        app.processEvents(); // the first paint of the program
        const qint64 ms = t.elapsed();
        const qint64 added = residentBytes() - before;
        // A send takes the program as it is: the port never drains here, so
        // the send holds it while memory is measured.
        port.toWrite = 1;
        w.findChild<QAbstractButton *>(QStringLiteral("cmdTX"))->click();
        app.processEvents();
        const qint64 sending = residentBytes() - before - added;
        const double times = double(added) / (double(mb) * 1e6);
        std::printf("%8d %10lld %10lld %11.1f MB %12.2f %11.1f MB %10s\n", mb, lines, ms,
                    double(added) / 1e6, times, double(sending) / 1e6,
                    ms < 1000 && times <= 1.3 && sending < 1'000'000 ? "met" : "MISSED");
        std::fflush(stdout);
    }
    return 0;
}
