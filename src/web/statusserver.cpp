#include "web/statusserver.h"

#include "core/base/clock.h"
#include "core/log/transferrecorder.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"
#include "core/config/configstore.h"
#include "web/guardedserver.h"
#include "web/statusjson.h"
#include "web/statustoken.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QWebSocket>
#include <algorithm>

// The page is a resource of this static library: registered by hand.
static void initPage()
{
    Q_INIT_RESOURCE(status);
}

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

StatusServer::StatusServer(Clock &clock, QObject *parent)
    : QObject(parent), m_clock(clock), m_tcp(new GuardedServer(clock, this)),
      m_push(clock.createTimer(this))
{
    initPage();
    connect(m_push, &Timer::timeout, this, &StatusServer::push);
    const auto reading = [this](auto view) {
        return [this, view](const QHttpServerRequest &request) {
            if (!mayRead(request))
                return QHttpServerResponse(QJsonObject{{"error", "a token is needed"}},
                                           Status::Unauthorized);
            return view();
        };
    };
    m_http.route("/", Method::Get, reading([] {
                     QFile page(QStringLiteral(":/web/status.html"));
                     page.open(QIODevice::ReadOnly);
                     return QHttpServerResponse("text/html; charset=utf-8", page.readAll());
                 }));
    m_http.route("/api/machines", Method::Get,
                 reading([this] { return QHttpServerResponse(snapshot()["machines"].toArray()); }));
    m_http.route("/api/transfers", Method::Get,
                 reading([this] { return QHttpServerResponse(snapshot()["transfers"].toArray()); }));
    m_http.route("/api/machines/<arg>/programs", Method::Get,
                 [this](const QString &name, const QHttpServerRequest &request) {
                     return programs(name, request);
                 });
    m_http.route("/api/machines/<arg>/send", Method::Post,
                 [this](const QString &name, const QHttpServerRequest &request) {
                     return send(name, request);
                 });
    m_http.route("/api/machines/<arg>/stop", Method::Post,
                 [this](const QString &name, const QHttpServerRequest &request) {
                     return stop(name, request);
                 });
    // The upgrade is taken once a route has it; the WebSocket is checked
    // (its path, its token) when it comes out of the server in accept().
    m_http.route("/ws", Method::Get, [](const QHttpServerRequest &, QHttpServerResponder &&) {});
    connect(&m_http, &QAbstractHttpServer::newWebSocketConnection, this, &StatusServer::accept);
}

StatusServer::~StatusServer() = default;

bool StatusServer::parseAddress(const QString &text, QHostAddress *address, quint16 *port)
{
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = colon < 0 ? QStringLiteral("127.0.0.1") : text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
    bool number = false;
    const uint p = text.mid(colon + 1).toUInt(&number);
    if (!number || p > 65535 || !address->setAddress(host)) return false;
    *port = quint16(p);
    return true;
}

void StatusServer::serve(MachineRegistry &registry, TransferRecorder &recorder,
                         const QString &token)
{
    m_served.push_back({&registry, token});
    connect(&registry, &MachineRegistry::stateChanged, this, &StatusServer::changed);
    const QString config = QDir::toNativeSeparators(registry.config().filePath());
    connect(&recorder, &TransferRecorder::recorded, this,
            [this, config](const TransferRecord &r) { record({config, r}); });
    for (const TransferRecord &r : StatusJson::readLogTail(
             QFileInfo(registry.config().filePath()).absolutePath(), MaxTransfers))
        m_transfers.append({config, r});
    // Several logs: their lines in the order they were written.
    std::stable_sort(m_transfers.begin(), m_transfers.end(),
                     [](const auto &a, const auto &b) { return a.record.when < b.record.when; });
    m_transfers = m_transfers.mid(qMax(0, int(m_transfers.size()) - MaxTransfers));
}

bool StatusServer::listen(const QHostAddress &address, quint16 port, QString *why)
{
    if (!m_tcp->listen(address, port)) {
        *why = m_tcp->errorString();
        return false;
    }
    m_address = address;
    m_http.bind(m_tcp);
    return true;
}

quint16 StatusServer::port() const
{
    return m_tcp->serverPort();
}

QString StatusServer::url() const
{
    const QString host = m_address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(m_address.toString())
                             : m_address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port());
}

