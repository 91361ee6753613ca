// The whole floor on one PC: several configurations of nine served machines
// each, every one a registry of its own as the service builds them, each
// machine on its own timed line model. Every machine punches a request at
// the same moment; each answer starts after its start delay. Prints each
// configuration's slowest send against its line's own limit (every byte one
// character time), the CPU the whole program used, and how long the event
// loop was ever kept from answering, and how long the status page, serving
// every configuration, took at worst to answer /api/machines, asked every
// 200 ms on a new connection as an office PC's poll would.
//
//   bench_floor                  the two floors: 63 machines at 115200, 288 at 9600
//   bench_floor CONFIGS SPEED KB one floor

#include "benchprobe.h"
#include "core/config/configstore.h"
#include "core/log/transferrecorder.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"
#include "machinevalues.h"
#include "web/statusserver.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
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

// Asks the page for every machine every 200 ms, one request at a time; a
// request not answered by the next tick counts as long as it has waited.
class PageProbe : public QObject
{
public:
    PageProbe(quint16 port, int machines) : m_port(port), m_machines(machines)
    {
        m_tick.setInterval(200);
        connect(&m_tick, &QTimer::timeout, this, &PageProbe::ask);
    }
    void start() { m_tick.start(); }
    void stop() { m_tick.stop(); }
    qint64 worstNs = 0;
    int answers = 0, wrong = 0;

private:
    void ask()
    {
        if (m_socket) {
            worstNs = std::max(worstNs, m_since.nsecsElapsed());
            return;
        }
        m_socket = new QTcpSocket(this);
        m_reply.clear();
        m_since.start();
        connect(m_socket, &QTcpSocket::connected, this, [this] {
            m_socket->write("GET /api/machines HTTP/1.1\r\nHost: localhost\r\n\r\n");
        });
        connect(m_socket, &QTcpSocket::readyRead, this, [this] {
            m_reply += m_socket->readAll();
            const qsizetype head = m_reply.indexOf("\r\n\r\n");
            const qsizetype at = m_reply.toLower().indexOf("content-length:");
            if (head < 0 || at < 0) return;
            if (m_reply.size() < head + 4 + m_reply.mid(at + 15, 12).trimmed().toLongLong())
                return;
            worstNs = std::max(worstNs, m_since.nsecsElapsed());
            ++answers;
            if (!m_reply.startsWith("HTTP/1.1 200") || m_reply.count("\"name\":") != m_machines)
                ++wrong;
            m_socket->deleteLater();
            m_socket = nullptr;
        });
        m_socket->connectToHost(QHostAddress::LocalHost, m_port);
    }
    QTimer m_tick;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_reply;
    QElapsedTimer m_since;
    quint16 m_port;
    int m_machines;
};

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
    StatusServer page(clock);
    QString why;
    if (!page.listen(QHostAddress::LocalHost, 0, &why)) return false;
    for (const Cell &cell : cells)
        page.serve(*cell.registry, *cell.recorder, QStringLiteral("bench"));
    const int count = int(names.size());
    PageProbe asking(page.port(), count);
    std::printf("\n%d configurations, %d served machines, each asked for a %lld-byte program, "
                "block delay None, %d 8N1 on its own timed line\ntargets: each send <= 1.02 of "
                "its line's limit, the program < %.0f%% of a core, worst wait < 30 ms, "
                "the page's answer < 100 ms\n",
                configs, count, qint64(program.size()), speed, cpuTarget);
    // The line models' records of every byte are made room for now: grown
    // as the bytes go, 63 of them would double at the same moment and the
    // instrument, not the program, would keep the loop waiting.
    for (LineModelPort *port : std::as_const(wires)) {
        const qsizetype expected = program.size() + SendJob::RunOutBytes;
        port->sentNs.reserve(expected);
        port->sent.reserve(expected);
        port->written.reserve(expected);
    }
    Probe probe;
    int running = count;
    for (const Cell &cell : cells)
        for (int slot = 1; slot <= cell.registry->count(); ++slot)
            QObject::connect(&cell.registry->at(slot)->link(), &Link::sendFinished, [&running] {
                if (--running == 0) QCoreApplication::exit(0);
            });
    asking.start();
    const auto [wall, cpu] = askAll(probe, wires, "%\r\n(SEND O1001)\r\n%\r\n");
    asking.stop();
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
    const double pageMs = asking.worstNs / 1e6;
    std::printf("status page: %d answers, the slowest %.2f ms (target < 100 ms)%s\n",
                asking.answers, pageMs,
                asking.wrong ? "  !! an answer was not every machine" : "");
    const bool met = whole && worst <= 1.02 && cpuShare < cpuTarget && waitMs < 30 &&
                     asking.answers > 0 && !asking.wrong && pageMs < 100;
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
