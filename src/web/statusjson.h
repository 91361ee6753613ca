#pragma once

#include "core/log/transferlog.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

class Machine;
class MachineRegistry;
struct MachineState;

// What the status page and its JSON show of the floor.
namespace StatusJson
{
// The stable word for what a machine does: listening, receiving, sending,
// waiting, scanning, missing, idle.
QString stateWord(const MachineState &state);
// One machine: name, config (its zoZad.ini), port, state, text (the words
// under its name on the panel), program, percent, bytes, unsaved, served.
QJsonObject machine(const Machine &machine, const QString &configFile);
// Every machine of every registry, in the panel's order.
QJsonArray machines(const QList<const MachineRegistry *> &registries);

// One line of the transfer log as an object named after its columns: when,
// direction, machine, port, file, bytes, lines, seconds, outcome and,
// for served machines, requested. False when the line is not one.
bool parseLogLine(const QByteArray &line, TransferRecord *record);
QJsonObject transfer(const TransferRecord &record);
// The last `count` records of transfers.log in `folder` (read
// whole: it rolls over at 1 MB), oldest first.
QList<TransferRecord> readLogTail(const QString &folder, int count);
} // namespace StatusJson
