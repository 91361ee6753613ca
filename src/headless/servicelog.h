#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

class ServedMachine;
class TransferRecorder;
class Workshop;
struct TransferRecord;

// The service's account of what it does, one line per event, for the
// system journal: a served machine's port opened, not to be had, lost and
// back; each request and how it was answered; each transfer and how it
// ended (the transfer log's record, told in words).
class ServiceLog : public QObject
{
    Q_OBJECT
public:
    using Writer = std::function<void(const QString &line)>;
    ServiceLog(Workshop &workshop, TransferRecorder &recorder, Writer write,
               QObject *parent = nullptr);

    // The record as a line: "Mill: sent O1234.nc, 1999 lines, 45210 bytes
    // in 0:42, completed".
    static QString describe(const TransferRecord &record);

private:
    enum class Port { Unknown, Open, Closed, Lost };
    void watchServed(int slot);
    void portChanged(int slot);

    Workshop &m_workshop;
    Writer m_write;
    // By machine id: what was last said of its port.
    QHash<quint32, Port> m_ports;
    // Punches each served machine keeps for a later try.
    QHash<const ServedMachine *, int> m_unsaved;
};
