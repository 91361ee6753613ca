// The service's status page: what it shows of machines in each state, the
// token its actions need, its bounds against clients that misbehave.

#include "machinevalues.h"
#include "pty.h"
#include "shoprig.h"
#include "web/guardedserver.h"
#include "web/statusserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpSocket>
#include <QWebSocket>
#include <fcntl.h>

namespace
{
constexpr qint64 Second = VirtualClock::Second;
const QString Token = "0123456789abcdef0123456789abcdef";
const QByteArray Sent = "%\r\nO7\r\nN10 G0\r\nN20 M30\r\n%\r\n";

// Four machines: Mill served (no flow control), Lathe served waiting for
// its control's DC1, Gone served on a port that is not there, Hand attended.
struct Floor : ShopRig<> {
    explicit Floor(const QHostAddress &address = QHostAddress::LocalHost)
        : ShopRig({}, false, Ports::PerMachine)
    {
        writeFile(dir.filePath("O7.nc"), "%\nO7\nN10 G0\nN20 M30\n%\n");
        const QString common = "|MCBLKTIC=Fast|MCEOB=CRLF|MCEXTENS=nc|MCFOLDER=" + dir.path();
        writeFile(config.filePath(),
                  iniFile({"MCNAME=Mill|MCPORT=ttyFAKE0|MCMODE=SERVER|MCFLOW=0" + common,
                           "MCNAME=Lathe|MCPORT=ttyFAKE1|MCMODE=SERVER|MCFLOW=4" + common,
                           "MCNAME=Gone|MCPORT=ttyNONE|MCMODE=SERVER" + common,
                           "MCNAME=Hand|MCPORT=ttyFAKE0|MCMODE=AUTO" + common}));
        shop.reload();
        server.serve(shop.registry(), recorder, Token);
        QString why;
        QVERIFY2(server.listen(address, 0, &why), qPrintable(why));
    }
    FakePort &wire(const QString &device) { return machinePorts.on(device); }
    // The answer to `verb` `path` with `token`: status and body.
    QPair<int, QJsonDocument> ask(const QByteArray &verb, const QString &path,
                                  const QString &token = {})
    {
        QNetworkRequest request(QUrl(QString("http://127.0.0.1:%1%2").arg(server.port()).arg(path)));
        if (!token.isEmpty()) request.setRawHeader("Authorization", "Bearer " + token.toLatin1());
        QNetworkReply *reply = net.sendCustomRequest(request, verb);
        [&] { QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, 5000)); }();
        reply->deleteLater();
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                QJsonDocument::fromJson(reply->readAll())};
    }
    QJsonObject machine(const QString &name)
    {
        for (const QJsonValue &m : ask("GET", "/api/machines").second.array())
            if (m["name"] == name) return m.toObject();
        return {};
    }
    StatusServer server{clock};
    QNetworkAccessManager net;
};

// A raw connection that sends `bytes`; true once the server has closed it,
// `meanwhile` done on each look.
bool closedAfter(QTcpSocket &socket, quint16 port, const QByteArray &bytes,
                 const std::function<void()> &meanwhile = [] {})
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000)) return false;
    socket.write(bytes);
    return QTest::qWaitFor(
        [&] {
            meanwhile();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        5000);
}
// Headless Chromium on `url`, asked what its page shows through its
// debugging protocol.
struct Browser {
    QTemporaryDir profile;
    QProcess chromium;
    QNetworkAccessManager net;
    QWebSocket page;
    QList<QJsonObject> replies;

