// A machine served from its control, on the line model in virtual time:
// programs asked for sent (or a reply why not), other punches saved.

#include "core/machines/machine.h"
#include "core/serving/servedmachine.h"
#include "linemodel.h"
#include "machinevalues.h"
#include "shoprig.h"

#include <QTest>

namespace
{
constexpr qint64 Ms = 1'000'000;
using State = ServedMachine::State;
const QByteArray O12 = "%\nO12\n(PART)\nN10 G0 X1\nN20 M30\n%\n";

// A program as the machine gets it: its line ends, then the run-out.
QByteArray wire(QByteArray program)
{
    return program.replace("\n", "\r\n") + QByteArray(SendJob::RunOutBytes, '\0');
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

// One served machine on its own line, in flow mode `flow`.
struct Served {
    Served(VirtualClock &clock, const QString &folder, const QString &flow,
           const QString &extension = ".nc")
        : port(clock), sim(clock, {256, 1e6, 192, 64, false}),
          machine(MachineId{1}, config(folder, flow, extension),
                  std::shared_ptr<SerialPort>(&port, [](SerialPort *) {}), ports, clock)
    {
        port.attach(&sim);
        static_cast<void>(machine.change(config(folder, flow, extension)));
    }
    static MachineConfig config(const QString &folder, const QString &flow,
                                const QString &extension)
    {
        return machineWith("MCNAME=M|MCPORT=ttyS0|MCMODE=SERVER|MCDRATE=9600|MCEXTENS=" +
                           extension + "|MCEOB=CRLF|MCBLKTIC=Fast|MCFLOW=" + flow +
                           "|MCFOLDER=" + folder);
    }
    LineModelPort port;
    SimControl sim;
    FakePortList ports{{"ttyS0"}};
    Machine machine;
    ServedMachine &served() { return *machine.served(); }
};
} // namespace

class TestServed : public QObject
{
    Q_OBJECT
private slots:
    // expected: the programs the machine gets, "|" between.
    void request_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QString>("other"); // a second file in the folder
        QTest::addColumn<QByteArray>("punch");
        QTest::addColumn<QByteArray>("expected");
        static const char *const ask = "%\n(SEND O12)\n%\n", *const o12 = O12.constData();
        static const char *const table[][5] = {
            {"mode 0", "0", "", ask, o12},
            {"mode 1", "1", "", ask, o12},
            {"mode 3: when the line is quiet, after a byte", "3", "", ask, o12},
            {"mode 4: after DC1", "4", "", ask, o12},
            {"block", "0", "", "(SEND 12 N20)", "%\nO12\n(PART)\nN20 M30\n%\n"},
            {"no block", "0", "", "(SEND O12 N99)", "%\n(NO BLOCK N99)\n%\n"},
            {"not found", "0", "", "%\nO1\n(SEND O99)\n%\n", "%\nO1\n(NOT FOUND O99)\n%\n"},
            {"ambiguous", "0", "0012.tap", "(SEND 12)", "%\n(MORE THAN ONE 12)\n%\n"},
            {"busy while waiting", "0", "", "%\n(SEND O12)\n%\n%\n(SEND 13)\n%\n",
             "%\nO12\n(PART)\nN10 G0 X1\nN20 M30\n%\n|%\n(BUSY 13)\n%\n"},
            {"too large, unread", "0", "O99.nc*", "%\n(SEND O99)\n%\n", "%\n(TOO LARGE O99)\n%\n"},
            {"bad name: %, never said back", "0", "", "O5(GET O12%)", "%\nO5\n(BAD NAME)\n%\n"},
            {"bad name: byte 0x80 and above", "0", "", "(SEND O1\xe4)", "%\n(BAD NAME)\n%\n"},
        };
        for (const auto &row : table) {
            QByteArray expected;
            for (const QByteArray &program : QByteArray(row[4]).split('|'))
                expected += wire(program);
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]) << QByteArray(row[3])
                                  << expected;
        }
    }
    void request()
    {
        QFETCH(QString, flow);
        QFETCH(QString, other);
        QFETCH(QByteArray, punch);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        for (QString name : {QStringLiteral("O12.nc"), other}) {
            // "*": larger than a request may be (sparse, so cheap).
            const bool huge = name.endsWith('*');
            if (!name.remove('*').isEmpty()) put(dir.filePath(name), O12);
            if (huge)
                QVERIFY(QFile::resize(dir.filePath(name), ServedMachine::MaxRequestBytes + 1));
        }
        VirtualClock clock;
        Served m(clock, dir.path(), flow);
        qint64 decided = -1;
        const auto at = [&] { decided = decided < 0 ? clock.nowNs() : decided; };
        connect(&m.served(), &ServedMachine::requestServed, at);
        connect(&m.served(), &ServedMachine::requestRefused, at);
        m.sim.send(punch);
        QVERIFY(clock.runUntil([&] { return decided >= 0; }));
        QCOMPARE(m.served().state(), flow == "4" ? State::WaitingForControl : State::WaitingToSend);
        if (flow >= "3") {
            clock.advance(50 * VirtualClock::Second);
            QCOMPARE(m.port.sent, QByteArray());
            m.sim.send("\x11");
        }
        QVERIFY(clock.runUntil([&] {
            return m.port.sent.size() >= expected.size() && m.served().state() == State::Listening;
        }));
        QCOMPARE(m.port.sent, expected);
        // The first line waits for the next 60 Hz tick, then leaves.
        const qint64 wait = m.port.sentNs.first() - decided;
        if (flow < "3") QVERIFY2(wait >= 3000 * Ms && wait < 3020 * Ms, QByteArray::number(wait));
    }

    // Saved by number, the earlier kept as a version, which a request by
    // number does not take for a second candidate; a save that failed (no
    // folder yet) is tried again on the timer.
    void punches_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("latest");
        QTest::addColumn<QString>("earlier");
        QTest::newRow("nc") << ".nc" << "O3003.nc" << "O3003.1.nc";
        QTest::newRow("dot inside") << " tap.nc" << "O3003.tap.nc" << "O3003.1.tap.nc";
    }
    void punches()
    {
        QFETCH(QString, extension);
        QFETCH(QString, latest);
        QFETCH(QString, earlier);
        QTemporaryDir dir;
        const QString folder = dir.filePath("m");
        VirtualClock clock;
        Served m(clock, folder, "0", extension);
        QStringList saved, failed;
        connect(&m.served(), &ServedMachine::punchEnded,
                [&](const Transfer &, const QByteArray &, const QString &p, const QString &e) {
                    if (e.isEmpty()) saved << p;
                });
        connect(&m.machine, &Machine::punchSavedLater,
                [&](MachineId, const QString &p) { saved << p; });
        connect(&m.served(), &ServedMachine::saveFailed, [&](const QString &p) { failed << p; });
        m.sim.send(QByteArray("\0\0%\nO3003\nG0\n%\n", 15));
        QVERIFY(clock.runUntil([&] { return !failed.isEmpty(); }));
        QVERIFY(QDir().mkpath(folder));
        clock.advance(Machine::RetrySaveMs * Ms);
        QCOMPARE(saved, QStringList{folder + '/' + latest});
        m.sim.send("%\nO3003\nG1\n%\n");
        QVERIFY(clock.runUntil([&] { return saved.size() == 2; }));
        QCOMPARE(readFile(folder + '/' + latest), "%\nO3003\nG1\n%");
        QCOMPARE(readFile(folder + '/' + earlier), "%\nO3003\nG0\n%");
        QCOMPARE(failed.size(), 1);
        m.sim.send("%\n(SEND 3003)\n%\n");
        QVERIFY(clock.runUntil([&] { return m.port.sent.size() >= wire("%\nO3003\nG1\n%").size(); }));
        QCOMPARE(m.port.sent, wire("%\nO3003\nG1\n%"));
    }

    // An answer waits for a punch coming in to end: it is never sent into
    // it, however long the punch goes on.
    void answerWaitsForPunch()
    {
        QTemporaryDir dir;
        put(dir.filePath("O12.nc"), O12);
        VirtualClock clock;
        Served m(clock, dir.path(), "0");
        m.sim.send("%\n(SEND O12)\n%\n");
        clock.advance(2000 * Ms); // the start delay is 3 s
        m.sim.send("%\nO5\nG0\n");
        clock.advance(2000 * Ms);
        m.sim.send("G1\n");
        clock.advance(2000 * Ms);
        QCOMPARE(m.port.sent, QByteArray());
        m.sim.send("%\n");
        QVERIFY(clock.runUntil([&] { return m.port.sent.size() >= wire(O12).size(); }));
        QCOMPARE(m.port.sent, wire(O12));
        QCOMPARE(readFile(dir.filePath("O5.nc")), "%\nO5\nG0\nG1\n%");
    }

    // Two machines at once; one held by its DC3 does not hold the other.
    void twoMachines()
    {
        QTemporaryDir dir;
        put(dir.filePath("O12.nc"), O12);
        VirtualClock clock;
        Served a(clock, dir.path(), "1"), b(clock, dir.path(), "0");
        a.sim.send("%\n(SEND O12)\n%\n");
        b.sim.send("%\n(SEND O12)\n%\n");
        QVERIFY(clock.runUntil([&] { return a.port.sent.size() >= 10; }));
        a.sim.send("\x13");
        QVERIFY(clock.runUntil([&] { return b.port.sent.size() == wire(O12).size(); }));
        QCOMPARE(b.port.sent, wire(O12));
        QVERIFY(a.port.sent.size() < 20);
        QCOMPARE(a.served().state(), State::Sending);
        a.sim.send("\x11");
        QVERIFY(clock.runUntil([&] { return a.port.sent.size() == wire(O12).size(); }));
        QCOMPARE(a.port.sent, wire(O12));
        QCOMPARE(b.port.sent, wire(O12));
    }
};

QTEST_GUILESS_MAIN(TestServed)
#include "tst_served.moc"
