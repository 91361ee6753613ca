#pragma once

#include "core/log/transferlog.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QList>
#include <QObject>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class GuardedServer;
class Machine;
class MachineRegistry;
class QWebSocket;
class Timer;
class TransferRecorder;

// The shop floor's status page and its JSON, in the service's event loop:
// every machine of every configuration served, the last transfers, and,
// with a configuration's token, a send from a machine's folder or a stop.
//
// GET  /                                the page
// GET  /api/machines                    every machine (StatusJson::machine)
// GET  /api/transfers                   the last MaxTransfers log lines, newest last
// GET  /api/machines/NAME/programs      the files in the machine's folder
// POST /api/machines/NAME/send?file=F   sends F from the machine's folder
// POST /api/machines/NAME/stop          stops the machine's send
// GET  /ws                              WebSocket: {"machines":[...],"transfers":[...]}
//                                       at once and on each change, at most
//                                       every PushMs
//
// A machine is named by its name, and by "config=FILE" too (its
// configuration's file as the JSON gives it) where two configurations both
// have one of that name; a name that still means two is refused (409).
// Actions need the token of the machine's configuration (401 without it);
// reading needs one of the tokens too when the page is bound to an address
// other than loopback. The token comes as "Authorization: Bearer T" or
// "?token=T".
class StatusServer : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 8420;
    static constexpr int MaxTransfers = 100;
    static constexpr int PushMs = 100;
    static constexpr int MaxWebSockets = 16;
    // A WebSocket client that does not read what it is sent is dropped.
    static constexpr qint64 MaxQueuedBytes = 512 * 1024;
    static constexpr int MaxPrograms = 1000;

    // "[ADDRESS:]PORT" as --http takes it (an IPv6 address in brackets);
    // false when it is not one. "off" is the caller's.
    static bool parseAddress(const QString &text, QHostAddress *address, quint16 *port);

    explicit StatusServer(Clock &clock, QObject *parent = nullptr);
    ~StatusServer() override;

    // Shows (and takes actions for) the machines of `registry`; actions
    // need `token`. Its transfers come from `recorder`, the ones before
    // from the log in the configuration's folder.
    void serve(MachineRegistry &registry, TransferRecorder &recorder, const QString &token);
    // False, with why, when the address cannot be listened on.
    bool listen(const QHostAddress &address, quint16 port, QString *why);
    QString url() const;
    quint16 port() const;

private:
    struct Served {
        MachineRegistry *registry;
        QString token;
    };
    bool mayRead(const QHttpServerRequest &request) const;
    QString tokenOf(const QHttpServerRequest &request) const;
    // The machines `name` of the configurations whose token `request`
    // bears (of its "config" only, when it names one).
    QList<Machine *> authorised(const QString &name, const QHttpServerRequest &request,
                                bool *known) const;
    Machine *target(const QString &name, const QHttpServerRequest &request,
                    std::optional<QHttpServerResponse> *refusal) const;
    QHttpServerResponse programs(const QString &name, const QHttpServerRequest &request) const;
    QHttpServerResponse send(const QString &name, const QHttpServerRequest &request);
    QHttpServerResponse stop(const QString &name, const QHttpServerRequest &request);
    QJsonObject snapshot() const;
    void changed();
    void push();
    void accept();
    // A transfer and the configuration file of its machine.
    struct Logged {
        QString config;
        TransferRecord record;
    };
    void record(const Logged &logged);

    Clock &m_clock;
    QHttpServer m_http;
    GuardedServer *m_tcp;
    QHostAddress m_address;
    std::vector<Served> m_served;
    QList<Logged> m_transfers;
    std::vector<std::unique_ptr<QWebSocket>> m_sockets;
    Timer *m_push;
};
