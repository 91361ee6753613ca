#include "core/log/transferrecorder.h"

#include "core/base/clock.h"
#include "core/config/configstore.h"
#include "core/link/link.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"
#include "core/sending/sendtext.h"
#include "core/serving/servedmachine.h"

#include <QDateTime>
#include <QFileInfo>

TransferRecorder::TransferRecorder(Clock &clock, const QString &folder, QObject *parent)
    : QObject(parent), m_clock(clock), m_folder(folder)
{
}

void TransferRecorder::watch(Link &link)
{
    const Link *key = &link;
    m_links.insert(key, {});
    connect(&link, &QObject::destroyed, this, [this, key] { m_links.remove(key); });
    connect(&link, &Link::sendStarted, this, [this, key, &link](SendTransfer *job) {
        Watched &w = m_links[key];
        w.job = job;
        begin(w.send, link.sendTransfer());
    });
    connect(&link, &Link::sendFinished, this, [this, key, &link](SendOutcome outcome) {
        Watched &w = m_links[key];
        QString note = link.sendTransfer().note;
        if (w.job) {
            w.send.record.bytes = w.job->bytesSent();
            w.send.record.lines = w.job->linesSent();
            if (note.isEmpty()) note = SendText::answered(outcome, w.job->progress());
        }
        end(w.send, outcome, note);
    });
    connect(&link, &Link::receiveStarted, this, [this, key](const Transfer &t) {
        Watched &w = m_links[key];
        w.lastReceived = '\0';
        begin(w.receive, t);
    });
    connect(&link, &Link::receiveEnded, this,
            [this, key](const Transfer &t, SendOutcome outcome) {
                end(m_links[key].receive, outcome, t.note);
            });
    connect(&link.receiver(), &ReceiveSession::text, this, [this, key](const QByteArray &text) {
        Watched &w = m_links[key];
        if (w.receive.active) count(w, text);
    });
}

void TransferRecorder::watchAll(MachineRegistry &registry)
{
    setFolder(QFileInfo(registry.config().filePath()).absolutePath());
    auto watchMachine = [this](Machine *machine) {
        watch(machine->link());
        if (ServedMachine *served = machine->served()) watch(*served);
        connect(machine, &Machine::servedCreated, this,
                [this](ServedMachine *served) { watch(*served); });
    };
    for (int i = 1; i <= registry.count(); ++i)
        watchMachine(registry.at(i));
    connect(&registry, &MachineRegistry::machineCreated, this, watchMachine);
    // The log stays beside the configuration file in use.
    connect(&registry.config(), &ConfigStore::fileMoved, this,
            [this](const QString &, const QString &, const QString &now) {
                setFolder(QFileInfo(now).absolutePath());
            });
}

void TransferRecorder::watch(ServedMachine &served)
{
    connect(&served, &ServedMachine::punchEnded, this, &TransferRecorder::recordPunch);
    connect(&served, &ServedMachine::dropped, this, &TransferRecorder::recordDropped);
}

void TransferRecorder::recordDropped(const Transfer &t, qint64 bytes, const QByteArray &head)
{
    Open open;
    begin(open, t);
    open.record.bytes = bytes;
    end(open, SendOutcome::Completed, notAProgram(bytes, head));
}

QString TransferRecorder::notAProgram(qint64 bytes, QByteArrayView head)
{
    // Shown in one line of the log, whatever the bytes are.
    QString shown;
    for (const char c : head) {
        const qsizetype escaped = QByteArrayView("\r\n\t\"\\").indexOf(c);
        if (escaped >= 0)
            shown += u'\\' + QString(QLatin1Char("rnt\"\\"[escaped]));
        else if (uchar(c) >= 0x20 && uchar(c) < 0x7f)
            shown += QLatin1Char(c);
        else
            shown += QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    return QStringLiteral("not a program: %1 bytes \"%2%3\"")
        .arg(bytes)
        .arg(shown, bytes > head.size() ? QStringLiteral("\u2026") : QString());
}

void TransferRecorder::recordPunch(const Transfer &t, const QByteArray &punch,
                                   const QString &path, const QString &error,
                                   SendOutcome outcome, qint64 startedNs)
{
    Open open;
    begin(open, t);
    // A punch began with its first byte, not when it was handed on.
    if (startedNs >= 0) {
        const QDateTime began =
            QDateTime::currentDateTime().addMSecs((startedNs - m_clock.nowNs()) / 1'000'000);
        open.record.when = began.toOffsetFromUtc(began.offsetFromUtc()).toString(Qt::ISODate);
        open.startedNs = startedNs;
    }
    open.record.file = path.isEmpty() ? QStringLiteral("-") : QFileInfo(path).fileName();
    open.record.bytes = punch.size();
    Watched w;
    count(w, punch);
    open.record.lines = w.receive.record.lines;
    // A punch not saved says so whatever else it says of its end.
    QString note = t.note;
    if (!error.isEmpty()) {
        const QString head = !note.isEmpty()                   ? note + QStringLiteral("; ")
                             : outcome != SendOutcome::Completed ? outcomeText(outcome) + QStringLiteral("; ")
                                                               : QString();
        note = head + QStringLiteral("not saved: ") + error;
    }
    end(open, outcome, note);
}

void TransferRecorder::begin(Open &open, const Transfer &transfer)
{
    open.active = true;
    open.startedNs = m_clock.nowNs();
    open.record = {};
    open.record.send = transfer.isSend();
    open.record.machine = transfer.machineName;
    open.record.port = transfer.port;
    open.record.file = transfer.isSend() ? transfer.source.logName() : QStringLiteral("-");
    open.record.requested = transfer.requested;
    open.refused = transfer.refused;
    // Local time, with its offset from UTC so that the line stands alone.
    const QDateTime now = QDateTime::currentDateTime();
    open.record.when = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
}

QString TransferRecorder::outcomeText(SendOutcome outcome)
{
    return outcome == SendOutcome::Completed  ? QStringLiteral("completed")
           : outcome == SendOutcome::Stopped  ? QStringLiteral("stopped")
           : outcome == SendOutcome::Failed   ? QStringLiteral("failed")
           : outcome == SendOutcome::PortLost ? QStringLiteral("port lost")
                                              : QStringLiteral("stopped by the control");
}

void TransferRecorder::end(Open &open, SendOutcome outcome, const QString &note)
{
    if (!open.active) return;
    open.active = false;
    open.record.durationMs = (m_clock.nowNs() - open.startedNs) / 1'000'000;
    open.record.outcome = outcomeText(outcome);
    // A reply that says why a request was not served ends as that reason.
    if (outcome == SendOutcome::Completed && !open.refused.isEmpty()) open.record.outcome = open.refused;
    if (!note.isEmpty()) open.record.outcome = note;
    m_log.append(m_folder, open.record);
    emit recorded(open.record);
}

void TransferRecorder::count(Watched &w, const QByteArray &text)
{
    w.receive.record.bytes += text.size();
    // CR, LF and CR LF each end one line.
    for (const char c : text) {
        if (c == '\r' || (c == '\n' && w.lastReceived != '\r')) ++w.receive.record.lines;
        w.lastReceived = c;
    }
}
