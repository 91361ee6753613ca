#pragma once

#include <QObject>
#include <QString>

// One line of the transfer log: which program went to which machine (or
// came from it), when, how much, and how it ended.
struct TransferRecord {
    QString when; // local time, ISO 8601 with its offset
    bool send = true;
    QString machine;
    QString port;
    QString file; // the program's file name, or "-"
    qint64 bytes = 0;
    qint64 lines = 0;
    qint64 durationMs = 0;
    QString outcome; // "completed", "stopped", "port lost"; for served machines
                     // also why a request was refused, or that a punch was not saved
    QString requested; // a served machine's request: the name asked for

    // The tab-separated line, UTF-8, with its line end.
    QByteArray line() const;
};

// transfers.log beside zoZad.ini: one line per send and receive, each
// appended in one write, whole or not at all. At 1 MB the log rolls over to
// transfers.log.1. Someone else's symbolic link in place of either file is
// not followed. A log that cannot be written never disturbs a transfer;
// the first failure of a run is reported, the rest are not.
class TransferLog : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 RollOverBytes = 1024 * 1024;

    using QObject::QObject;

    // Appends the record to transfers.log in `folder`.
    bool append(const QString &folder, const TransferRecord &record);

signals:
    // The first failure of this run.
    void failed(const QString &file, const QString &reason);

private:
    bool m_told = false;
};
