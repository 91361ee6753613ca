// XMODEM: its engines on the wire in virtual time, through the link (a send,
// the user's receive, a served machine's punch), and against lrzsz's sx and
// rx over TCP, one block damaged on the way.

#include "core/protocols/blockwiseframe.h"
#include "core/protocols/xmodem.h"
#include "core/protocols/xmodemreceiver.h"
#include "core/protocols/xmodemsender.h"
#include "core/base/atomicfile.h"
#include "core/ports/netserialport.h"
#include "core/ports/qtserialport.h"
#include "core/sending/sendtext.h"
#include "machinevalues.h"
#include "shoprig.h"


#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace
{
constexpr qint64 S = VirtualClock::Second;
using Steps = QList<std::pair<qint64, QByteArray>>; // after so many ms, what the peer says
const QByteArray Ack(1, Xmodem::Ack), Nak(1, Xmodem::Nak), Eot(1, Xmodem::Eot),
    Can = Xmodem::cancel();

QByteArray blk(int n, const QByteArray &data, bool crc = true)
{
    return Xmodem::block(n, data, crc);
}
QByteArray times(const QByteArray &b, int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i) out += b;
    return out;
}

// One engine on a line of its own: what it writes, hands on and how it ends.
struct Wire {
    VirtualClock clock;
    QByteArray written, handed;
    std::optional<ProtocolOutcome> outcome;
    std::unique_ptr<ProtocolTransfer> engine;
    void take(ProtocolTransfer *e)
    {
        engine.reset(e);
        QObject::connect(e, &ProtocolTransfer::data, [this](const QByteArray &b) { handed += b; });
        QObject::connect(e, &ProtocolTransfer::finished, [this](ProtocolOutcome o) { outcome = o; });
        e->start();
    }
    ProtocolTransfer::Writer writer()
    {
        return [this](const QByteArray &b) { return written += b, true; };
    }
    void play(const Steps &steps)
    {
        for (const auto &[ms, bytes] : steps) {
            clock.advance(ms * 1'000'000);
            if (!bytes.isEmpty()) engine->feed(bytes);
        }
    }
};
} // namespace
Q_DECLARE_METATYPE(Steps)
Q_DECLARE_METATYPE(ProtocolOutcome)

