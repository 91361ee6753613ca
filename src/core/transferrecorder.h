#pragma once

#include "core/transferlog.h"

#include <QObject>
#include <QPointer>

class Clock;
class SendJob;
class Workshop;
enum class LinkState;
enum class SendOutcome;

// Writes a line to the transfer log for every send and every receive on
// the workshop's link: which machine, which program, how much, how long,
// and how it ended. The log lives beside the configuration file in use.
class TransferRecorder : public QObject
{
    Q_OBJECT
public:
    TransferRecorder(Workshop &workshop, Clock &clock, QObject *parent = nullptr);

    TransferLog &log() { return m_log; }

private:
    struct Open {
        bool active = false;
        TransferRecord record;
        qint64 startedNs = 0;
    };

    void begin(Open &open, bool send, const QString &file);
    void end(Open &open, const QString &outcome);
    void onState(LinkState state);
    void onSendFinished(SendOutcome outcome);
    void countReceived(const QByteArray &text);

    Workshop &m_workshop;
    Clock &m_clock;
    TransferLog m_log;
    Open m_send;
    Open m_receive;
    QPointer<SendJob> m_job;
    bool m_receiveLost = false;
    char m_lastReceived = '\0';
};
