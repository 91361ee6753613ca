// zoZad.ini: the files written (byte for byte against tests/data), how they
// load, how one key is looked up, and what a failed write leaves behind.

#include "core/base/atomicfile.h"
#include "core/config/inifile.h"
#include "machinevalues.h"
#include "shoprig.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// A distinct value in every column, so a value out of place shows.
MachineConfig filled(int k)
{
    static const char *const delays[] = {"5", "10", "25", "50", "70", "90", "150", "200", "Fast"};
    static const char *const rates[] = {"300",  "600",   "1200",  "2400",  "4800",
                                        "9600", "19200", "38400", "115200"};
    static const char *const eobs[] = {"CRLF", "LF", "CRLFLF", "CR"};
    static const char *const strips[] = {"", "10", "13"};
    MachineConfig m = machineWith(QString::asprintf(
        "MCPORT=ttyUSB%d|MCMODE=AUTO|MCCOMPAR=Unused|MCFOLDER=/home/shop/progs%d|MCFLOW=%d|"
        "MCCRLF=UNUSED|MCBLKTIC=%s|MCEXTENS=ext %d|MCDRATE=%s|MCEOB=%s|MCSTRIPEOB=%s|%s",
        k - 1, k, k % 3, delays[k - 1], k, rates[k - 1], eobs[k % 4], strips[k % 3],
        k % 2 ? "MCDBITS=8|MCPARITY=None|MCSBITS=1|MCSOT=2|MCEOT=27|MCTXSTEP=Fast"
              : "MCDBITS=7|MCPARITY=Even|MCSBITS=2|MCTXSTEP=Smooth"));
    m.setValue(Key::Name,
               k == 2 ? QStringLiteral("Drehbank \u00C4") : QStringLiteral("Mill %1").arg(k));
    return m;
}

MachineTable filledTable(int count, int without = 0)
{
    MachineTable t;
    for (int k = 1; k <= count; ++k)
        if (k != without) t.append(filled(k));
    return t;
}

struct Rig : ShopRig<> {
    using ShopRig::ShopRig;
    // Machines 1 to `count`, each with a program in its queue.
    void fill(int count)
    {
        config.table() = filledTable(count);
        for (int i = 1; i <= count; ++i)
            shop.queue(i).add(QStringLiteral("/p/%1.nc").arg(i));
    }
    QStringList queues()
    {
        QStringList out;
        for (int i = 1; i <= MachineTable::MaxMachines; ++i)
            out << shop.queue(i).paths().join(u',');
        return out;
    }
    QStringList files() const
    {
        return QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
    }
};
} // namespace

class TestConfig : public QObject
{
    Q_OBJECT
private slots:
    // Added with the defaults on the first port listed, or deleted: the later
    // machines move down with their queues, and the file loads back.
    void written_data()
    {
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<int>("machines");
        QTest::addColumn<int>("removed"); // 0: one is added
        QTest::addColumn<QString>("file");
        QTest::newRow("add") << QStringList{"ttyS0", "ttyS1"} << 0 << 0 << "config_add.ini";
        QTest::newRow("add, 1 port") << QStringList{"ttyFAKE0"} << 0 << 0 << "setup_add_golden.ini";
        QTest::newRow("delete 2 of 3") << QStringList() << 3 << 2 << "config_delete_2_of_3.ini";
        QTest::newRow("delete 3 of 3") << QStringList() << 3 << 3 << "config_delete_3_of_3.ini";
        QTest::newRow("nine less 4") << QStringList() << 9 << 4 << "config_nine_less_4.ini";
        QTest::newRow("nine less 9") << QStringList() << 9 << 9 << "config_nine_less_9.ini";
        QTest::newRow("delete the only one") << QStringList() << 1 << 1 << "config_empty.ini";
    }
    void written()
    {
        QFETCH(QStringList, ports);
        QFETCH(int, machines);
        QFETCH(int, removed);
        QFETCH(QString, file);
        Rig r;
        r.ports.list = ports;
        r.fill(machines);
        if (removed)
            QCOMPARE(r.shop.remove(removed), Workshop::RemoveResult::Removed);
        else
            QCOMPARE(r.shop.addMachine(), Workshop::AddResult::Added);
        QCOMPARE(r.file(), readFile(TAVRIN_TEST_DATA "/" + file));
        QCOMPARE(r.files(), QStringList{"zoZad.ini"});
        if (removed) QCOMPARE(r.shop.machines(), filledTable(machines, removed)); // as loaded
        QStringList queues(MachineTable::MaxMachines);
        for (int i = 1; i < machines; ++i)
            queues[i - 1] = QStringLiteral("/p/%1.nc").arg(i < removed ? i : i + 1);
        QCOMPARE(r.queues(), queues);
    }

