// Nine machines streaming at once, each on its own link and its own timed
// line model: block delay "None", 115200 bit/s 8N1, a 10,000-line program
// each. Prints each machine's time to its last byte against its line's own
// limit (every byte one character time), the CPU the whole program used,
// and how long the event loop was ever kept from answering.
//
//   bench_machines [lines [machines]]

#include "benchprobe.h"
#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/log/transferrecorder.h"
#include "core/machines/workshop.h"
#include "machinevalues.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>

namespace
{
QByteArray benchProgram(int lines, int machine)
{
    QByteArray out;
    for (int i = 1; i <= lines; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "N%05d G1 X%03d Y%03d\r", i % 100000, (i * 7 + machine) % 1000,
                      i * 13 % 1000);
        out += buf;
    }
    return out;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int count = qBound(1, argc > 2 ? std::atoi(argv[2]) : 9, MachineTable::MaxMachines);
    Clock &clock = Clock::system();
    QTemporaryDir dir;
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names << QStringLiteral("ttyBENCH%1").arg(i);
    FakePortList ports(names);
    QList<LineModelPort *> wires;
    ConfigStore config(dir.path());
    Workshop workshop(config, lineModels(wires), ports, clock);
    TransferRecorder recorder(clock);
    recorder.watchAll(workshop.registry());
    for (const QString &name : names)
        config.table().append(machineWith("MCNAME=" + name + "|MCPORT=" + name +
                                              "|MCDRATE=115200|MCDBITS=8|MCFLOW=0|MCBLKTIC=None|"
                                              "MCEOB=CRLF",
                                          MachineConfig::defaults(name)));
    if (!config.save()) return 1;
    workshop.reload();

    std::printf("bench_machines: %d machines, each %d lines (N00001 G1 X007 Y013 ..., 19 "
                "characters), CR LF, block delay None, 115200 8N1 on its own timed line\n"
                "targets: each machine <= 1.02 of its line's limit, the program < 5%% of a core, "
                "worst wait < 30 ms\n",
                count, lines);
    Probe probe;
    int running = count;
    QList<QByteArray> programs;
    probe.start();
    const qint64 cpu0 = cpuNs();
    const qint64 t0 = clock.nowNs();
    for (int i = 1; i <= count; ++i) {
        Link *link = workshop.linkAt(i);
        const MachineConfig &m = workshop.machines().at(i);
        programs << benchProgram(lines, i);
        const Transfer t = transferOf(workshop.idAt(i), m, Transfer::Direction::Send);
        QObject::connect(link, &Link::sendFinished, &app, [&running] {
            if (--running == 0) QCoreApplication::exit(0);
        });
        if (!link->openForSend(m) || !link->startSend(Program::fromFile(programs.last()), t, m))
            return 1;
    }
    app.exec();
    const qint64 wall = clock.nowNs() - t0;
    const qint64 cpu = cpuNs() - cpu0;
    probe.stop();
    std::printf("%-12s %12s %12s %8s %s\n", "machine", "last byte s", "line limit s", "ratio",
                "bytes");
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        LineModelPort *port = wires[i];
        port->bytesToWrite(); // works the line out to now
        const double last = (port->sentNs.last() - t0) / 1e9;
        const double limit = port->sentNs.size() * port->settings().characterNs() / 1e9;
        ok = ok && port->written.size() == programs[i].size() + lines + SendJob::RunOutBytes;
        std::printf("%-12s %12.3f %12.3f %8.4f %lld\n", qPrintable(names[i]), last, limit,
                    last / limit, qint64(port->written.size()));
    }
    printWhole(cpu, wall, probe, ok);
    return ok ? 0 : 1;
}