class TestXmodem : public QObject
{
    Q_OBJECT
private slots:
    void sender_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("why");
        const QByteArray p(200, 'x'), one = p.left(128), two = p.mid(128);
        const int done = int(ProtocolOutcome::Completed), failed = int(ProtocolOutcome::Failed);
        QTest::newRow("crc") << p << Steps{{0, "C"}, {0, Ack}, {0, Ack}, {0, Ack}}
                             << blk(1, one) + blk(2, two) + Eot << done << QString();
        QTest::newRow("checksum, NAK again")
            << p << Steps{{0, Nak}, {0, Nak}, {0, Ack}, {0, Ack}, {0, Nak}, {0, Ack}}
            << blk(1, one, false) + blk(1, one, false) + blk(2, two, false) + Eot + Eot << done << QString();
        QTest::newRow("no answer: again") << one << Steps{{0, "C"}, {10'000, {}}, {0, Ack}, {0, Ack}}
                                          << blk(1, one) + blk(1, one) + Eot << done << QString();
        QTest::newRow("10 retries") << one << Steps{{0, "C"}, {0, times(Nak, 11)}}
                                    << times(blk(1, one), 11) + Can << failed
                                    << QString("the machine refused block 1 after 10 retries");
        QTest::newRow("never asked") << one << Steps{{59'999, {}}, {1, {}}} << Can << failed
                                     << QString("the machine did not ask for the program within 60 s");
        QTest::newRow("cancelled") << p << Steps{{0, "C"}, {0, Can}} << blk(1, one) << failed
                                   << QString("the machine cancelled the transfer");
    }
    void sender()
    {
        QFETCH(QByteArray, program);
        QFETCH(Steps, steps);
        Wire w;
        w.take(new XmodemSender(program, {}, w.writer(), w.clock));
        QVERIFY(w.engine->waitsForPeer());
        w.play(steps);
        QTEST(w.written, "expected");
        QTEST(int(w.outcome.value_or(ProtocolOutcome(-1))), "outcome");
        QTEST(w.engine->why(), "why");
    }

    // The receiver's answers, what it hands on, how it ends.
    void receiver_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("handed");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("why");
        const QByteArray a(128, 'a'), b = "N10 G0\x1a\x1aX1\r\nM30\r\n";
        QByteArray bad = blk(2, b);
        bad[40] ^= 1;
        const int done = int(ProtocolOutcome::Completed), failed = int(ProtocolOutcome::Failed);
        QTest::newRow("crc, padding removed")
            << Steps{{0, blk(1, a) + blk(2, b) + Eot}} << "C" + Ack + Ack + Ack << a + b << done << QString();
        QTest::newRow("C three times, then NAK every 10 s, checksum")
            << Steps{{29'000, {}}, {0, blk(1, b, false)}, {0, Eot}} << "CCC" + Nak + Nak + Nak + Ack + Ack
            << b << done << QString();
        QTest::newRow("same block again: dropped")
            << Steps{{0, blk(1, a) + blk(1, a)}, {0, Eot}} << "C" + Ack + Ack + Ack << a << done << QString();
        QTest::newRow("damaged: NAK when quiet")
            << Steps{{0, blk(1, a) + bad}, {999, {}}, {1, blk(2, b) + Eot}}
            << "C" + Ack + Nak + Ack + Ack << a + b << done << QString();
        QTest::newRow("nothing more: NAK") << Steps{{0, blk(1, a)}, {10'000, blk(2, b) + Eot}}
                                           << "C" + Ack + Nak + Ack + Ack << a + b << done << QString();
        QTest::newRow("10 retries") << Steps{{0, blk(1, a)}, {0, bad}, {1000, {}}, {10'000 * 10, {}}}
                                    << "C" + Ack + times(Nak, 10) + Can << a << failed
                                    << QString("block 2 did not come whole after 10 retries");
        QTest::newRow("out of sequence") << Steps{{0, blk(3, a)}} << "C" + Can << QByteArray() << failed
                                         << QString("block 3 came when block 1 was due");
        QTest::newRow("cancelled") << Steps{{0, Can}} << QByteArray("C") << QByteArray() << failed
                                   << QString("the machine cancelled the transfer");
        QTest::newRow("too large") << Steps{{0, blk(1, a) + blk(2, a)}} << "C" + Ack + Can << a << failed
                                   << QString("the program passed 200 bytes, the most one takes");
    }
    void receiver()
    {
        QFETCH(Steps, steps);
        Wire w;
        auto *rx = new XmodemReceiver(w.writer(), w.clock, 200);
        w.take(rx);
        w.play(steps);
        QTEST(w.written, "expected");
        QTEST(w.handed, "handed");
        QTEST(int(w.outcome.value_or(ProtocolOutcome(-1))), "outcome");
        QTEST(w.engine->why(), "why");
    }

    // An attended send and receive, and a served machine's punch and answer,
    // go by XMODEM where the machine's protocol says so, logged as any.
    void throughLink_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("logged"); // outcome, bytes, lines of the first transfer
        QTest::addColumn<QByteArray>("file"); // name=bytes in the folder
        const QByteArray o7 = "%\nO7\nN10 G0\nN20 M30\n%\n", o7crlf = "%\r\nO7\r\nN10 G0\r\nN20 M30\r\n%\r\n",
                         o12 = "%\nO12\nN10 X1\n%\n";
        QTest::newRow("send") << QByteArray("send") << Steps{{0, "C"}, {0, Ack}, {0, Ack}} << blk(1, o7crlf) + Eot
                              << QString("completed 27 5") << QByteArray();
        QTest::newRow("send failed") << QByteArray("send") << Steps{{0, "C"}, {0, Can}} << blk(1, o7crlf)
                                     << QString("failed: the machine cancelled the transfer 0 0") << QByteArray();
        QTest::newRow("receive") << QByteArray("receive") << Steps{{0, blk(1, o12) + Eot}} << "C" + Ack + Ack
                                 << QString("completed 15 4") << QByteArray();
        QTest::newRow("receive failed") << QByteArray("receive") << Steps{{0, blk(1, o12) + Can}} << "C" + Ack
                                        << QString("failed: the machine cancelled the transfer 15 4") << QByteArray();
        QTest::newRow("served punch") << QByteArray("SERVER") << Steps{{0, blk(1, o12) + Eot}}
                                      << "C" + Ack + Ack + "C" << QString("completed 14 3") << "O12.nc=" + o12.chopped(1);
        QTest::newRow("served answer")
            << QByteArray("SERVER") << Steps{{0, blk(1, "%\n(SEND O7)\n%\n") + Eot}, {3000, "C"}, {0, Ack}, {0, Ack}}
            << "C" + Ack + Ack + blk(1, o7crlf) + Eot + "C" << QString("completed 27 5") << QByteArray();
        // Blockwise, as a Heidenhain control has it: a header, a block a
        // line, each acknowledged, ETX, EOT.
        using namespace Blockwise;
        const QByteArray ack(1, ACK), etx(1, ETX), eot(1, EOT), p15 = "0 BEGIN PGM 15 MM\r\n1 L X+10 FMAX\r\n2 END PGM 15 MM\r\n";
        const QByteArray data15 = dataBlock("0 BEGIN PGM 15 MM") + dataBlock("1 L X+10 FMAX") + dataBlock("2 END PGM 15 MM");
        QTest::newRow("blockwise send") << QByteArray("send:BLOCKWISE") << Steps{{0, ack}, {0, ack}, {0, ack}, {0, ack}, {0, eot}}
                                        << header('D', "15", 'E') + data15 + etx + eot << QString("completed 51 3") << QByteArray();
        QTest::newRow("blockwise served answer")
            << QByteArray("SERVER:BLOCKWISE") << Steps{{0, header('H', "15", 'E')}, {3000, ack}, {0, ack}, {0, ack}, {0, eot}}
            << ack + data15 + etx + eot << QString("completed 51 3") << QByteArray();
        QTest::newRow("blockwise not found")
            << QByteArray("SERVER:BLOCKWISE") << Steps{{0, header('H', "99", 'E')}, {3000, ack}}
            << errorBlock("NOT FOUND 99") << QString("not found 0 0") << QByteArray();
        QTest::newRow("blockwise directory")
            << QByteArray("SERVER:BLOCKWISE") << Steps{{0, header('H', "", 'E')}, {3000, header('H', "", 'E')}, {0, header('H', "", 'E')}, {0, header('H', "", 'E')}, {0, eot}}
            << ack + dataBlock("15.H") + ack + dataBlock("O7.nc") + ack + etx
            << QString("listing of 2 programs 0 0") << QByteArray();
        QTest::newRow("blockwise directory by pattern")
            << QByteArray("SERVER:BLOCKWISE") << Steps{{0, header('H', "*", 'E')}, {0, ack}, {0, ack}, {0, ack}, {0, ack}}
            << ack + dataBlock("15.H 48") + dataBlock("O7.nc 22") + etx + eot
            << QString("listing of 2 programs 17 2") << QByteArray();
        QTest::newRow("blockwise served punch")
            << QByteArray("SERVER:BLOCKWISE") << Steps{{0, header('H', "15", 'A') + data15 + etx + eot}}
            << ack + ack + ack + ack << QString("completed 51 3") << "15.nc=" + p15;
    }
    void throughLink()
    {
        QFETCH(QByteArray, mode);
        QFETCH(Steps, steps);
        ShopRig<> r;
        const QByteArray protocol = mode.contains(':') ? mode.mid(mode.indexOf(':') + 1) : "XMODEM";
        if (mode.contains(':')) mode = mode.left(mode.indexOf(':'));
        QVERIFY(writeFileAtomically(r.dir.filePath("O7.nc"), "%\nO7\nN10 G0\nN20 M30\n%\n").isEmpty());
        QVERIFY(writeFileAtomically(r.dir.filePath("15.H"), "0 BEGIN PGM 15 MM\n1 L X+10 FMAX\n2 END PGM 15 MM\n").isEmpty());
        QVERIFY(writeFileAtomically(r.config.filePath(),
                                    iniFile({"MCNAME=M|MCPORT=ttyFAKE0|MCBLKTIC=Fast|MCEOB=CRLF|MCFLOW=0|"
                                             "MCPROTOCOL=" + protocol + "|MCEXTENS=nc|MCFOLDER=" + r.dir.path() +
                                             (mode == "SERVER" ? "|MCMODE=SERVER" : "")}))
                    .isEmpty());
        r.shop.reload();
        r.shop.select(1);
        QList<TransferRecord> logged;
        QObject::connect(&r.recorder, &TransferRecorder::recorded,
                         [&](const TransferRecord &t) { logged << t; });
        QByteArray text;
        QObject::connect(&r.shop, &Workshop::receivedText, [&](const QByteArray &b) { text += b; });
        if (mode == "send") {
            r.shop.program(r.shop.selected()).load(readFile(r.dir.filePath(protocol == "XMODEM" ? "O7.nc" : "15.H")), {});
            QCOMPARE(r.shop.send(0), Workshop::SendResult::Started);
            if (protocol == "XMODEM")
                QCOMPARE(SendText::status(r.selected().job()->progress()),
                         "Waiting for the machine to ask for the program");
        } else if (mode == "receive") {
            r.shop.beginReceive();
        }
        for (const auto &[ms, bytes] : steps) {
            r.clock.advance(ms * 1'000'000);
            r.port.deliver(bytes);
            r.clock.advance(1'000'000);
        }
        QFETCH(QByteArray, wire);
        QCOMPARE(r.port.written, wire);
        QVERIFY(!logged.isEmpty());
        const TransferRecord &record = logged.first();
        QTEST(QString("%1 %2 %3").arg(record.outcome).arg(record.bytes).arg(record.lines), "logged");
        if (mode == "receive") QCOMPARE(text, "%\nO12\nN10 X1\n%\n");
        QFETCH(QByteArray, file);
        if (!file.isEmpty())
            QCOMPARE(readFile(r.dir.filePath(file.split('=')[0])), file.mid(file.indexOf('=') + 1));
    }

    // Against lrzsz's rx and sx over TCP, one block damaged on the way: the
    // program's bytes exactly, both ways.
    void lrzsz_data()
    {
        QTest::addColumn<bool>("sending");
        QTest::newRow("to rx") << true;
        QTest::newRow("from sx") << false;
    }
    void lrzsz()
    {
        QFETCH(bool, sending);
        for (const char *tool : {"sx", "rx", "python3"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) QSKIP("lrzsz or python3 is missing");
        QTemporaryDir dir;
        const QString path = dir.filePath("O1.nc"); // rx takes no path: it runs there
        QByteArray program;
        for (int i = 0; program.size() < 384; ++i) program += QByteArray::number(1000 + i) + " G01 X1.5\r\n";
        program.truncate(sending ? 384 : 300); // whole blocks out: rx keeps padding
        if (!sending) writeFile(path, program);
        QProcess relay;
        relay.setWorkingDirectory(dir.path());
        relay.start("python3", {QFINDTESTDATA("support/xmodem_relay.py"), sending ? "in:153" : "out:140",
                                sending ? "rx" : "sx", "-X", "-q", sending ? "-cb" : "-b", "O1.nc"});
        QVERIFY(relay.waitForReadyRead(5000));
        auto port = std::make_shared<NetSerialPort>(Clock::system());
        QtPortList ports;
        Link link(port, ports, Clock::system());
        const MachineConfig m = machineWith("MCPROTOCOL=XMODEM|MCEOB=CRLF|MCPORT=tcp://127.0.0.1:" +
                                            relay.readLine().trimmed());
        QCOMPARE(link.openFor(m), PortStatus::Open);
        std::optional<int> outcome;
        QByteArray heard;
        QObject::connect(&link, &Link::heard, [&](const QByteArray &b) { heard += b; });
        QObject::connect(&link, &Link::heardEnded, [&](ProtocolOutcome o) { outcome = int(o); });
        QObject::connect(&link, &Link::sendFinished, [&](SendOutcome o) { outcome = int(o); });
        if (sending)
            QVERIFY(link.startSend(Program::fromFile(program), {}, m));
        else
            link.setListening(true);
        QVERIFY(QTest::qWaitFor([&] { return outcome.has_value(); }, 20000));
        QCOMPARE(outcome, 0);
        link.setListening(false);
        // The last answer leaves from the event loop.
        QVERIFY(QTest::qWaitFor([&] { return relay.state() == QProcess::NotRunning; }, 5000));
        QCOMPARE(sending ? readFile(path) : heard, program);
    }

    // Stop, either side, tells the peer with CAN CAN.
    void stop()
    {
        for (const bool sending : {true, false}) {
            Wire w;
            w.take(sending ? static_cast<ProtocolTransfer *>(new XmodemSender("x", {}, w.writer(), w.clock))
                           : new XmodemReceiver(w.writer(), w.clock, 200));
            w.written.clear();
            w.engine->stop();
            QCOMPARE(w.written, Can);
            QCOMPARE(w.outcome, ProtocolOutcome::Stopped);
        }
    }
};

QTEST_GUILESS_MAIN(TestXmodem)
#include "tst_xmodem.moc"
