#pragma once

#include <QObject>
#include <QString>
#include <functional>

class Clock;
class MachineRegistry;
class Timer;

// How the service ends and follows its configuration, in the event loop:
// a first stop signal ends every send at a whole block and keeps every punch
// coming in as incomplete; a send the machine holds gets StopGraceMs, or a
// second signal, before what it holds is dropped; once nothing runs, the
// punches still waiting are kept beside the configuration and finished()
// says the status to exit with. A reload rereads the configuration.
class ServiceStop : public QObject
{
    Q_OBJECT
public:
    using Writer = std::function<void(const QString &line)>;
    static constexpr int StopGraceMs = 10000;

    ServiceStop(MachineRegistry &registry, Clock &clock, Writer say, QObject *parent = nullptr);

    // SIGTERM (15) or SIGINT (2) arrived.
    void stop(int signal);
    // SIGHUP arrived: the file is read again; a file that cannot be read
    // leaves the machines as they are.
    void reload();

signals:
    void finished(int status);

private:
    void endAll();
    void finishWhenIdle();

    MachineRegistry &m_registry;
    Writer m_say;
    Timer *m_grace;
    int m_stops = 0;
    bool m_ended = false;
};
