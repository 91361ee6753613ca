#include "core/transferrecorder.h"

#include "core/clock.h"
#include "core/configstore.h"
#include "core/link.h"
#include "core/workshop.h"

#include <QDateTime>
#include <QFileInfo>

namespace
{
QString fileNameOf(const QString &loaded)
{
    if (loaded.isEmpty() || loaded == ProgramQueue::unnamed()) return QStringLiteral("-");
    return QFileInfo(loaded).fileName();
}
} // namespace

TransferRecorder::TransferRecorder(Workshop &workshop, Clock &clock, QObject *parent)
    : QObject(parent), m_workshop(workshop), m_clock(clock)
{
    Link &link = workshop.link();
    connect(&link, &Link::sendStarted, this, [this](SendJob *job) {
        m_job = job;
        begin(m_send, true, fileNameOf(m_workshop.queue(m_workshop.selected()).loadedName()));
    });
    connect(&link, &Link::sendFinished, this, &TransferRecorder::onSendFinished);
    connect(&link, &Link::stateChanged, this, &TransferRecorder::onState);
    connect(&link, &Link::portLost, this, [this] { m_receiveLost = m_receive.active; });
    connect(&link.receiver(), &ReceiveSession::text, this, &TransferRecorder::countReceived);
}

void TransferRecorder::begin(Open &open, bool send, const QString &file)
{
    const MachineConfig &machine = m_workshop.selectedMachine();
    open.active = true;
    open.startedNs = m_clock.nowNs();
    open.record = {};
    open.record.send = send;
    open.record.machine = machine.name();
    open.record.port = machine.port();
    open.record.file = file;
    // Local time, with its offset from UTC so that the line stands alone.
    const QDateTime now = QDateTime::currentDateTime();
    open.record.when = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate);
}

void TransferRecorder::end(Open &open, const QString &outcome)
{
    if (!open.active) return;
    open.active = false;
    open.record.durationMs = (m_clock.nowNs() - open.startedNs) / 1'000'000;
    open.record.outcome = outcome;
    // Beside the configuration file in use, which may have moved to the
    // user's folder since the program started.
    m_log.append(QFileInfo(m_workshop.config().filePath()).absolutePath(), open.record);
}

void TransferRecorder::onSendFinished(SendOutcome outcome)
{
    if (m_job) {
        m_send.record.bytes = m_job->bytesSent();
        m_send.record.lines = m_job->linesSent();
    }
    end(m_send, outcome == SendOutcome::Completed ? QStringLiteral("completed")
                : outcome == SendOutcome::Stopped ? QStringLiteral("stopped")
                                                  : QStringLiteral("port lost"));
}

void TransferRecorder::onState(LinkState state)
{
    if (state == LinkState::Receiving && !m_receive.active) {
        m_receiveLost = false;
        m_lastReceived = '\0';
        begin(m_receive, false, QStringLiteral("-"));
    } else if (state != LinkState::Receiving && m_receive.active) {
        // A send started from the panel takes the link over from a receive.
        end(m_receive, m_receiveLost                 ? QStringLiteral("port lost")
                       : state == LinkState::Sending ? QStringLiteral("stopped")
                                                     : QStringLiteral("completed"));
    }
}

void TransferRecorder::countReceived(const QByteArray &text)
{
    if (!m_receive.active) return;
    m_receive.record.bytes += text.size();
    // CR, LF and CR LF each end one line.
    for (const char c : text) {
        if (c == '\r' || (c == '\n' && m_lastReceived != '\r')) ++m_receive.record.lines;
        m_lastReceived = c;
    }
}
