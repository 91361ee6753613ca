// A served machine changed or ended while it works: nothing it punches or
// sends is cut, lost or saved under a name it does not deserve.

#include "core/base/atomicfile.h"
#include "core/machines/machine.h"
#include "core/machines/registry.h"
#include "core/serving/servedmachine.h"
#include "headless/servicestop.h"
#include "machinevalues.h"
#include "shoprig.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

namespace
{
constexpr qint64 Second = VirtualClock::Second;
const QByteArray Head = "%\r\nO2000\r\nG01 X1\r\n";
const QByteArray Tail = "G01 X2\r\nM30\r\n%";
const QByteArray Sent = "%\r\nO7\r\nN10 G0\r\nN20 M30\r\n%\r\n";

struct Rig : ShopRig<> {
    Rig(const QString &folder)
    {
        QVERIFY(writeFileAtomically(dir.filePath("O7.nc"), "%\nO7\nN10 G0\nN20 M30\n%\n").isEmpty());
        write(folder, "SERVER");
        shop.reload();
    }
    void write(const QString &folder, const QString &mode, const QString &flow = "0")
    {
        QVERIFY(writeFileAtomically(config.filePath(),
                                    iniFile({"MCPORT=ttyFAKE0|MCBLKTIC=Fast|MCEOB=CRLF|"
                                             "MCEXTENS=nc|MCFLOW=" + flow + "|MCMODE=" +
                                             mode + "|MCFOLDER=" + folder}))
                    .isEmpty());
    }
    MachineConfig with(const QString &folder, const QString &mode) const
    {
        MachineConfig m = shop.machines().at(1);
        m.setValue(Key::Folder, folder);
        m.setValue(Key::Mode, mode);
        return m;
    }
    // The change named, to folder `folder` (and mode AUTO for "auto").
    void change(const QString &how, const QString &folder)
    {
        const QString mode = how == "auto" ? "AUTO" : "SERVER";
        if (how == "setup" || how == "auto") {
            const auto result = shop.update(1, with(folder, mode));
            QVERIFY(result == Workshop::UpdateResult::Saved ||
                    result == Workshop::UpdateResult::Waiting);
        } else if (how == "delete") {
            deleted = shop.remove(1);
        } else if (how == "reload") {
            write(folder, mode);
            QVERIFY(shop.registry().reload());
        } else if (how == "end") {
            ended = shop.endAll();
        }
    }
    QString log() const { return QString::fromLatin1(readFile(dir.filePath("transfers.log"))); }
    Workshop::RemoveResult deleted = Workshop::RemoveResult::NotSaved;
    QStringList ended;
};
} // namespace