QString StatusServer::tokenOf(const QHttpServerRequest &request) const
{
    const QByteArray header = request.value("Authorization");
    if (header.startsWith("Bearer ")) return QString::fromLatin1(header.mid(7).trimmed());
    return request.query().queryItemValue(QStringLiteral("token"));
}

bool StatusServer::mayRead(const QHttpServerRequest &request) const
{
    if (m_address.isLoopback()) return true;
    const QString given = tokenOf(request);
    return std::any_of(m_served.begin(), m_served.end(),
                       [&](const Served &s) { return StatusToken::matches(s.token, given); });
}

QList<Machine *> StatusServer::authorised(const QString &name, const QHttpServerRequest &request,
                                          bool *known) const
{
    const QString given = tokenOf(request);
    // Two cells may both have a "Mill": the page says whose, as its JSON does.
    const QString config =
        request.query().queryItemValue(QStringLiteral("config"), QUrl::FullyDecoded);
    *known = false;
    QList<Machine *> found;
    for (const Served &s : m_served) {
        if (!config.isEmpty() &&
            config != QDir::toNativeSeparators(s.registry->config().filePath()))
            continue;
        if (!StatusToken::matches(s.token, given)) continue;
        *known = true;
        for (int slot = 1; slot <= s.registry->count(); ++slot)
            if (s.registry->at(slot)->config().name() == name) found << s.registry->at(slot);
    }
    return found;
}

QJsonObject StatusServer::snapshot() const
{
    QList<const MachineRegistry *> registries;
    for (const Served &s : m_served)
        registries << s.registry;
    QJsonArray transfers;
    for (const Logged &l : m_transfers) {
        QJsonObject t = StatusJson::transfer(l.record);
        t.insert(QStringLiteral("config"), l.config);
        transfers.append(t);
    }
    return {{"machines", StatusJson::machines(registries)}, {"transfers", transfers}};
}

void StatusServer::record(const Logged &logged)
{
    m_transfers.append(logged);
    if (m_transfers.size() > MaxTransfers) m_transfers.removeFirst();
    changed();
}

// Changes that come together go in one message, at most one every PushMs.
void StatusServer::changed()
{
    if (!m_sockets.empty() && !m_push->isActive()) m_push->start(PushMs);
}

void StatusServer::push()
{
    const QString text =
        QString::fromUtf8(QJsonDocument(snapshot()).toJson(QJsonDocument::Compact));
    for (const auto &socket : m_sockets) {
        auto queued = socket->property("queued").toLongLong() + socket->sendTextMessage(text);
        socket->setProperty("queued", queued);
        // A client that does not read what it is sent is dropped, not fed.
        if (queued > MaxQueuedBytes) socket->abort();
    }
}

void StatusServer::accept()
{
    while (m_http.hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = m_http.nextPendingWebSocketConnection();
        if (!socket) continue;
        m_tcp->release(socket->peerAddress(), socket->peerPort());
        const QUrl url = socket->requestUrl();
        const bool allowed =
            url.path() == u"/ws" &&
            (m_address.isLoopback() ||
             std::any_of(m_served.begin(), m_served.end(), [&](const Served &s) {
                 return StatusToken::matches(
                     s.token, QUrlQuery(url).queryItemValue(QStringLiteral("token")));
             }));
        if (!allowed || int(m_sockets.size()) >= MaxWebSockets) {
            socket->abort();
            continue;
        }
        QWebSocket *ws = socket.get();
        ws->setMaxAllowedIncomingFrameSize(1024);
        ws->setMaxAllowedIncomingMessageSize(1024);
        connect(ws, &QWebSocket::bytesWritten, this, [ws](qint64 written) {
            ws->setProperty("queued", ws->property("queued").toLongLong() - written);
        });
        connect(ws, &QWebSocket::disconnected, this, [this, ws] {
            auto it = std::find_if(m_sockets.begin(), m_sockets.end(),
                                   [ws](const auto &s) { return s.get() == ws; });
            if (it == m_sockets.end()) return;
            it->release()->deleteLater();
            m_sockets.erase(it);
        });
        ws->sendTextMessage(
            QString::fromUtf8(QJsonDocument(snapshot()).toJson(QJsonDocument::Compact)));
        m_sockets.push_back(std::move(socket));
    }
}
