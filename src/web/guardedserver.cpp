#include "web/guardedserver.h"

#include "core/base/clock.h"

#include <QTcpSocket>

GuardedServer::GuardedServer(Clock &clock, QObject *parent) : QTcpServer(parent), m_clock(clock)
{
    // A crowd that comes at once waits in the system's queue to be counted
    // and closed, not for its handshakes to be retried seconds later.
    setListenBacklogSize(4 * MaxConnections);
}

void GuardedServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    prune();
    if (m_guards.size() >= MaxConnections) {
        socket->abort();
        socket->deleteLater();
        emit refused(QStringLiteral("too many connections"));
        return;
    }
    Guard &guard = m_guards[socket];
    guard.socket = socket;
    guard.deadline = m_clock.createTimer(socket);
    guard.deadline->start(RequestTimeoutMs);
    connect(guard.deadline, &Timer::timeout, this,
            [this, socket] { drop(socket, QStringLiteral("request too slow")); });
    // Connected before the HTTP server's own reader: what came is counted
    // before it is parsed. The server reads all there is each time.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        auto it = m_guards.find(socket);
        if (it == m_guards.end() || !it->deadline) return;
        it->bytes += socket->bytesAvailable();
        if (it->bytes > MaxRequestBytes) drop(socket, QStringLiteral("request too large"));
    });
    // An answer going back ends the request: the next one starts afresh,
    // and has as long again (a connection kept idle is closed then too).
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        auto it = m_guards.find(socket);
        if (it == m_guards.end() || !it->deadline) return;
        it->bytes = 0;
        it->deadline->start(RequestTimeoutMs);
    });
    // Whoever serves it (the HTTP server, a WebSocket) deletes the socket;
    // a closed one leaves the count then.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    addPendingConnection(socket);
}

void GuardedServer::release(const QHostAddress &peer, quint16 port)
{
    for (auto it = m_guards.begin(); it != m_guards.end(); ++it)
        if (it.key()->peerPort() == port && it.key()->peerAddress().isEqual(peer)) {
            // Still counted among the connections; no longer timed or measured.
            delete it->deadline;
            it->deadline = nullptr;
            return;
        }
}

void GuardedServer::drop(QTcpSocket *socket, const QString &why)
{
    emit refused(why);
    // Nothing more of it is parsed; it is closed once its reader has returned.
    socket->skip(socket->bytesAvailable());
    QMetaObject::invokeMethod(socket, &QAbstractSocket::abort, Qt::QueuedConnection);
}

int GuardedServer::connections()
{
    prune();
    return int(m_guards.size());
}

void GuardedServer::prune()
{
    m_guards.removeIf([](const auto &entry) { return entry.value().socket.isNull(); });
}
