// The whole floor on one PC: several configurations of nine served machines
// each, every one a registry of its own as the service builds them, each
// machine on its own timed line model. Every machine punches a request at
// the same moment; each answer starts after its start delay. Prints each
// configuration's slowest send against its line's own limit (every byte one
// character time), the CPU the whole program used, and how long the event
// loop was ever kept from answering.
//
//   bench_floor                  the two floors: 63 machines at 115200, 288 at 9600
//   bench_floor CONFIGS SPEED KB one floor

#include "benchprobe.h"
#include "core/config/configstore.h"
#include "core/log/transferrecorder.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"
#include "machinevalues.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace
{
QByteArray benchProgram(qsizetype bytes)
{
    QByteArray out = "%\r\nO1001\r\n";
    for (int i = 1; out.size() < bytes; ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "N%05d G1 X%03d Y%03d\r\n", i % 100000, i * 7 % 1000,
                      i * 13 % 1000);
        out += buf;
    }
    return out + "M30\r\n%\r\n";
}

struct Cell {
    std::unique_ptr<ConfigStore> config;
    std::unique_ptr<MachineRegistry> registry;
    std::unique_ptr<TransferRecorder> recorder;
};

// One floor; false when a machine did not get its program whole or was
// slower than its targets.
bool floor(int configs, qint32 speed, qsizetype size, double cpuTarget)
{
    Clock &clock = Clock::system();
    QTemporaryDir dir;
    const QByteArray program = benchProgram(size);
    QStringList names;
    for (int c = 0; c < configs; ++c)
        for (int m = 1; m <= MachineTable::MaxMachines; ++m)
            names << QStringLiteral("ttyC%1M%2").arg(c + 1).arg(m);
    FakePortList ports(names);
    QList<LineModelPort *> wires;
    std::vector<Cell> cells(configs);
    for (int c = 0; c < configs; ++c) {
        const QString folder = dir.filePath(QStringLiteral("cell%1").arg(c + 1));
        QDir().mkpath(folder);
        QFile f(folder + "/O1001.nc");
        if (!f.open(QIODevice::WriteOnly) || f.write(program) != program.size()) return false;
        f.close();
        Cell &cell = cells[c];
        cell.config = std::make_unique<ConfigStore>(folder);
        for (int m = 0; m < MachineTable::MaxMachines; ++m) {
            const QString name = names[c * MachineTable::MaxMachines + m];
            cell.config->table().append(machineWith(
                "MCNAME=" + name + "|MCPORT=" + name + "|MCMODE=SERVER|MCFOLDER=" + folder +
                    "|MCDRATE=" + QString::number(speed) +
                    "|MCDBITS=8|MCFLOW=0|MCBLKTIC=None|MCEOB=CRLF",
                MachineConfig::defaults(name)));
        }
        if (!cell.config->save()) return false;
        cell.registry = std::make_unique<MachineRegistry>(*cell.config, lineModels(wires), ports,
                                                          clock);
        cell.recorder = std::make_unique<TransferRecorder>(clock);
        cell.recorder->watchAll(*cell.registry);
        cell.config->load();
        cell.registry->sync();
    }
    const int count = int(names.size());
    std::printf("\n%d configurations, %d served machines, each asked for a %lld-byte program, "
                "block delay None, %d 8N1 on its own timed line\ntargets: each send <= 1.02 of "
                "its line's limit, the program < %.0f%% of a core, worst wait < 30 ms\n",
                configs, count, qint64(program.size()), speed, cpuTarget);
    Probe probe;
    int running = count;
    for (const Cell &cell : cells)
        for (int slot = 1; slot <= cell.registry->count(); ++slot)
            QObject::connect(&cell.registry->at(slot)->link(), &Link::sendFinished, [&running] {
                if (--running == 0) QCoreApplication::exit(0);
            });
    const auto [wall, cpu] = askAll(probe, wires, "%\r\n(SEND O1001)\r\n%\r\n");
    bool whole = true;
    double worst = 0;
    for (LineModelPort *port : std::as_const(wires)) {
        port->bytesToWrite(); // works the line out to now
        const qint64 charNs = port->settings().characterNs();
        const double send = (port->sentNs.last() - port->sentNs.first() + charNs) / 1e9;
        worst = std::max(worst, send / (port->sentNs.size() * charNs / 1e9));
        whole = whole && port->written == program + QByteArray(SendJob::RunOutBytes, '\0');
    }
    const double cpuShare = 100.0 * double(cpu) / double(wall);
    const double waitMs = std::max(probe.worstPosted, probe.worstTimer) / 1e6;
    std::printf("slowest send ÷ its line's limit: %.4f (target <= 1.02)\n"
                "whole program: CPU %.2f%% of a core (target < %.0f%%), worst wait %.2f ms "
                "(target < 30 ms), wall %.3f s%s\n",
                worst, cpuShare, cpuTarget, waitMs, wall / 1e9,
                whole ? "" : "  !! a machine did not get its program whole");
    const bool met = whole && worst <= 1.02 && cpuShare < cpuTarget && waitMs < 30;
    std::printf("%s\n", met ? "met" : "MISSED");
    return met;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 3)
        return floor(std::atoi(argv[1]), std::atoi(argv[2]), qsizetype(std::atoi(argv[3])) * 1024,
                     50)
                   ? 0
                   : 1;
    std::printf("bench_floor: the floors one PC serves\n");
    const bool cells = floor(7, 115200, 256 * 1024, 10);
    const bool peer = floor(32, 9600, 24 * 1024, 50);
    return cells && peer ? 0 : 1;
}