    void renameAndUpdate()
    {
        Rig r;
        r.fill(2);
        using R = Workshop::RenameResult;
        QCOMPARE(r.shop.rename(2, "Lathe #2"), R::Renamed);
        QCOMPARE(r.shop.rename(2, "Lathe 2"), R::Unchanged);
        QCOMPARE(r.shop.rename(1, "###"), R::Unchanged);
        const QByteArray renamed = r.file();
        // A line break in a value would split its line: it is written as a blank.
        QCOMPARE(r.shop.update(1, machineWith("MCDRATE=4800|MCEXTENS=a\nb\rc", filled(1))),
                 Workshop::UpdateResult::Saved);
        QCOMPARE(readFile(r.config.filePath() + ".bak"), renamed); // the file as it was
        const auto lines = IniFile::lines(r.file());
        QCOMPARE(IniFile::lookup(lines, "[MC1]", "MCDRATE"), QByteArray("4800"));
        QCOMPARE(IniFile::lookup(lines, "[MC1]", "MCEXTENS"), QByteArray("a b c"));
        QCOMPARE(IniFile::lookup(lines, "[MC2]", "MCNAME"), QByteArray("Lathe 2"));
        // A file that does not take the name leaves the old one everywhere.
        r.config.setWriter([](const QString &, const QByteArray &, const QString &) {
            return QStringLiteral("No space left on device");
        });
        QSignalSpy told(&r.config, &ConfigStore::saveFailed);
        QCOMPARE(r.shop.rename(2, "Lathe 3"), R::NotSaved);
        QCOMPARE(told.count(), 1);
        QCOMPARE(r.shop.machines(), IniFile::parse(r.file(), r.config.folder()));
    }

    // "as written>as loaded"; "-KEY" leaves the key out.
    void loading_data()
    {
        QTest::addColumn<QString>("values");
        const QString rows =
            "MCBLKTIC=5ms>MCBLKTIC=5;MCBLKTIC=10ms>MCBLKTIC=10;MCBLKTIC=90ms>MCBLKTIC=90;"
            "MCBLKTIC=150ms>MCBLKTIC=150;MCBLKTIC=200ms>MCBLKTIC=200;MCBLKTIC=Fast>MCBLKTIC=Fast;"
            "MCBLKTIC=Fastms>MCBLKTIC=Fast;MCBLKTIC=Nonems>MCBLKTIC=None;MCBLKTIC=0>MCBLKTIC=10;MCBLKTIC=2>MCBLKTIC=10;"
            "MCBLKTIC=3>MCBLKTIC=25;MCBLKTIC=300ms>MCBLKTIC=25;MCBLKTIC=junk>MCBLKTIC=25;"
            "-MCBLKTIC>MCBLKTIC=25;MCSOT=5|MCEOT=127>MCSOT=5|MCEOT=27;"
            "MCSOT=abc|MCEOT=0>MCSOT=|MCEOT=;-MCSOT|-MCEOT>MCSOT=|MCEOT=;"
            "MCSOT=CTRL-B, STX, 02|MCEOT=CTRL-[, ESC, 27>MCSOT=2|MCEOT=27;"
            "MCDBITS=8|MCPARITY=Even>MCDBITS=8|MCPARITY=Even;"
            "MCDBITS=8|-MCPARITY>MCDBITS=8|MCPARITY=None;"
            "MCDBITS=7|MCPARITY=None>MCDBITS=7|MCPARITY=None;"
            "MCDBITS=7|MCPARITY=Odd>MCDBITS=7|MCPARITY=Odd;"
            "MCDBITS=6|MCPARITY=None>MCDBITS=6|MCPARITY=None;"
            "MCDBITS=5|MCPARITY=Mark>MCDBITS=5|MCPARITY=Mark;"
            "MCDBITS=6>MCDBITS=6|MCPARITY=Even;MCDBITS=9|MCPARITY=odd>MCDBITS=7|MCPARITY=Even;"
            "-MCDBITS>MCDBITS=7|MCPARITY=Even;MCDBITS=8|MCPARITY=NOINIVAL>MCDBITS=8|MCPARITY=None;"
            "MCTXSTEP=fast|MCSTRIPEOB=13>MCTXSTEP=Smooth|MCSTRIPEOB=13;"
            "-MCTXSTEP|-MCSTRIPEOB>MCTXSTEP=Smooth|MCSTRIPEOB=;"
            "MCTXSTEP=Fast|MCFOLDER=Unused>MCTXSTEP=Fast|MCFOLDER=/app/;"
            "MCFOLDER=>MCFOLDER=/app/;MCFOLDER=/x/y>MCFOLDER=/x/y;"
            "-MCFOLDER|-MCPORT>MCFOLDER=NOINIVAL|MCPORT=NOINIVAL;"
            "-MCBLKNUL|MCDRATE=fast|MCFLOW=4>MCBLKNUL=NOINIVAL|MCDRATE=fast|MCFLOW=4";
        for (const QString &row : rows.split(u';'))
            QTest::newRow(qPrintable(row)) << row;
    }
    void loading()
    {
        QFETCH(QString, values);
        const MachineTable t =
            IniFile::parse(iniSection(1, values.section(u'>', 0, 0).split(u'|')), "/app/");
        QCOMPARE(t.count(), 1);
        for (const QString &e : values.section(u'>', 1).split(u'|'))
            QCOMPARE(t.at(1).value(keyOf(e.section(u'=', 0, 0))), e.section(u'=', 1));
    }

