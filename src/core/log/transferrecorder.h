#pragma once

#include "core/log/transferlog.h"

#include <QHash>
#include <QObject>
#include <QPointer>

class Clock;
class Link;
class MachineRegistry;
class SendTransfer;
class ServedMachine;
struct Transfer;
enum class SendOutcome;

// Writes a line to the transfer log for every send and every receive on
// the links it watches: which machine, which program, how much, how long,
// and how it ended. Everything it writes comes from the transfer itself,
// never from what is selected. The log lives in the folder it is given
// (beside the configuration file in use).
class TransferRecorder : public QObject
{
    Q_OBJECT
public:
    explicit TransferRecorder(Clock &clock, const QString &folder = {}, QObject *parent = nullptr);

    TransferLog &log() { return m_log; }
    void setFolder(const QString &folder) { m_folder = folder; }
    // Records what runs on `link` from now on, until it is destroyed.
    void watch(Link &link);
    // Records every machine the registry has and makes, in the folder of
    // its configuration file wherever that moves.
    void watchAll(MachineRegistry &registry);
    // Records the punches a served machine saves, or could not save.
    void watch(ServedMachine &served);
    // Records one punch received since `startedNs` on the clock (-1: now):
    // saved as `path` (empty: not saved, because of `error`), ended as
    // `outcome`.
    void recordPunch(const Transfer &transfer, const QByteArray &punch, const QString &path,
                     const QString &error, SendOutcome outcome, qint64 startedNs = -1);

    // Records bytes a control sent that started no program, dropped: how
    // many, and `head`, the first of them.
    void recordDropped(const Transfer &transfer, qint64 bytes, const QByteArray &head);
    // The outcome that says so: `not a program: 87 bytes "ser2net port…"`,
    // each byte outside printable ASCII (and each quote and backslash)
    // escaped as in C ("\r", "\x1b"), "…" when more came than `head`.
    static QString notAProgram(qint64 bytes, QByteArrayView head);

signals:
    // A transfer ended and its line was written to the log (or could not be).
    void recorded(const TransferRecord &record);

private:
    struct Open {
        bool active = false;
        TransferRecord record;
        QString refused;
        qint64 startedNs = 0;
    };
    struct Watched {
        Open send;
        Open receive;
        QPointer<SendTransfer> job;
        char lastReceived = '\0';
    };

    void begin(Open &open, const Transfer &transfer);
    void end(Open &open, SendOutcome outcome, const QString &note = {});
    static void count(Watched &w, const QByteArray &text);
    static QString outcomeText(SendOutcome outcome);

    Clock &m_clock;
    QString m_folder;
    TransferLog m_log;
    QHash<const Link *, Watched> m_links;
};
