// A served machine's control that punches, asks and goes quiet when it
// should not: every byte it sends ends up in an answer, a saved punch or a
// log line, in virtual time.

#include "core/base/atomicfile.h"
#include "core/protocols/blockwiseframe.h"
#include "core/serving/servedmachine.h"
#include "headless/servicelog.h"
#include "machinevalues.h"
#include "shoprig.h"

#include <QDir>
#include <QTest>

namespace
{
constexpr qint64 Ms = 1'000'000;
const QByteArray Ask7 = "%\n(SEND O7)\n%\n", Ask8 = "%\n(SEND O8)\n%\n";
const QByteArray O5 = "%\nO5\nG0 X1\n%", Dc1 = "\x11";
const QByteArray Busy8 = "%\r\n(BUSY O8)\r\n%\r\n";

QByteArray wire(const QByteArray &sent)
{
    return sent + QByteArray(SendJob::RunOutBytes, '\0');
}
const QByteArray O7 = wire("%\r\nO7\r\nN10 G0\r\nN20 M30\r\n%\r\n");
// Transfers in each family's format, and what a network serial server says
// at each connection.
const QByteArray Greeting = "ser2net port tcp,2000 device serialdev, /dev/ttyUSB0, 9600n81, "
                            "local=false [,115200N81] (Debian GNU/Linux)\r\n";
const QByteArray Shaft = "%_N_SHAFT123_MPF\n;$PATH=/_N_MPF_DIR\nN10 G0 X0\nM30\n",
                 Hole = "%_N_HOLE_SPF\n;$PATH=/_N_SPF_DIR\nG1 X1\nM17\n",
                 Pgm100 = "0 BEGIN PGM 100 MM\r\n1 L X+10 R0 FMAX\r\n2 END PGM 100 MM\r\n",
                 Bore1 = "$BORE1.MIN%\nG0 X0\nM02\n%", Bore2 = "$BORE2.MIN%\nM02\n%",
                 Flange = "%\n<FLANGE-A>(ROUGH)\nG0 X1\nM30\n%";

// What the control does: after `afterMs`, it sends `bytes` ("lost": the
// cable is pulled).
struct Step {
    int afterMs;
    QByteArray bytes;
};
} // namespace

