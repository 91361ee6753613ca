// Nine served machines answering a request at once, each on its own link and
// its own timed line model: block delay "None", 115200 bit/s 8N1, a 1 MB
// program each in the machine's own folder. Every machine punches its
// request at the same moment; each send starts after the start delay.
// Prints each machine's send, from its first byte to its last on the line,
// against its line's own limit (every byte one character time), the CPU the
// whole program used, and how long the event loop was ever kept from
// answering.
//
//   bench_served [kilobytes [machines]]

#include "benchprobe.h"
#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/log/transferrecorder.h"
#include "core/machines/workshop.h"
#include "machinevalues.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace
{
QByteArray benchProgram(qsizetype bytes, int machine)
{
    QByteArray out = "%\r\nO1001\r\n";
    for (int i = 1; out.size() < bytes; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "N%05d G1 X%03d Y%03d\r\n", i % 100000,
                      (i * 7 + machine) % 1000, i * 13 % 1000);
        out += buf;
    }
    return out + "M30\r\n%\r\n";
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qsizetype size = qsizetype(argc > 1 ? std::atoi(argv[1]) : 1024) * 1024;
    const int count = qBound(1, argc > 2 ? std::atoi(argv[2]) : 9, MachineTable::MaxMachines);
    Clock &clock = Clock::system();
    QTemporaryDir dir;
    QStringList names;
    QList<QByteArray> programs;
    for (int i = 1; i <= count; ++i) {
        names << QStringLiteral("ttyBENCH%1").arg(i);
        programs << benchProgram(size, i);
        const QString folder = dir.filePath(names.last());
        QFile f(folder + "/O1001.nc");
        if (!QDir().mkpath(folder) || !f.open(QIODevice::WriteOnly) ||
            f.write(programs.last()) != programs.last().size())
            return 1;
    }
    FakePortList ports(names);
    QList<LineModelPort *> wires;
    ConfigStore config(dir.path());
    Workshop workshop(config, lineModels(wires), ports, clock);
    TransferRecorder recorder(clock);
    recorder.watchAll(workshop.registry());
    for (const QString &name : names)
        config.table().append(machineWith("MCNAME=" + name + "|MCPORT=" + name +
                                              "|MCMODE=SERVER|MCFOLDER=" + dir.filePath(name) +
                                              "|MCDRATE=115200|MCDBITS=8|MCFLOW=0|MCBLKTIC=None|"
                                              "MCEOB=CRLF",
                                          MachineConfig::defaults(name)));
    if (!config.save()) return 1;
    workshop.reload();

    std::printf("bench_served: %d served machines, each asked for a %lld-byte program "
                "(N00001 G1 X007 Y013 CR LF ...), block delay None, 115200 8N1 on its own timed "
                "line\ntargets: each send <= 1.02 of its line's limit, the program < 5%% of a "
                "core, worst wait < 30 ms\n",
                count, qint64(programs.first().size()));
    Probe probe;
    int running = count;
    for (int i = 1; i <= count; ++i) {
        if (!workshop.servedAt(i) || !wires[i - 1]->isOpen()) return 1;
        QObject::connect(workshop.linkAt(i), &Link::sendFinished, &app, [&running] {
            if (--running == 0) QCoreApplication::exit(0);
        });
    }
    const qint64 t0 = clock.nowNs();
    const auto [wall, cpu] = askAll(probe, wires, "%\r\n(SEND O1001)\r\n%\r\n");
    std::printf("%-12s %10s %10s %12s %8s %s\n", "machine", "start s", "send s", "line limit s",
                "ratio", "bytes");
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        LineModelPort *port = wires[i];
        port->bytesToWrite(); // works the line out to now
        const qint64 charNs = port->settings().characterNs();
        const qint64 first = port->sentNs.first() - charNs; // the first byte starts
        const double send = (port->sentNs.last() - first) / 1e9;
        const double limit = port->sentNs.size() * charNs / 1e9;
        ok = ok && port->written == programs[i] + QByteArray(SendJob::RunOutBytes, '\0');
        std::printf("%-12s %10.3f %10.3f %12.3f %8.4f %lld\n", qPrintable(names[i]),
                    (first - t0) / 1e9, send, limit, send / limit, qint64(port->written.size()));
    }
    printWhole(cpu, wall, probe, ok);
    return ok ? 0 : 1;
}
