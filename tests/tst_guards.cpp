// What the program refuses so that nothing it stores is read back
// differently, and the one-program-per-configuration lock.

#include "core/base/atomicfile.h"
#include "core/config/inifile.h"
#include "machinevalues.h"
#include "process/instancelock.h"
#include "shoprig.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// Text a user may type or paste: the file's marker words whole, and the
// characters that could break a line or start a section.
QString typed(QRandomGenerator &rng)
{
    static const QStringList words = {"NO_MC", "NOINIVAL", "Mill", " ", "[MC2]", "=", "\r",
                                      "\n", "\t", "\u00C4", "#", "no_mc", "7"};
    const int count = rng.bounded(1, 4);
    if (rng.bounded(4) == 0) return words.at(rng.bounded(2));
    QString out;
    for (int i = 0; i < count; ++i)
        out += words.at(rng.bounded(words.size()));
    return out;
}
} // namespace

class TestGuards : public QObject
{
    Q_OBJECT
private slots:
    // Tables built as rename and the setup dialog can build them, written and
    // read back, are the same tables.
    void whatIsStoredReadsBack()
    {
        ShopRig<> r;
        const QStringList nine(MachineTable::MaxMachines, QString());
        QVERIFY(writeFileAtomically(r.config.filePath(), iniFile(nine)).isEmpty());
        r.shop.reload();
        QRandomGenerator rng(17);
        for (int step = 0; step < 100; ++step) {
            const int mc = rng.bounded(1, MachineTable::MaxMachines + 1);
            MachineTable expected = r.shop.machines();
            const QString text = typed(rng);
            if (rng.bounded(2)) {
                MachineConfig m = machineWith(
                    QStringLiteral("MCEXTENS=%1|MCPORT=tcp://host:%2").arg(typed(rng)).arg(step + 1),
                    expected.at(mc));
                m.setValue(Key::Name, text.trimmed().isEmpty() ? QStringLiteral("NEW") : text);
                const auto result = r.shop.update(mc, m);
                if (result == Workshop::UpdateResult::Saved) expected.set(mc, m);
                QCOMPARE(result == Workshop::UpdateResult::ReservedName,
                         text == u"NO_MC" || text == u"NOINIVAL");
            } else if (r.shop.rename(mc, text) == Workshop::RenameResult::Renamed) {
                expected.set(mc, machineWith("MCNAME=" + r.shop.machines().at(mc).name(),
                                             expected.at(mc)));
            }
            QCOMPARE(r.shop.machines(), expected);
            QCOMPARE(IniFile::parse(r.file(), r.config.folder()), expected);
        }
    }

    void oneProgramPerConfiguration()
    {
        QTemporaryDir dir, elsewhere;
        const QString file = dir.filePath("zoZad.ini");
        // The lock stays beside the file in use, never beside what it links to.
        QFile target(elsewhere.filePath("passwd"));
        QVERIFY(target.open(QIODevice::WriteOnly) && QFile::link(target.fileName(), file));
        InstanceLock first;
        QCOMPARE(first.acquire(file, "tavrin"), InstanceLock::Result::Acquired);
        QVERIFY(QFileInfo::exists(file + ".lock"));
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList{"passwd"});
        // A second start, also through a link to the folder, is told who runs.
        QVERIFY(QFile::link(dir.path(), dir.filePath("linked")));
        for (const QString &path : {file, dir.filePath("linked/zoZad.ini")}) {
            InstanceLock second;
            QCOMPARE(second.acquire(path, "tavrin"), InstanceLock::Result::Held);
            QCOMPARE(second.heldMessage(path),
                     QStringLiteral("Tavrin is already running with the configuration file "
                                    "\"%1\" (process %2, tavrin). Two programs on one "
                                    "configuration would overwrite each other's changes, so this "
                                    "one ends.")
                         .arg(path)
                         .arg(QCoreApplication::applicationPid()));
        }
        first.release();
        // A holder that is killed leaves nothing that keeps the next one out.
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            InstanceLock held;
            const char ok = held.acquire(file, "tavrin --serve") == InstanceLock::Result::Acquired;
            (void)!::write(ready[1], &ok, 1);
            ::pause();
            ::_exit(0);
        }
        char ok = 0;
        QVERIFY(::read(ready[0], &ok, 1) == 1 && ok);
        InstanceLock next;
        QCOMPARE(next.acquire(file, "tavrin"), InstanceLock::Result::Held);
        QCOMPARE(next.detail(), QStringLiteral("process %1, tavrin --serve").arg(child));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(next.acquire(file, "tavrin"), InstanceLock::Result::Acquired);
    }
};

QTEST_MAIN(TestGuards)
#include "tst_guards.moc"
