#pragma once

#include "core/base/transfer.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class Machine;
class MachineRegistry;
class TransferRecorder;
struct TransferRecord;

// The service's account of what it does, one line per event, for the
// system journal: a served machine's port opened, not to be had, lost and
// back; each request and how it was answered; each transfer and how it
// ended (the transfer log's record, told in words). It reads each
// machine's state as the registry shares it.
class ServiceLog : public QObject
{
    Q_OBJECT
public:
    using Writer = std::function<void(const QString &line)>;

    ServiceLog(MachineRegistry &registry, TransferRecorder &recorder, Writer write,
               QObject *parent = nullptr);

    // The record as a line: "Mill: sent O1234.nc, 1999 lines, 45210 bytes
    // in 0:42, completed"; bytes that were no program: "Mill: not a program:
    // 87 bytes "ser2net port…", dropped".
    static QString describe(const TransferRecord &record);

private:
    enum class Port { Unknown, Open, Closed, Lost };
    void watch(Machine *machine);
    void portChanged(MachineId id);

    MachineRegistry &m_registry;
    Writer m_write;
    // By machine id: what was last said of its port.
    QHash<quint32, Port> m_ports;
};
