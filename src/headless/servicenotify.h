#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class Clock;
class MachineRegistry;
class Timer;

// Tells systemd how the service is, for a unit of Type=notify: ready once
// its configuration is read and its ports tried, a status line for
// `systemctl status` (how many machines, how many transfers running), and
// the watchdog fed from the event loop, so that a loop that stops is
// restarted rather than left hanging. Started by hand, without systemd's
// socket, it says nothing.
class ServiceNotify : public QObject
{
    Q_OBJECT
public:
    explicit ServiceNotify(Clock &clock, QObject *parent = nullptr);

    // The status counts the machines of `registry` too from now on.
    void watch(const MachineRegistry &registry);
    void ready();
    void reloading();
    void stopping();
    // The watchdog's period as systemd asks for it; 0 when it does not.
    qint64 watchdogNs() const { return m_watchdogNs; }
    // "Serving 9 machines; 2 transfers running".
    static QString statusText(int machines, int running);

private:
    void send(const QByteArray &state);
    void feed();
    void updateStatus();

    Timer *m_watchdog;
    qint64 m_watchdogNs = 0;
    QList<const MachineRegistry *> m_registries;
    QString m_status;
    bool m_ready = false;
};
