#pragma once

#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>

class Clock;
class QTcpSocket;
class Timer;

// The status page's listening socket, bounded against clients that would
// hold the service's memory or its connections: past MaxConnections at
// once a new one is closed at once; a connection that sends more than
// MaxRequestBytes before an answer goes back, or that has not sent a whole
// request within RequestTimeoutMs of connecting or of its last answer, is
// closed. A connection that became a WebSocket is released from the
// request bounds (release()); its own bounds are the server's.
class GuardedServer : public QTcpServer
{
    Q_OBJECT
public:
    static constexpr int MaxConnections = 64;
    static constexpr qint64 MaxRequestBytes = 16 * 1024;
    static constexpr int RequestTimeoutMs = 10'000;

    explicit GuardedServer(Clock &clock, QObject *parent = nullptr);

    // Connections open now, WebSockets among them.
    int connections();
    // The connection from `peer`:`port` is a WebSocket now.
    void release(const QHostAddress &peer, quint16 port);

signals:
    // A connection was closed for a bound: "too many connections",
    // "request too large", "request too slow".
    void refused(const QString &why);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Guard {
        // A WebSocket's connection is its socket's to delete.
        QPointer<QTcpSocket> socket;
        Timer *deadline = nullptr;
        qint64 bytes = 0;
    };
    void prune();
    void drop(QTcpSocket *socket, const QString &why);

    Clock &m_clock;
    QHash<QTcpSocket *, Guard> m_guards;
};
