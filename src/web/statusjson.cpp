#include "web/statusjson.h"

#include "core/base/atomicfile.h"
#include "core/config/configstore.h"
#include "core/link/link.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"

#include <QDir>

QString StatusJson::stateWord(const MachineState &state)
{
    using A = MachineState::Activity;
    switch (state.activity) {
    case A::Listening:
        return QStringLiteral("listening");
    case A::Receiving:
        return QStringLiteral("receiving");
    case A::Sending:
        return QStringLiteral("sending");
    case A::WaitingToSend:
    case A::WaitingForControl:
        return QStringLiteral("waiting");
    case A::Scanning:
        return QStringLiteral("scanning");
    case A::PortMissing:
        return QStringLiteral("missing");
    case A::Idle:
        break;
    }
    return QStringLiteral("idle");
}

QJsonObject StatusJson::machine(const Machine &machine, const QString &configFile)
{
    const MachineState &s = machine.state();
    const Link &link = machine.link();
    // What goes out now, or went last: the file, or what a control asked for.
    QString program;
    if (link.job() || s.activity == MachineState::Activity::WaitingToSend) {
        const Transfer &t = link.sendTransfer();
        program = t.source.kind == ProgramSource::Kind::File ? t.source.logName() : t.requested;
    } else if (s.activity == MachineState::Activity::Receiving) {
        program = s.program;
    }
    return {{QStringLiteral("name"), s.name},
            {QStringLiteral("config"), QDir::toNativeSeparators(configFile)},
            {QStringLiteral("port"), s.port},
            {QStringLiteral("state"), stateWord(s)},
            {QStringLiteral("text"), stateText(s)},
            {QStringLiteral("program"), program},
            {QStringLiteral("percent"), s.percent},
            {QStringLiteral("bytes"), double(s.bytes)},
            {QStringLiteral("unsaved"), s.unsaved},
            {QStringLiteral("served"), s.served}};
}

QJsonArray StatusJson::machines(const QList<const MachineRegistry *> &registries)
{
    QJsonArray all;
    for (const MachineRegistry *registry : registries)
        for (int slot = 1; slot <= registry->count(); ++slot)
            all.append(machine(*registry->at(slot), registry->config().filePath()));
    return all;
}

bool StatusJson::parseLogLine(const QByteArray &line, TransferRecord *record)
{
    const QList<QByteArray> f = line.split('\t');
    if (f.size() < 9 || f.size() > 10 || (f[1] != "send" && f[1] != "receive")) return false;
    const auto text = [&](int i) {
        return f.value(i) == "-" ? QString() : QString::fromUtf8(f.value(i));
    };
    bool bytes = false, lines = false, seconds = false;
    record->when = text(0);
    record->send = f[1] == "send";
    record->machine = text(2);
    record->port = text(3);
    record->file = f[4] == "-" ? QStringLiteral("-") : text(4);
    record->bytes = f[5].toLongLong(&bytes);
    record->lines = f[6].toLongLong(&lines);
    const double duration = f[7].toDouble(&seconds);
    // A year at most: the log's own lines never say more; nothing else is one.
    seconds = seconds && duration >= 0 && duration <= 366.0 * 24 * 3600;
    record->durationMs = seconds ? qint64(duration * 1000.0 + 0.5) : 0;
    record->outcome = text(8);
    record->requested = text(9);
    return bytes && lines && seconds;
}

QJsonObject StatusJson::transfer(const TransferRecord &r)
{
    QJsonObject o{{QStringLiteral("when"), r.when},
                  {QStringLiteral("direction"), r.send ? "send" : "receive"},
                  {QStringLiteral("machine"), r.machine},
                  {QStringLiteral("port"), r.port},
                  {QStringLiteral("file"), r.file},
                  {QStringLiteral("bytes"), double(r.bytes)},
                  {QStringLiteral("lines"), double(r.lines)},
                  {QStringLiteral("seconds"), double(r.durationMs) / 1000.0},
                  {QStringLiteral("outcome"), r.outcome}};
    if (!r.requested.isEmpty()) o.insert(QStringLiteral("requested"), r.requested);
    return o;
}

QList<TransferRecord> StatusJson::readLogTail(const QString &folder, int count)
{
    QByteArray log;
    // A log is rolled over at its bound; one larger is not ours to read.
    if (!readRegularFile(QDir(folder).filePath(QStringLiteral("transfers.log")), &log,
                         2 * TransferLog::RollOverBytes)
             .isEmpty())
        return {};
    QList<TransferRecord> records;
    for (const QByteArray &line : log.split('\n')) {
        TransferRecord r;
        if (parseLogLine(line, &r)) records.append(r);
    }
    return records.mid(qMax(0, int(records.size()) - count));
}