    // Loading stops at the first machine without a name.
    void loadingStops()
    {
        const auto loaded = [](const QByteArray &file) {
            return IniFile::parse(file, "/app/").count();
        };
        QCOMPARE(loaded({}), 0);
        QCOMPARE(loaded(iniSection(1) + iniSection(2) + iniSection(4)), 2);
        QCOMPARE(loaded(iniFile({"", "MCNAME=", ""})), 1);
        QCOMPARE(loaded(iniFile({"", "-MCNAME", ""})), 1);
        QCOMPARE(loaded(iniSection(2)), 0);
        QCOMPARE(loaded(iniSection(2) + iniSection(1)), 2);
        QCOMPARE(loaded(iniFile(QStringList(10, QString()))), 9);
    }

    // One key of "[MC1]".
    void lookup_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected");
        const char *dup = "[MC1]\nMCNAME=First\n\n[MC1]\nMCNAME=Second\nMCPORT=ttyS9\n";
        const char *const rows[][4] = {
            {"no section", "[MC2]\nMCNAME=Two\n", "MCNAME", "NO_MC"},
            {"no such key", "[MC1]\nMCNAME=One\n\n[MC2]\nMCPORT=ttyS1\n", "MCPORT", "NOINIVAL"},
            {"space before '='", "[MC1]\nMCNAME =Mill\n", "MCNAME", "=Mill"},
            {"keys out of order", "[MC1]\nMCEOT=3\nMCSBITS=2\nMCNAME=Mill\n", "MCNAME", "Mill"},
            {"key before the header", "MCPORT=ttyS9\n[MC1]\nMCNAME=M\n", "MCPORT", "NOINIVAL"},
            {"'[' ends the section", "[MC1]\nMCNAME=M\n[note\nMCPORT=x\n", "MCPORT", "NOINIVAL"},
            {"duplicate section: the first counts", dup, "MCNAME", "First"},
            {"duplicate section: the second is not searched", dup, "MCPORT", "NOINIVAL"},
            {"[MC10] is not [MC1]", "[MC10]\nMCNAME=Ten\n", "MCNAME", "NO_MC"},
            {"CR, LF and CR LF", "[MC1]\r\nMCNAME=Mill\rMCPORT=ttyS0\nMCEOB=CR", "MCPORT", "ttyS0"},
            {"byte order mark", "\xEF\xBB\xBF[MC1]\nMCNAME=Mill\n", "MCNAME", "Mill"},
            {"blanks around headers", " [MC1]\t\nMCNAME=M\n\t[MC2] \nMCPORT=x\n", "MCNAME", "M"},
            {"an indented header", "[MC1]\nMCNAME=M\n  [MC2]\nMCPORT=x\n", "MCPORT", "NOINIVAL"}};
        for (const auto &r : rows)
            QTest::newRow(r[0]) << QByteArray(r[1]) << QByteArray(r[2]) << QByteArray(r[3]);
    }
    void lookup()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        QCOMPARE(IniFile::lookup(IniFile::lines(file), "[MC1]", key), expected);
    }

    // Values that are not UTF-8 come back byte for byte after a rewrite of
    // another machine; they read as UTF-8 where they are, as Latin-1 else.
    // The keys after the twenty stay with the machine that has them.
    void bytesKept()
    {
        QByteArray high, file = iniFile({"MCLEADER=%|MCTRAILER=\\EOT|MCCHARCHK=ISO", ""});
        for (int b = 0x80; b <= 0xFF; ++b)
            high += char(b);
        for (const char *key : {"MCNAME=", "MCPORT=", "MCMODE=", "MCCOMPAR=", "MCFOLDER=",
                                "MCFLOW=", "MCCRLF=", "MCBLKNUL=", "MCPREFIX=", "MCEXTENS=",
                                "MCDRATE=", "MCSBITS=", "MCEOB=", "MCSTRIPEOB=", "MCLEADER=",
                                "MCTRAILER=", "MCCHARCHK="})
            file.insert(file.indexOf('\n', file.indexOf(key)), high);
        Rig r;
        writeFile(r.config.filePath(), file);
        r.shop.reload();
        QCOMPARE(r.shop.machines().at(1).name(), QString::fromLatin1("MC 1" + high));
        QCOMPARE(r.shop.rename(2, "Lathe"), Workshop::RenameResult::Renamed);
        QCOMPARE(r.file().left(file.indexOf("[MC2]")), file.left(file.indexOf("[MC2]")));
        QCOMPARE(r.file().mid(file.indexOf("[MC2]")), iniSection(2, {"MCNAME=Lathe"}) + '\n');
        MachineConfig m = machineWith("MCNAME=Fr\u00e4se");
        QCOMPARE(m.bytes(Key::Name), QByteArray("Fr\xC3\xA4se"));
        m.setBytes(Key::Name, "Fr\xE4se");
        m.setValue(Key::Name, "Fr\u00e4se"); // unchanged: the bytes stay
        QCOMPARE(m.bytes(Key::Name), QByteArray("Fr\xE4se"));
    }

    // A location that is not a regular file is never opened for reading (a
    // FIFO would block), nor a file larger than nine machines could need (a
    // sparse 100 MB one here); neither is replaced, and the reason is given.
    void unreadableFileIsNeverReplaced()
    {
        for (const QString kind : {"folder", "fifo", "large"}) {
            Rig r;
            const QByteArray path = QFile::encodeName(r.config.filePath());
            if (kind == "large") writeFile(r.config.filePath(), iniSection(1));
            QVERIFY(kind == "folder" ? QDir().mkdir(r.config.filePath())
                    : kind == "fifo" ? ::mkfifo(path, 0600) == 0
                                     : ::truncate(path, 100 << 20) == 0);
            QSignalSpy failed(&r.config, &ConfigStore::saveFailed);
            r.shop.reload();
            const QString why =
                kind == "large" ? "it is larger than 1 MB" : "it is not a regular file";
            QCOMPARE(r.config.readError(), why);
            QCOMPARE(r.shop.addMachine(), Workshop::AddResult::NotSaved);
            QCOMPARE(r.shop.machines().count(), 0);
            QCOMPARE(failed.at(0).at(1).toString(),
                     "it could not be read (" + why + "), and so it is not replaced");
            QCOMPARE(QFileInfo(r.config.filePath()).isDir(), kind == "folder");
            if (kind == "large") QCOMPARE(QFileInfo(r.config.filePath()).size(), qint64(100) << 20);
            QCOMPARE(r.files(), QStringList{"zoZad.ini"});
        }
    }

    // Where the program's folder cannot be written, its file is read and
    // the first change writes the whole table to the user's file, which is
    // then the one in use.
    void readOnlyProgramFolder()
    {
        QTemporaryDir app, user;
        const QString old = app.filePath("zoZad.ini");
        writeFile(old, iniFile({"", ""}));
        ConfigStore config(app.path(), user.filePath("Tavrin"));
        config.setWriter([&](const QString &path, const QByteArray &bytes, const QString &like) {
            return path.startsWith(app.path()) ? QStringLiteral("read-only")
                                               : writeFileAtomically(path, bytes, like);
        });
        QSignalSpy moved(&config, &ConfigStore::fileMoved);
        QVERIFY(config.ensureFile());
        config.load();
        QCOMPARE(config.table().count(), 2);
        config.table().remove(1);
        QVERIFY(config.save() && config.save());
        QCOMPARE(config.filePath(), user.filePath("Tavrin/zoZad.ini"));
        const QString reason =
            "its backup \"" + old + ".bak\" could not be kept: read-only";
        QCOMPARE(QList<QVariantList>(moved),
                 (QList<QVariantList>{{old, reason, config.filePath()}}));
        QCOMPARE(readFile(config.filePath()), iniFile({"MCNAME=MC 2"}));
        QCOMPARE(readFile(old), iniFile({"", ""}));
        QCOMPARE(ConfigStore(app.path(), user.filePath("Tavrin")).filePath(), config.filePath());
    }

    // A symbolic link in place of zoZad.ini or its backup is followed only
    // when it, and every link it leads through, is the user's own; another
    // user's is refused with the reason and its target left alone.
    void symbolicLinks_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("owner");
        QTest::addColumn<bool>("through");   // an own link to the other's link
        QTest::addColumn<QString>("reason"); // %1: this folder, %2: the other's
        const QString unread = "it could not be read (%1), and so it is not replaced";
        const QString link = "it is a symbolic link that belongs to another user";
        QTest::newRow("another's zoZad.ini") << "zoZad.ini" << 65534 << false << unread.arg(link);
        QTest::newRow("through another user's")
            << "zoZad.ini" << 65534 << true
            << unread.arg("it leads through \"%2/hop\", a symbolic link that belongs to "
                          "another user");
        QTest::newRow("another user's zoZad.ini.bak")
            << "zoZad.ini.bak" << 65534 << false
            << "its backup \"%1/zoZad.ini.bak\" could not be kept: " + link;
        QTest::newRow("own zoZad.ini") << "zoZad.ini" << 0 << true << "";
        QTest::newRow("own zoZad.ini.bak") << "zoZad.ini.bak" << 0 << false << "";
    }
    void symbolicLinks()
    {
        QFETCH(QString, link);
        QFETCH(int, owner);
        QFETCH(bool, through);
        QFETCH(QString, reason);
        if (owner != 0 && ::geteuid() != 0) QSKIP("only root can give a link to another user");
        Rig r;
        QTemporaryDir other;
        const QString target = other.filePath("target"), hop = other.filePath("hop");
        const QByteArray secret = "root:x:0:0:root:/root:/bin/bash\n", old = iniSection(1);
        writeFile(target, secret, 0640);
        if (link != "zoZad.ini") writeFile(r.config.filePath(), old, 0600);
        const QByteArray at = QFile::encodeName(r.dir.filePath(link));
        if (through) QCOMPARE(::symlink(QFile::encodeName(target), QFile::encodeName(hop)), 0);
        QCOMPARE(::symlink(QFile::encodeName(through ? hop : target), at), 0);
        if (owner)
            QCOMPARE(
                ::lchown(QFile::encodeName(through ? hop : r.dir.filePath(link)), owner, owner), 0);
        r.shop.reload();
        QSignalSpy failed(&r.config, &ConfigStore::saveFailed);
        const bool added = r.shop.addMachine() == Workshop::AddResult::Added;
        QVERIFY(QFileInfo(r.dir.filePath(link)).isSymLink());
        QStringList files = {"zoZad.ini", "zoZad.ini.bak"};
        if (!reason.isEmpty()) {
            QVERIFY(!added);
            QCOMPARE(failed.at(0).at(0).toString(), r.config.filePath());
            QCOMPARE(failed.at(0).at(1).toString(),
                     reason.replace("%1", r.dir.path()).replace("%2", other.path()));
            QCOMPARE(readFile(target), secret);
            QCOMPARE(modeOf(target), 0640u);
            if (link != "zoZad.ini") QCOMPARE(r.file(), old);
            if (link == "zoZad.ini") files.removeLast();
        } else {
            // The target is replaced, the link stays.
            QVERIFY(added);
            QCOMPARE(readFile(target), link == "zoZad.ini" ? r.file() : old);
        }
        QCOMPARE(r.files(), files);
    }

    // The backup is never readable by more users than the file it copies.
    void backupKeepsThePermissions_data()
    {
        QTest::addColumn<int>("mode");
        for (const int mode : {0600, 0640, 0604})
            QTest::addRow("%o", mode) << mode;
    }
    void backupKeepsThePermissions()
    {
        QFETCH(int, mode);
        Rig r;
        const QString backup = r.config.filePath() + ".bak";
        writeFile(r.config.filePath(), iniSection(1), mode_t(mode));
        writeFile(backup, "older", 0666);
        r.shop.reload();
        QCOMPARE(r.shop.addMachine(), Workshop::AddResult::Added);
        QCOMPARE(readFile(backup), iniSection(1));
        QCOMPARE(modeOf(backup), mode_t(mode));
        QCOMPARE(modeOf(r.config.filePath()), mode_t(mode));
    }

    // What a save killed half-way left is removed at the start; other files,
    // links and words that only look like it stay.
    void leftoversAreRemoved()
    {
        Rig r;
        const QStringList kept = {"zoZad.ini", "zoZad.ini.backup", "zoZad.ini.bak",
                                  "zoZad.ini.tmp-Link42", "zoZad.ini.x1Y2z3.ini"};
        for (const QString &name :
             kept + QStringList{"zoZad.ini.tmp-a1B2c3", "zoZad.ini.Xy12Ab",
                                "zoZad.ini.bak.tmp-abc123", "zoZad.ini.bak.k9Lm0P"})
            if (name != "zoZad.ini.tmp-Link42") writeFile(r.dir.filePath(name), "x");
        QCOMPARE(::symlink("zoZad.ini", QFile::encodeName(r.dir.filePath("zoZad.ini.tmp-Link42"))),
                 0);
        QVERIFY(r.config.ensureFile());
        QStringList files = r.files();
        files.sort();
        QCOMPARE(files, kept);
    }

    // The old file, the table and the queues stay, and the reason is given.
    // Beyond RLIMIT_FSIZE writes fail (for root too), as on a full disk.
    void failedWriteKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("sizeLimit");
        QTest::newRow("folder does not exist") << "gone" << 0;
        QTest::newRow("folder is a file") << "zoZad.ini" << 0;
        QTest::newRow("disk full") << "" << 600;
    }
    void failedWriteKeepsTheOldFile()
    {
        QFETCH(QString, folder);
        QFETCH(int, sizeLimit);
        const QString old = TAVRIN_TEST_DATA "/config_delete_2_of_3.ini";
        Rig r(folder);
        QVERIFY(QFile::copy(old, r.dir.filePath("zoZad.ini")));
        r.fill(9);
        const QStringList queues = r.queues();
        QSignalSpy failed(&r.config, &ConfigStore::saveFailed);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const rlimit small{sizeLimit ? rlim_t(sizeLimit) : saved.rlim_cur, saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN); // so a write beyond the limit just fails
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool removed = r.shop.remove(2) == Workshop::RemoveResult::Removed;
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(!removed);
        QVERIFY(failed.count() == 1 && !failed.at(0).at(1).toString().isEmpty());
        QCOMPARE(failed.at(0).at(0).toString(), r.config.filePath());
        QCOMPARE(readFile(r.dir.filePath("zoZad.ini")), readFile(old));
        QStringList files = r.files(); // nothing half written is left
        if (files.removeOne("zoZad.ini.bak"))
            QCOMPARE(readFile(r.dir.filePath("zoZad.ini.bak")), readFile(old));
        QCOMPARE(files, QStringList{"zoZad.ini"});
        QCOMPARE(r.config.table(), filledTable(9));
        QCOMPARE(r.queues(), queues);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
