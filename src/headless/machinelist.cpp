#include "headless/machinelist.h"

#include "core/config/configstore.h"
#include "core/machines/workshop.h"
#include "headless/commandsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace
{
struct Row {
    int number;
    QString port, speed, format, flow, mode, name;
    qint32 bitsPerSecond; // 0 where the stored speed is none the program offers
};

Row rowOf(const MachineConfig &m, int number)
{
    const LineSettings s = LineSettings::forMachine(m, 0);
    const QString stored = m.value(Key::Speed);
    return {number,
            m.port().isEmpty() ? QStringLiteral("-") : m.port(),
            s.speed > 0 ? QString::number(s.speed) : stored.isEmpty() ? QStringLiteral("-") : stored,
            s.format(),
            MachineConfig::flowName(m.value(Key::Flow)),
            Workshop::isServed(m) ? QStringLiteral("served") : QStringLiteral("attended"),
            m.name(),
            s.speed};
}

void printColumns(const QList<Row> &rows)
{
    // Aligned columns, two blanks or more between them; the flow control in
    // the panel's words, and last the name: both may hold single blanks.
    QList<QStringList> cells;
    for (const Row &r : rows)
        cells << QStringList{QString::number(r.number), r.port, r.speed, r.format, r.flow, r.mode,
                             r.name};
    QList<qsizetype> widths(7, 0);
    for (const QStringList &row : cells)
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = qMax(widths[c], row[c].size());
    for (const QStringList &row : cells) {
        QString line;
        for (qsizetype c = 0; c + 1 < row.size(); ++c)
            line += row[c].leftJustified(widths[c] + 2);
        std::fputs(qPrintable(line + row.last() + u'\n'), stdout);
    }
}
} // namespace

int listMachines(const QList<const ConfigStore *> &configs, bool json)
{
    QJsonArray all;
    for (const ConfigStore *config : configs) {
        const QString file = QDir::toNativeSeparators(config->filePath());
        QList<Row> rows;
        for (int i = 1; i <= config->table().count(); ++i)
            rows << rowOf(config->table().at(i), i);
        if (!json) {
            // Several configurations: each list under its file's name.
            if (configs.size() > 1) std::fputs(qPrintable(file + QStringLiteral(":\n")), stdout);
            printColumns(rows);
            continue;
        }
        for (const Row &r : rows)
            all.append(QJsonObject{{"config", file},
                                   {"number", r.number},
                                   {"name", r.name},
                                   {"port", r.port == u"-" ? QString() : r.port},
                                   {"speed", r.bitsPerSecond},
                                   {"format", r.format},
                                   {"flow", r.flow},
                                   {"mode", r.mode}});
    }
    if (json) std::fputs(QJsonDocument(all).toJson(QJsonDocument::Indented).constData(), stdout);
    return StatusDone;
}
