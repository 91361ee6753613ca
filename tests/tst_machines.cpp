// Every machine its own link: two machines sending at once, each on its
// own line, neither disturbing the other; a machine's identity when one
// before it goes; a served machine served whatever is selected.

#include "core/base/atomicfile.h"
#include "linemodel.h"
#include "machinevalues.h"
#include "shoprig.h"

#include <QTest>

namespace
{
// Two machines at 9600 on lines of their own, ttyFAKE0 and ttyFAKE1; the
// second changed by `second`.
struct TwoLines : ShopRig<LineModelPort> {
    explicit TwoLines(const QString &second = {}) : ShopRig({}, false, Ports::PerMachine)
    {
        for (const QString &own : {QStringLiteral("MCPORT=ttyFAKE0"), "MCPORT=ttyFAKE1|" + second})
            config.table().append(
                machineWith("MCDRATE=9600|MCDBITS=8|MCFLOW=1|MCBLKTIC=Nonems|MCEOB=CRLF|" + own,
                            MachineConfig::defaults("ttyFAKE0")));
        QVERIFY(config.save());
        shop.reload();
    }
    LineModelPort &line(int slot)
    {
        return static_cast<LineModelPort &>(shop.linkAt(slot)->port());
    }
    // Starts a send on machine `slot`'s own link; when it ends, the time.
    void send(int slot, const QByteArray &program, qint64 *endNs)
    {
        Link *link = shop.linkAt(slot);
        const MachineConfig &m = shop.machines().at(slot);
        QVERIFY(link->openForSend(m));
        Transfer t;
        t.machine = shop.idAt(slot);
        QVERIFY(link->startSend(Program::fromFile(program), t, m));
        QObject::connect(link, &Link::sendFinished, [this, endNs] { *endNs = clock.nowNs(); });
    }
};

QByteArray program(char axis)
{
    QByteArray p;
    for (int i = 0; i < 200; ++i)
        p += "N" + QByteArray::number(i) + " G01 " + axis + QByteArray::number(i) + "\n";
    return p;
}
} // namespace

class TestMachines : public QObject
{
    Q_OBJECT
private slots:
    void twoSendsAtOnce()
    {
        qint64 alone = -1;
        {
            TwoLines r;
            r.send(1, program('X'), &alone);
            QVERIFY(r.clock.runUntil([&] { return alone >= 0; }));
        }
        TwoLines r;
        qint64 endA = -1, endB = -1;
        r.send(1, program('X'), &endA);
        r.send(2, program('Y'), &endB);
        // Machine B holds its line for two seconds early on.
        r.clock.advance(VirtualClock::Second / 10);
        r.line(2).deliver("\x13");
        r.clock.advance(2 * VirtualClock::Second);
        r.line(2).deliver("\x11");
        QVERIFY(r.clock.runUntil([&] { return endA >= 0 && endB >= 0; }));
        // A went at its line's own pace, as when it was alone; B lost the hold.
        QCOMPARE(endA, alone);
        QVERIFY(endB - endA > 19 * VirtualClock::Second / 10);
        QByteArray wireA = program('X'), wireB = program('Y');
        QCOMPARE(r.line(1).written, wireA.replace("\n", "\r\n") + QByteArray(2000, '\0'));
        QCOMPARE(r.line(2).written, wireB.replace("\n", "\r\n") + QByteArray(2000, '\0'));
    }

    // A machine keeps its identity, link and program when one before it goes.
    void identityOutlivesItsSlot()
    {
        TwoLines r;
        QCOMPARE(r.shop.addMachine(), Workshop::AddResult::Added);
        const MachineId second = r.shop.idAt(2), third = r.shop.idAt(3);
        Link *link = r.shop.linkAt(2);
        r.shop.program(2).load("G00\n", ProgramSource::file("/p/g.nc"));
        QCOMPARE(r.shop.remove(1), Workshop::RemoveResult::Removed);
        QCOMPARE(r.shop.idAt(1), second);
        QCOMPARE(r.shop.idAt(2), third);
        QCOMPARE(r.shop.slotOf(second), 1);
        QCOMPARE(r.shop.linkAt(1), link);
        QCOMPARE(r.shop.program(1).source(), ProgramSource::file("/p/g.nc"));
        QCOMPARE(r.shop.addMachine(), Workshop::AddResult::Added);
        QVERIFY(r.shop.idAt(3) != second && r.shop.idAt(3) != third);
    }

    // A served machine is served whatever is selected; its transfers are
    // logged with what was asked for.
    void servedWhateverIsSelected()
    {
        QTemporaryDir folder;
        QVERIFY(writeFileAtomically(folder.filePath("O1234.nc"), "%\nO1234\nG00\n%\n").isEmpty());
        TwoLines r("MCMODE=SERVER|MCFLOW=0|MCFOLDER=" + folder.path());
        QVERIFY(r.line(2).isOpen());
        r.shop.select(1);
        r.shop.select(2);
        r.shop.select(1);
        QVERIFY(r.line(2).isOpen() && r.line(1).isOpen());
        r.line(2).deliver("%\r\n(SEND O1234)\r\n%\r\n");
        r.clock.advance(10 * VirtualClock::Second);
        QCOMPARE(r.line(2).written, "%\r\nO1234\r\nG00\r\n%\r\n" + QByteArray(2000, '\0'));
        QVERIFY(!r.shop.sending()); // the panel was never held
        // Not found, a bad name, then a punch: the log has each, with what
        // was asked for.
        for (const char *ask : {"(GET O99)\r\n", "(GET O9\xe4)\r\n"}) {
            r.line(2).deliver(ask);
            r.clock.advance(10 * VirtualClock::Second);
        }
        r.line(2).deliver("%\r\nO3003\r\nG01 X1\r\n%\r\n");
        r.clock.advance(10 * VirtualClock::Second);
        QCOMPARE(readFile(folder.filePath("O3003.nc")), QByteArray("%\r\nO3003\r\nG01 X1\r\n%"));
        QStringList log;
        for (const QByteArray &line : readFile(r.dir.filePath("transfers.log")).split('\n'))
            log << QString(line).section(u'\t', 1, 4) + u'|' + QString(line).section(u'\t', 8);
        QCOMPARE(log, (QStringList{"send\tNEW\tttyFAKE1\tO1234.nc|completed\tO1234",
                                   "send\tNEW\tttyFAKE1\t-|not found\tO99",
                                   "send\tNEW\tttyFAKE1\t-|bad name\tO9?",
                                   "receive\tNEW\tttyFAKE1\tO3003.nc|completed", "|"}));
    }
};

QTEST_GUILESS_MAIN(TestMachines)
#include "tst_machines.moc"
