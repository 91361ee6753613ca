// Receives a program (5 MB, or the megabytes given) through a
// pseudo-terminal in the receive state, as fast as a writer thread can push
// it, and prints: bytes lost, the time from the last byte sent to the last
// byte shown in RX-Edit, the resident memory the received text added beside
// its target (under twice the data), and CPU time per megabyte (the GUI
// thread alone, and the whole process including the writer).

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/link/link.h"
#include "core/ports/qtserialport.h"
#include "core/machines/workshop.h"
#include "fakeplatform.h"
#include "fakeport.h"
#include "pty.h"
#include "ui/mainwindow.h"
#include "ui/rxeditwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace
{

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Resident memory of the process in bytes.
qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    return f.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

QByteArray program(qsizetype size)
{
    QByteArray out = "%\nO0001\n";
    for (int n = 1; out.size() < size - 2; ++n)
        out += QStringLiteral("N%1 G01 X%2.125 Y-%3.5 Z0 F1200\n")
                   .arg(n)
                   .arg(n % 400)
                   .arg(n % 77)
                   .toLatin1();
    out.truncate(size - 2);
    return out + "\n%";
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const qsizetype size = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 5) * 1024 * 1024;
    const QByteArray data = program(size);

    Pty pty;
    if (!pty.isOpen()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    QTemporaryDir dir;
    {
        QFile f(dir.filePath(QStringLiteral("zoZad.ini")));
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write("[MC1]\r\nMCNAME=Bench\r\nMCPORT=" + pty.slavePath().toLatin1() +
                "\r\nMCFLOW=0\r\nMCDRATE=115200\r\nMCDBITS=8\r\nMCSBITS=1\r\n");
    }
    FakePlatform platform;
    QtSerialPort s;
    FakePortList ports({pty.slavePath()});
    ConfigStore config(dir.path());
    Workshop workshop(config, Workshop::onePort(s), ports, Clock::system());
    MainWindow w(workshop, platform);
    w.show();
    w.open();
    if (!s.isOpen()) {
        std::fprintf(stderr, "port not open\n");
        return 1;
    }
    w.findChild<QToolButton *>(QStringLiteral("mnuReceive"))->click();
    RxEditWindow *rx = w.rxEdit();
    // Characters the text holds once everything is shown: one per byte (a
    // line end is one; the data ends in "%", not a line end).
    const qsizetype wanted = data.size();

    const qint64 rss0 = residentBytes();
    QElapsedTimer clock;
    std::atomic<qint64> lastSentNs{-1};
    std::atomic<qint64> sent{0};
    const double cpu0 = cpuSeconds(RUSAGE_THREAD);
    const double proc0 = cpuSeconds(RUSAGE_SELF);
    clock.start();
    std::thread writer([&] {
        const int fd = pty.masterFd();
        qsizetype off = 0;
        while (off < data.size()) {
            const ssize_t n = ::write(fd, data.constData() + off, size_t(data.size() - off));
            if (n > 0) {
                off += n;
                sent = off;
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            } else {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
        lastSentNs = clock.nsecsElapsed();
    });

    qint64 shownNs = -1;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (shownNs < 0 && rx->characters() >= wanted && lastSentNs >= 0)
            shownNs = clock.nsecsElapsed();
        // quit() would first ask the windows to close, and the main window
        // closes only through its Quit entry.
        if ((shownNs >= 0 && !workshop.linkAt(1)->receiver().inBurst()) || clock.elapsed() > 300000) QCoreApplication::exit(0);
    });
    watch.start();
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        std::fprintf(stderr, "%lld ms: sent %lld, shown %lld, in burst %d\n",
                     static_cast<long long>(clock.elapsed()), static_cast<long long>(sent.load()),
                     static_cast<long long>(rx->characters()), int(workshop.linkAt(1)->receiver().inBurst()));
    });
    if (qEnvironmentVariableIsSet("BENCH_PROGRESS")) progress.start(1000);
    app.exec();
    writer.join();
    const double cpu = cpuSeconds(RUSAGE_THREAD) - cpu0;
    const qint64 added = residentBytes() - rss0;
    const double proc = cpuSeconds(RUSAGE_SELF) - proc0;

    QByteArray expected = data;
    expected.replace("\n", "\r\n");
    const QByteArray got = rx->textBytes();
    const qint64 lost = qint64(expected.size()) - qint64(got.size());
    const double mb = double(size) / (1024.0 * 1024.0);

    std::printf("received:                      %lld of %lld bytes, content %s\n",
                static_cast<long long>(rx->characters()),
                static_cast<long long>(data.size()), got == expected ? "identical" : "DIFFERENT");
    std::printf("bytes lost:                    %lld\n", static_cast<long long>(lost));
    std::printf("sending took:                  %.0f ms\n", double(lastSentNs) / 1e6);
    std::printf("last byte sent -> last shown:  %.0f ms\n",
                shownNs < 0 ? -1.0 : double(shownNs - lastSentNs) / 1e6);
    std::printf("resident memory added:         %.1f MB = %.2f x the data (target < 2 x the data)\n",
                double(added) / (1024.0 * 1024.0), double(added) / double(data.size()));
    std::printf("CPU per MB, GUI thread:        %.0f ms\n", cpu * 1000.0 / mb);
    std::printf("CPU per MB, whole process:     %.0f ms\n", proc * 1000.0 / mb);
    return lost == 0 && got == expected ? 0 : 2;
}