class TestLifecycle : public QObject
{
    Q_OBJECT
private slots:
    // A punch coming in when the machine changes: finished first, saved
    // whole in the folder it came under; the end of the program keeps what
    // came as incomplete, never under the program's own name.
    void punchComingIn_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("file"); // where the punch ends up
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("setup") << "setup" << "a/O2000.nc" << true << "completed";
        QTest::newRow("auto") << "auto" << "a/O2000.nc" << true << "completed";
        QTest::newRow("reload") << "reload" << "a/O2000.nc" << true << "completed";
        QTest::newRow("delete") << "delete" << "a/O2000.nc" << true << "completed";
        QTest::newRow("end") << "end" << "a/O2000.partial.nc" << false << "stopped";
    }
    void punchComingIn()
    {
        QFETCH(QString, how);
        QFETCH(QString, file);
        QFETCH(bool, whole);
        QFETCH(QString, outcome);
        Rig r("");
        QVERIFY(QDir(r.dir.path()).mkpath("a") && QDir(r.dir.path()).mkpath("b"));
        r.write(r.dir.filePath("a"), "SERVER");
        r.shop.reload();
        r.port.deliver(Head);
        r.clock.advance(Second / 10);
        QCOMPARE(r.shop.machineAt(1)->state().activity, MachineState::Activity::Receiving);
        r.change(how, r.dir.filePath("b"));
        if (how == "delete") QCOMPARE(r.deleted, Workshop::RemoveResult::Busy);
        if (how != "end") {
            QCOMPARE(r.shop.machineAt(1)->state().changeWaiting, how != "delete");
            r.port.deliver(Tail);
        }
        r.clock.advance(5 * Second);
        QCOMPARE(readFile(r.dir.filePath(file)), whole ? Head + Tail : Head);
        QCOMPARE(QDir(r.dir.filePath("b")).entryList(QDir::Files), QStringList());
        // Timed from its first byte, as a send is.
        QVERIFY2(r.log().contains("\t0.100\t" + outcome), qPrintable(r.log()));
        if (how == "setup" || how == "reload")
            QCOMPARE(r.shop.machineAt(1)->config().value(Key::Folder), r.dir.filePath("b"));
        if (how == "auto") QVERIFY(!r.shop.servedAt(1));
    }

    // A served send running when the machine changes: it goes out whole,
    // then the change is made; the end of the program stops it at a whole
    // block.
    void sendRunning_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("setup") << "setup";
        QTest::newRow("auto") << "auto";
        QTest::newRow("reload") << "reload";
        QTest::newRow("delete") << "delete";
        QTest::newRow("end") << "end";
    }
    void sendRunning()
    {
        QFETCH(QString, how);
        Rig r("");
        r.write(r.dir.path(), "SERVER");
        r.shop.reload();
        r.port.toWrite = 5; // the line stays busy until the test drains it
        r.port.deliver("%\r\n(SEND O7)\r\n%\r\n");
        r.clock.advance(7 * Second);
        QCOMPARE(r.shop.machineAt(1)->state().activity, MachineState::Activity::Sending);
        r.change(how, r.dir.path());
        if (how == "delete") QCOMPARE(r.deleted, Workshop::RemoveResult::Busy);
        r.port.toWrite = 0;
        r.clock.advance(60 * Second);
        if (how == "end") {
            QVERIFY(Sent.startsWith(r.port.written));
            // Whole blocks only: nothing, or up to a line end.
            QVERIFY(r.port.written.isEmpty() || r.port.written.endsWith("\r\n"));
            QVERIFY2(r.log().contains("\tstopped"), qPrintable(r.log()));
        } else {
            QVERIFY(r.port.written.startsWith(Sent));
            QVERIFY2(r.log().contains("O7.nc") && r.log().contains("\tcompleted"),
                     qPrintable(r.log()));
            QVERIFY(!r.shop.machineAt(1)->state().changeWaiting);
        }
        if (how == "auto") QVERIFY(!r.shop.servedAt(1));
    }

    // Punches waiting for a folder that would not take them follow the
    // machine: to its new folder after a Setup fix, beside the
    // configuration when the machine is deleted.
    void waitingPunches_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("file");
        QTest::newRow("setup fixes the folder") << "setup" << "b/O2000.nc";
        QTest::newRow("delete") << "delete" << "unsaved-punches/O2000.nc";
        QTest::newRow("end") << "end" << "unsaved-punches/O2000.nc";
    }
    void waitingPunches()
    {
        QFETCH(QString, how);
        QFETCH(QString, file);
        Rig r("");
        r.write(r.dir.filePath("missing"), "SERVER");
        r.shop.reload();
        r.port.deliver(Head + Tail);
        r.clock.advance(Second);
        QCOMPARE(r.shop.machineAt(1)->state().unsaved, 1);
        QVERIFY(QDir(r.dir.path()).mkpath("b"));
        QSignalSpy told(&r.shop.registry(), &MachineRegistry::notice);
        r.change(how, r.dir.filePath("b"));
        r.clock.advance(Second);
        QCOMPARE(readFile(r.dir.filePath(file)), Head + Tail);
        if (how == "delete") {
            QCOMPARE(r.deleted, Workshop::RemoveResult::Removed);
            QCOMPARE(told.count(), 1);
        }
        if (how == "end") QCOMPARE(r.ended.size(), 1);
    }

    // The service's stop: a send its machine holds is given the grace, or
    // a second signal, before what it holds is dropped; then it ends.
    void serviceStop_data()
    {
        QTest::addColumn<bool>("second");
        QTest::addColumn<qint64>("endsAfterMs");
        QTest::newRow("grace runs out") << false << qint64(ServiceStop::StopGraceMs);
        QTest::newRow("second signal") << true << qint64(0);
    }
    void serviceStop()
    {
        QFETCH(bool, second);
        QFETCH(qint64, endsAfterMs);
        Rig r("");
        r.write(r.dir.path(), "SERVER", "4");
        r.shop.reload();
        QStringList said;
        ServiceStop stop(r.shop.registry(), r.clock, [&](const QString &l) { said << l; });
        int status = -1;
        connect(&stop, &ServiceStop::finished, [&](int s) { status = s; });
        r.port.deliver("%\r\n(SEND O7)\r\n%\r\n");
        r.clock.advance(Second);
        r.port.deliver("\x11"); // the control takes the program
        QVERIFY(r.clock.runUntil([&] { return !r.port.written.isEmpty(); }));
        r.port.deliver("\x13"); // and holds it, with what the port was given
        r.port.toWrite = 5;
        r.clock.advance(Second);
        const qint64 stoppedNs = r.clock.nowNs();
        stop.stop(15);
        if (second) stop.stop(2);
        r.port.deliver("%\nO9\n"); // heard by nobody now, but counted
        // Not a moment before the grace is over, nor much after.
        if (endsAfterMs > 0)
            QVERIFY(!r.clock.runUntil([&] { return status >= 0; }, (endsAfterMs - 100) * 1'000'000));
        QVERIFY(r.clock.runUntil([&] { return status >= 0; }, Second));
        QVERIFY(r.clock.nowNs() - stoppedNs >= endsAfterMs * 1'000'000);
        QCOMPARE(status, 0);
        QCOMPARE(said.first(), "SIGTERM: stopping; sends end at a whole block");
        QCOMPARE(said.mid(said.size() - 2),
                 QStringList({"MC 1: 5 bytes the control sent while the service stopped were not taken",
                              "Stopped."}));
    }

    // SIGHUP: machines found again by name take their changes, new ones
    // start, removed ones end; a file that cannot be read changes nothing.
    void serviceReload()
    {
        Rig r("");
        r.write(r.dir.filePath("a"), "SERVER");
        r.shop.reload();
        const MachineId id = r.shop.idAt(1);
        QStringList said;
        ServiceStop stop(r.shop.registry(), r.clock, [&](const QString &l) { said << l; });
        QVERIFY(writeFileAtomically(r.config.filePath(),
                                    iniFile({"MCNAME=Lathe|MCPORT=ttyFAKE1|MCMODE=SERVER",
                                             "MCNAME=MC 1|MCPORT=ttyFAKE0|MCMODE=SERVER|"
                                             "MCFOLDER=" + r.dir.filePath("b")}))
                    .isEmpty());
        stop.reload();
        QCOMPARE(said.last(), "Reloaded " + r.config.filePath() + ": 2 served");
        MachineRegistry &machines = r.shop.registry();
        QCOMPARE(machines.count(), 2);
        QCOMPARE(machines.at(2)->id(), id);
        QCOMPARE(machines.at(2)->config().value(Key::Folder), r.dir.filePath("b"));
        QVERIFY(machines.at(1)->served() && machines.at(2)->served());
        QVERIFY(QFile::resize(r.config.filePath(), 2 * 1024 * 1024));
        stop.reload();
        QVERIFY2(said.last().endsWith("the machines go on as they were"), qPrintable(said.last()));
        QCOMPARE(machines.count(), 2);
        QCOMPARE(machines.at(1)->config().name(), "Lathe");
    }
};

QTEST_GUILESS_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