class TestHostile : public QObject
{
    Q_OBJECT
private slots:
    // files: "NAME=content" each, all the folder holds; journal: the
    // service's journal, but for the port opening.
    void control_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("journal");
        const QString saved = "O5.nc=" + O5, asked7 = "M: O7 asked for, sending DIR/O7.nc",
                      sent7 = "M: sent O7.nc, 5 lines, 27 bytes in 0:0%1, completed",
                      got5 = "M: received O5.nc, 3 lines, 12 bytes in 0:00, completed",
                      busy8 = "M: O8 asked for, refused: busy; the reply waits its turn",
                      reply8 = "M: reply to O8 sent, 3 lines, 17 bytes in 0:0%1, busy";
        QTest::newRow("mode 4: a program punched while the answer waits for DC1")
            << "4" << QList<Step>{{0, "%\n(SEND"}, {10, " O7)\n%\n"}, {2000, O5}, {5000, Dc1}} << O7
            << QStringList{saved}
            << QStringList{asked7, got5, sent7.arg(7)};
        QTest::newRow("mode 4: a request while the answer waits, BUSY after it")
            << "4" << QList<Step>{{0, Ask7}, {2000, Ask8}, {5000, Dc1}, {5000, Dc1}}
            << O7 + wire(Busy8) << QStringList{} << QStringList{asked7, busy8, sent7.arg(7), reply8.arg(4)};
        QTest::newRow("mode 4: requests past the answers that may wait, not answered")
            << "4" << QList<Step>{{0, Ask7}, {100, Ask8}, {100, Ask8}, {100, Ask8}, {100, Ask8}, {100, Ask8}}
            << QByteArray() << QStringList{}
            << QStringList{asked7, busy8, busy8, busy8, busy8,
                           "M: O8 asked for, refused: busy; not answered: 4 answers wait already"};
        QTest::newRow("mode 0: a request during the answer, BUSY after it")
            << "0" << QList<Step>{{0, Ask7}, {3040, Ask8}} << O7 + wire(Busy8) << QStringList{}
            << QStringList{asked7, busy8, sent7.arg(0), reply8.arg(0)};
        QTest::newRow("mode 0: the answer in the machine's leader and trailer")
            << "0|MCLEADER=\\DC2|MCTRAILER=\\DC4" << QList<Step>{{0, Ask7}}
            << "\x12" + O7.left(27) + "\x14" + O7.mid(27) << QStringList{}
            << QStringList{asked7, sent7.arg(0)};
        QTest::newRow("mode 0: a program punched as the answer ends")
            << "0" << QList<Step>{{0, Ask7}, {3200, O5}} << O7 << QStringList{saved}
            << QStringList{asked7, got5, sent7.arg(0)};
        QTest::newRow("mode 4: the control never asks, the answer withdrawn")
            << "4" << QList<Step>{{0, Ask7}, {61000, Ask7}, {1000, Dc1}} << O7 << QStringList{}
            << QStringList{asked7,
                           "M: sent O7.nc, 0 lines, 0 bytes in 1:00, withdrawn: the control did "
                           "not ask for it within 60 s",
                           asked7, sent7.arg(1)};
        QTest::newRow("a punch cut by the lost cable: incomplete, never the program")
            << "0" << QList<Step>{{0, "%\nO3003\nG0\n"}, {100, "lost"}} << QByteArray()
            << QStringList{"O3003.partial.nc=%\nO3003\nG0\n"}
            << QStringList{"M: port ttyFAKE0 lost: not found; trying again every 5 s",
                           "M: received O3003.partial.nc, 3 lines, 11 bytes in 0:00, port lost",
                           "M: port ttyFAKE0 back, listening"};
        // Requests in other families' framing, listings and comparisons:
        // each answered in the framing it came in.
        const QString compare =
            "M: COMPARE asked for, the next punch within 60 s is compared, not saved";
        QTest::newRow("Siemens: ;SEND answered in a Siemens file")
            << "0" << QList<Step>{{0, "%_N_REQ_MPF\n;$PATH=/_N_MPF_DIR\n;SEND SHAFT123\nM30\n"}}
            << wire("%_N_REQ_MPF\r\n;$PATH=/_N_MPF_DIR\r\n;NOT FOUND SHAFT123\r\n") << QStringList{}
            << QStringList{"M: SHAFT123 asked for, refused: not found; the reply waits its turn",
                           "M: reply to SHAFT123 sent, 3 lines, 54 bytes in 0:00, not found"};
        QTest::newRow("Heidenhain: a listing")
            << "0" << QList<Step>{{0, "0 BEGIN PGM L MM\n1 ;LIST O*\n2 END PGM L MM\n"}}
            << wire("0 BEGIN PGM L MM\r\n1 ;O7.nc 22\r\n2 END PGM L MM\r\n") << QStringList{}
            << QStringList{
                   "M: LIST O* asked for, sending a listing of 1 program",
                   "M: reply to LIST O* sent, 3 lines, 47 bytes in 0:00, listing of 1 program"};
        QTest::newRow("a punch compared, not saved")
            << "0" << QList<Step>{{0, "%\n(COMPARE)\n%\n"}, {100, "%\nO7\nN10 G0\nN20 M3\n%"}}
            << wire("%\r\n(DIFFERS AT N20: N20 M3)\r\n%\r\n") << QStringList{}
            << QStringList{
                   compare,
                   "M: punch of 4 lines, 20 bytes in 0:00, compared with O7.nc: "
                   "DIFFERS AT N20: N20 M3",
                   "M: reply to COMPARE sent, 3 lines, 32 bytes in 0:00, DIFFERS AT N20: N20 M3"};
        QTest::newRow("Siemens: the same")
            << "0"
            << QList<Step>{{0, "%_N_CMP_MPF\n;COMPARE\n"}, {4000, "%\nO7\nN10G0\r\nN20 M30\n%"}}
            << wire("%_N_CMP_MPF\r\n;SAME\r\n") << QStringList{}
            << QStringList{compare,
                           "M: punch of 4 lines, 21 bytes in 0:00, compared with O7.nc: SAME",
                           "M: reply to COMPARE sent, 2 lines, 20 bytes in 0:00, SAME"};
        QTest::newRow("a punch begun before the COMPARE lapses is compared")
            << "0"
            << QList<Step>{{0, "(COMPARE)"}, {62000, "%\nO7\nN10 G0\n"}, {2000, "N20 M30\n%"}}
            << wire("%\r\n(SAME)\r\n%\r\n") << QStringList{}
            << QStringList{compare,
                           "M: punch of 4 lines, 21 bytes in 0:02, compared with O7.nc: SAME",
                           "M: reply to COMPARE sent, 3 lines, 14 bytes in 0:00, SAME"};
        QTest::newRow("a COMPARE lapses, the punch after it is saved")
            << "0" << QList<Step>{{0, "(COMPARE)"}, {64000, O5}} << QByteArray()
            << QStringList{saved}
            << QStringList{compare, "M: COMPARE asked for, lapsed: no punch within 60 s", got5};
        QTest::newRow("Siemens: two programs after a greeting, one asked for")
            << "0" << QList<Step>{{0, Greeting}, {100, Shaft + Hole}, {4000, "%\n(SEND SHAFT123)\n%\n"}}
            << wire(QByteArray(Shaft).replace("\n", "\r\n"))
            << QStringList{"SHAFT123_MPF.nc=" + Shaft, "HOLE_SPF.nc=" + Hole}
            << QStringList{"M: not a program: 108 bytes \"ser2net port tcp,2000 device serialdev, \u2026\", "
                           "dropped",
                           "M: received SHAFT123_MPF.nc, 4 lines, 50 bytes in 0:00, completed",
                           "M: received HOLE_SPF.nc, 4 lines, 42 bytes in 0:03, completed",
                           "M: SHAFT123 asked for, sending DIR/SHAFT123_MPF.nc",
                           "M: sent SHAFT123_MPF.nc, 4 lines, 54 bytes in 0:00, completed"};
        QTest::newRow("Heidenhain, Okuma and Fanuc, one transfer each")
            << "0" << QList<Step>{{0, Pgm100}, {100, Bore1 + "\n" + Bore2 + "\n%%\n"}, {100, Flange}}
            << QByteArray()
            << QStringList{"100.nc=" + Pgm100, "BORE1.nc=" + Bore1, "BORE2.nc=" + Bore2,
                           "FLANGE-A.nc=" + Flange}
            << QStringList{"M: received 100.nc, 3 lines, 56 bytes in 0:00, completed",
                           "M: received BORE1.nc, 3 lines, 23 bytes in 0:00, completed",
                           "M: received BORE2.nc, 2 lines, 17 bytes in 0:00, completed",
                           "M: received FLANGE-A.nc, 4 lines, 31 bytes in 0:00, completed"};
        QTest::newRow("a greeting cut by a reconnection, noise: no file")
            << "0" << QList<Step>{{0, Greeting}, {100, "lost"}, {6000, "\xff\x1b\"\\ x\n"}}
            << QByteArray() << QStringList{}
            << QStringList{"M: port ttyFAKE0 lost: not found; trying again every 5 s",
                           "M: not a program: 108 bytes \"ser2net port tcp,2000 device serialdev, \u2026\", "
                           "dropped",
                           "M: port ttyFAKE0 back, listening",
                           "M: not a program: 7 bytes \"\\xff\\x1b\\\"\\\\ x\\n\", dropped"};
        // A protocol's answer may start and end at once: still told after its request.
        QTest::newRow("blockwise: a refusal told before its reply")
            << "0|MCPROTOCOL=BLOCKWISE" << QList<Step>{{0, Blockwise::header('H', "99", 'E')}}
            << Blockwise::errorBlock("NOT FOUND 99") << QStringList{}
            << QStringList{"M: 99 asked for, refused: not found; the reply waits its turn",
                           "M: reply to 99 sent, 0 lines, 0 bytes in 0:00, not found"};
        const QByteArray huge = "%\nO4000\n" + QByteArray(ServedMachine::MaxPunchBytes, 'G');
        QTest::newRow("a punch past the bound: its start kept as incomplete")
            << "0" << QList<Step>{{0, huge + "G1\n%"}} << QByteArray()
            << QStringList{"O4000.partial.nc=" + huge.left(ServedMachine::MaxPunchBytes)}
            << QStringList{"M: received O4000.partial.nc, 2 lines, 16777216 bytes in 0:00, too "
                           "large: only the first 16 MB kept, 12 bytes after them left out"};
    }
    void control()
    {
        QFETCH(QString, flow);
        QFETCH(QList<Step>, steps);
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, files);
        QFETCH(QStringList, journal);
        ShopRig<> r;
        QVERIFY(writeFileAtomically(r.dir.filePath("O7.nc"), "%\nO7\nN10 G0\nN20 M30\n%\n").isEmpty());
        QVERIFY(writeFileAtomically(r.config.filePath(),
                                    iniFile({"MCNAME=M|MCPORT=ttyFAKE0|MCBLKTIC=Fast|MCEOB=CRLF|MCFLOW=" +
                                             flow + "|MCMODE=SERVER|MCFOLDER=" + r.dir.path()}))
                    .isEmpty());
        QStringList said;
        ServiceLog service(r.shop.registry(), r.recorder, [&](const QString &line) { said << line; });
        r.shop.reload();
        for (const Step &step : steps) {
            r.clock.advance(step.afterMs * Ms);
            step.bytes == "lost" ? r.port.loseDevice() : r.port.deliver(step.bytes);
        }
        r.clock.advance(10'000 * Ms);
        QCOMPARE(r.port.written, wire);
        QStringList names = QDir(r.dir.path()).entryList(QDir::Files);
        names.removeOne("zoZad.ini"), names.removeOne("O7.nc"), names.removeOne("transfers.log");
        for (const QString &file : files) {
            const QString name = file.section('=', 0, 0);
            QVERIFY2(readFile(r.dir.filePath(name)) == file.section('=', 1).toLatin1(), qPrintable(name));
            QVERIFY2(names.removeOne(name), qPrintable(name));
        }
        QCOMPARE(names, QStringList{});
        said.removeAll("M: port ttyFAKE0 open, listening");
        QCOMPARE(said.join('\n').replace(r.dir.path(), "DIR"), journal.join('\n'));
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