    explicit Browser(const QString &url)
    {
        chromium.start("/usr/bin/chromium", {"--headless", "--no-sandbox", "--disable-gpu",
                                             "--remote-debugging-port=0",
                                             "--user-data-dir=" + profile.path(), url});
        QByteArray err;
        QVERIFY(QTest::qWaitFor([&] { return (err += chromium.readAllStandardError()).contains("DevTools listening on ws://"); }, 20000));
        const QByteArray devtools = err.mid(err.indexOf("ws://")).split('/')[2];
        QNetworkReply *list = net.get(QNetworkRequest(QUrl("http://" + devtools + "/json/list")));
        QVERIFY(QTest::qWaitFor([&] { return list->isFinished(); }, 10000));
        for (const QJsonValue &t : QJsonDocument::fromJson(list->readAll()).array())
            if (t["type"] == "page") page.open(QUrl(t["webSocketDebuggerUrl"].toString()));
        QObject::connect(&page, &QWebSocket::textMessageReceived, [this](const QString &m) {
            replies << QJsonDocument::fromJson(m.toUtf8()).object();
        });
        QVERIFY(QTest::qWaitFor([&] { return page.state() == QAbstractSocket::ConnectedState; }, 10000));
    }
    ~Browser()
    {
        chromium.kill();
        chromium.waitForFinished();
    }
    QString eval(const QString &expression)
    {
        const int id = int(replies.size()) + 1000;
        page.sendTextMessage(QJsonDocument(QJsonObject{{"id", id}, {"method", "Runtime.evaluate"},
            {"params", QJsonObject{{"expression", expression}, {"returnByValue", true}}}}).toJson());
        const auto reply = [&] { return std::find_if(replies.begin(), replies.end(), [&](auto &r) { return r["id"] == id; }); };
        (void)QTest::qWaitFor([&] { return reply() != replies.end(); }, 5000);
        const auto r = reply();
        return r == replies.end() ? "<no answer>"
                                  : r->value("result")["result"]["value"].toString();
    }
    QString state() { return eval("document.querySelector('[data-machine=Mill] .state')?.textContent"); }
};
} // namespace

class TestStatus : public QObject
{
    Q_OBJECT
private slots:
    void showsEachMachinesState_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("happens");
        QTest::addColumn<QString>("shown"); // state|text|program
        QTest::addRow("listening") << "Mill" << "" << "listening|Listening|";
        QTest::addRow("receiving") << "Mill" << "punch" << "receiving|Receiving 12 bytes|O1000";
        // Its name shows once its line is whole: "O10" may be "O1000" yet.
        QTest::addRow("receiving, unnamed") << "Mill" << "%\r\nO10" << "receiving|Receiving 6 bytes|";
        QTest::addRow("waiting") << "Lathe" << "send" << "waiting|Waiting for the control|O7.nc";
        QTest::addRow("sending") << "Lathe" << "dc1" << "sending|Sending 0 %|O7.nc";
        QTest::addRow("missing") << "Gone" << "" << "missing|Port missing, retrying|";
        QTest::addRow("idle") << "Hand" << "" << "idle||";
    }
    void showsEachMachinesState()
    {
        QFETCH(QString, name);
        QFETCH(QString, happens);
        Floor f;
        if (happens == "punch") f.wire("ttyFAKE0").deliver("%\r\nO1000\r\nG0");
        else if (happens.startsWith('%')) f.wire("ttyFAKE0").deliver(happens.toLatin1());
        else if (!happens.isEmpty())
            QCOMPARE(f.ask("POST", "/api/machines/Lathe/send?file=O7.nc", Token).first, 200);
        if (happens == "dc1") {
            f.wire("ttyFAKE1").toWrite = 1 << 20; // the line holds what went out first
            f.wire("ttyFAKE1").deliver("\x11");
        }
        f.clock.advance(Second / 10);
        const QJsonObject m = f.machine(name);
        QFETCH(QString, shown);
        QCOMPARE(QStringList({m["state"].toString(), m["text"].toString(), m["program"].toString()})
                     .join('|'),
                 shown);
        QCOMPARE(m["config"].toString(), f.config.filePath());
        QCOMPARE(m["unsaved"].toInt(), 0);
    }

    void actionsNeedTheToken_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("answer");
        const QString send = "/api/machines/Mill/send?file=O7.nc";
        const QString stop = "/api/machines/Lathe/stop";
        QTest::addRow("send, none") << send << "" << 401 << "a valid token is needed";
        QTest::addRow("send, wrong") << send << QString(Token).replace('0', '1') << 401 << "a valid token is needed";
        QTest::addRow("send, right") << send << Token << 200 << "Sending O7.nc to Mill";
        QTest::addRow("send, out of the folder") << "/api/machines/Mill/send?file=..%2FzoZad.ini"
                                                 << Token << 404 << "there is no program \"../zoZad.ini\" in the folder of Mill";
        QTest::addRow("send, busy") << "/api/machines/Lathe/send?file=O7.nc" << Token << 409 << "Lathe is busy: Waiting for the control";
        QTest::addRow("stop, none") << stop << "" << 401 << "a valid token is needed";
        QTest::addRow("stop, wrong") << stop << "x" << 401 << "a valid token is needed";
        QTest::addRow("stop, right") << stop << Token << 200 << "Stopping the send to Lathe";
        QTest::addRow("programs, none") << "/api/machines/Mill/programs" << "" << 401 << "a valid token is needed";
    }
    void actionsNeedTheToken()
    {
        QFETCH(QString, action);
        QFETCH(QString, token);
        Floor f;
        // Lathe waits for its control with a send of the office's.
        QCOMPARE(f.ask("POST", "/api/machines/Lathe/send?file=O7.nc", Token).first, 200);
        const auto [status, body] = f.ask(action.contains("programs") ? "GET" : "POST", action, token);
        QFETCH(int, expected);
        QFETCH(QString, answer);
        QCOMPARE(status, expected);
        QCOMPARE(body["text"].toString() + body["error"].toString(), answer);
        // Only the stop with the token ends Lathe's send; only the send with it reaches Mill's line.
        const bool ended =
            f.clock.runUntil([&] { return !f.shop.registry().anyTransferring(); }, 5 * Second);
        QCOMPARE(ended, action.contains("stop") && status == 200);
        QCOMPARE(f.wire("ttyFAKE0").written.startsWith(Sent), action.contains("Mill/send") && status == 200);
        QCOMPARE(f.wire("ttyFAKE0").written.isEmpty(), !(action.contains("Mill/send") && status == 200));
    }

    // Two cells served by one page; the second has two machines named Mill.
    void whichMill_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("wires"); // what reached the first cell's Mill, then the other's
        const QString send = "/api/machines/Mill/send?file=O7.nc";
        QTest::addRow("the token's cell") << send << Token << "200 Sending O7.nc to Mill" << "sent|-|-";
        QTest::addRow("two in the token's cell")
            << send << "other" << "409 more than one machine is named \"Mill\"; say which with config="
            << "-|-|-";
        QTest::addRow("another cell's config")
            << send + "&config=FIRST" << "other" << "401 a valid token is needed" << "-|-|-";
        QTest::addRow("its own config") << send + "&config=FIRST" << Token << "200 Sending O7.nc to Mill"
                                        << "sent|-|-";
    }
    void whichMill()
    {
        QFETCH(QString, action);
        QFETCH(QString, token);
        Floor f;
        ShopRig<> other({}, false, ShopRig<>::Ports::PerMachine);
        writeFile(other.dir.filePath("O7.nc"), "%\nO7\nN10 G0\nN20 M30\n%\n");
        const QString common = "|MCMODE=SERVER|MCFLOW=0|MCBLKTIC=Fast|MCFOLDER=" + other.dir.path();
        writeFile(other.config.filePath(), iniFile({"MCNAME=Mill|MCPORT=ttyFAKE0" + common,
                                                    "MCNAME=Mill|MCPORT=ttyFAKE1" + common}));
        other.shop.reload();
        f.server.serve(other.shop.registry(), other.recorder, "other");
        action.replace("FIRST", QUrl::toPercentEncoding(f.config.filePath()));
        const auto [status, body] = f.ask("POST", action, token);
        QFETCH(QString, answer);
        QCOMPARE(QString::number(status) + ' ' + body["text"].toString() + body["error"].toString(),
                 answer);
        f.clock.advance(5 * Second);
        other.clock.advance(5 * Second);
        QStringList reached;
        for (FakePort *w : {&f.wire("ttyFAKE0"), &other.machinePorts.on("ttyFAKE0"),
                            &other.machinePorts.on("ttyFAKE1")})
            reached << (w->written.isEmpty() ? "-" : w->written.startsWith(Sent) ? "sent" : "other");
        QTEST(reached.join('|'), "wires");
        // Each transfer says whose machine it was.
        if (status == 200)
            QCOMPARE(f.ask("GET", "/api/transfers").second.array().last()["config"].toString(),
                     f.config.filePath());
    }

    void readingOffLoopbackNeedsTheToken()
    {
        Floor onLoopback, onAny(QHostAddress::AnyIPv4);
        QCOMPARE(onLoopback.ask("GET", "/api/machines").first, 200);
        QCOMPARE(onAny.ask("GET", "/api/machines").first, 401);
        QCOMPARE(onAny.ask("GET", "/").first, 401);
        QCOMPARE(onAny.ask("GET", "/api/transfers?token=" + Token).first, 200);
        const auto [status, body] = onAny.ask("GET", "/api/machines/Mill/programs", Token);
        QCOMPARE(status, 200);
        QCOMPARE(QJsonDocument(body).toJson(QJsonDocument::Compact), R"([{"bytes":22,"name":"O7.nc"}])");
    }

    void transfersAndPushes()
    {
        Floor f;
        QWebSocket ws;
        QList<QJsonObject> pushed;
        connect(&ws, &QWebSocket::textMessageReceived,
                [&](const QString &m) { pushed << QJsonDocument::fromJson(m.toUtf8()).object(); });
        ws.open(QUrl(QString("ws://127.0.0.1:%1/ws").arg(f.server.port())));
        QVERIFY(QTest::qWaitFor([&] { return pushed.size() == 1; }, 5000));
        QCOMPARE(pushed[0]["machines"].toArray().size(), 4);
        QCOMPARE(f.ask("POST", "/api/machines/Mill/send?file=O7.nc", Token).first, 200);
        QVERIFY(f.clock.runUntil([&] { return !f.shop.registry().anyTransferring(); }, 5 * Second));
        f.clock.advance(Second);
        // The changes of one send came together, at most one message each 100 ms.
        QVERIFY(QTest::qWaitFor([&] { return !pushed.last()["transfers"].toArray().isEmpty(); }, 5000));
        QVERIFY(pushed.size() <= 2 + 11);
        const QJsonObject t = f.ask("GET", "/api/transfers").second.array().last().toObject();
        QCOMPARE(t["machine"].toString() + t["direction"].toString() + t["file"].toString() +
                     t["outcome"].toString() + QString::number(t["bytes"].toInt()),
                 "MillsendO7.nccompleted27");
    }

    void misbehavingClientsAreClosed()
    {
        Floor f;
        QTcpSocket large, slow;
        QVERIFY(closedAfter(large, f.server.port(), "GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'x')));
        QVERIFY(closedAfter(slow, f.server.port(), "GET / HTTP/1.1\r\n",
                            [&] { f.clock.advance(Second / 2); }));
        // 200 at once: up to 64 kept, the rest closed; Mill's send ends as always.
        QCOMPARE(f.ask("POST", "/api/machines/Mill/send?file=O7.nc", Token).first, 200);
        std::vector<std::unique_ptr<QTcpSocket>> crowd;
        for (int i = 0; i < 200; ++i) {
            crowd.push_back(std::make_unique<QTcpSocket>());
            crowd.back()->connectToHost(QHostAddress::LocalHost, f.server.port());
        }
        const auto closed = [&] {
            return std::count_if(crowd.begin(), crowd.end(), [](auto &s) {
                return s->state() == QAbstractSocket::UnconnectedState;
            });
        };
        // One of the 64 is the test's own, kept alive since its request.
        const int kept = GuardedServer::MaxConnections - 1;
        (void)QTest::qWaitFor([&] { return closed() == 200 - kept; }, 10000);
        QCOMPARE(closed(), 200 - kept);
        QVERIFY(f.clock.runUntil([&] { return !f.shop.registry().anyTransferring(); }, Second));
        QVERIFY(f.wire("ttyFAKE0").written.startsWith(Sent));
    }

    // The real service, a machine on a pseudo-terminal, the page in a browser.
    void browserShowsChangesLive()
    {
        if (!QFile::exists("/usr/bin/chromium")) QSKIP("no /usr/bin/chromium");
        QTemporaryDir dir;
        Pty pty;
        writeFile(dir.filePath("O7.nc"), "%\nO7\nM30\n%\n");
        writeFile(dir.filePath("zoZad.ini"),
                  iniFile({"MCNAME=Mill|MCPORT=" + pty.slavePath() + "|MCMODE=SERVER|MCFLOW=0|"
                           "MCDRATE=115200|MCEOB=CRLF|MCFOLDER=" + dir.path()}));
        for (const int fd : {pty.masterFd(), pty.slaveFd()})
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        QProcess tavrin;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path());
        tavrin.setProcessEnvironment(env);
        tavrin.start(TAVRIN_BINARY, {"--serve", "--http", "127.0.0.1:0", "--config", dir.path()});
        QByteArray err;
        QVERIFY(QTest::qWaitFor([&] { return (err += tavrin.readAllStandardError()).contains("listening"); }, 10000));
        const QRegularExpressionMatch first = QRegularExpression("^Status page: (http://127.0.0.1:\\d+/)\n").match(err);
        QVERIFY2(first.hasMatch(), err);
        {
            Browser browser(first.captured(1));
            QVERIFY(QTest::qWaitFor([&] { return browser.state() == "Listening"; }, 10000));
            browser.eval("window.kept = 'the same page'");
            QVERIFY(pty.write("%\r\nO1000\r\nG0"));
            QVERIFY(QTest::qWaitFor([&] { return browser.state() == "Receiving 12 bytes"; }, 3000));
            QCOMPARE(browser.eval("window.kept"), "the same page");
            // The page without its token offers no Send; the action itself is refused.
            QCOMPARE(browser.eval("String(document.querySelectorAll('button').length)"), "0");
            QNetworkRequest post(QUrl(first.captured(1) + "api/machines/Mill/send?file=O7.nc"));
            post.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
            QNetworkReply *send = browser.net.post(post, QByteArray());
            QVERIFY(QTest::qWaitFor([&] { return send->isFinished(); }, 5000));
            QCOMPARE(send->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 401);
        }
        tavrin.terminate();
        QVERIFY(tavrin.waitForFinished(10000));
        QVERIFY(!pty.readAll().contains("O7"));
    }

    void tokenCommand()
    {
        QTemporaryDir dir;
        QProcess tavrin;
        tavrin.start(TAVRIN_BINARY, {"token", "--config", dir.path()});
        QVERIFY(tavrin.waitForFinished(10000));
        const QByteArray printed = tavrin.readAllStandardOutput();
        QVERIFY2(QRegularExpression("^[0-9a-f]{32}\n$").match(printed).hasMatch(), printed);
        QCOMPARE(readFile(dir.filePath("status-token")), printed);
        QCOMPARE(modeOf(dir.filePath("status-token")), mode_t(0600));
        tavrin.start(TAVRIN_BINARY, {"token", "--config", dir.path()});
        QVERIFY(tavrin.waitForFinished(10000));
        QCOMPARE(tavrin.readAllStandardOutput(), printed);
    }
};

QTEST_MAIN(TestStatus)
#include "tst_status.moc"
