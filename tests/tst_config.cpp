// The machine table and its file zoZad.ini: what WriteIni writes (compared
// byte for byte with files under tests/data), how ReadIni normalises what it
// loads, how GetIniStr finds a key, and what a failed write leaves behind.

#include "config/module1.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray golden(const char *name)
{
    return readAll(QStringLiteral(TAVRIN_TEST_DATA "/") + QLatin1String(name));
}

// A machine with a distinct value in every column, so that a row written
// under the wrong section or a column out of place shows in the file.
void fillMachine(Module1 &m, int row, int k)
{
    static const char *const delays[] = {"5", "10", "25", "50", "70", "90", "150", "200", "Fast"};
    static const char *const rates[] = {"300",  "600",   "1200",  "2400",  "4800",
                                        "9600", "19200", "38400", "115200"};
    static const char *const eobs[] = {"CRLF", "LF", "CRLFLF", "CR"};
    static const char *const strips[] = {"", "10", "13"};
    const bool odd = k % 2;
    const std::pair<McKey, QString> values[] = {
        {MCNAME, k == 2 ? QStringLiteral("Drehbank \u00C4") : QStringLiteral("Mill %1").arg(k)},
        {MCPORT, QStringLiteral("ttyUSB%1").arg(k - 1)},
        {MCMODE, "AUTO"},
        {MCCOMPAR, "Unused"},
        {MCFOLDER, QStringLiteral("/home/shop/progs%1").arg(k)},
        {MCFLOW, QString::number(k % 3)},
        {MCCRLF, "UNUSED"},
        {MCBLKTIC, delays[k - 1]},
        {MCEXTENS, QStringLiteral("ext %1").arg(k)},
        {MCDRATE, rates[k - 1]},
        {MCDBITS, odd ? "8" : "7"},
        {MCPARITY, odd ? "None" : "Even"},
        {MCSBITS, odd ? "1" : "2"},
        {MCEOB, eobs[k % 4]},
        {MCSOT, odd ? "2" : ""},
        {MCEOT, odd ? "27" : ""},
        {MCTXSTEP, odd ? "Fast" : "Smooth"},
        {MCSTRIPEOB, strips[k % 3]}};
    for (const auto &[key, value] : values)
        m.setMc(row, key, value);
}

// One machine section with plain values; `overrides` replaces a key's line
// ("KEY=value") or, given as "-KEY", leaves the key out.
QByteArray section(int index, const QStringList &overrides = {})
{
    const QStringList base = {
        "MCNAME=Lathe", "MCPORT=ttyS1",  "MCMODE=AUTO",   "MCCOMPAR=Unused", "MCFOLDER=/data/nc",
        "MCFLOW=1",     "MCCRLF=UNUSED", "MCBLKTIC=50ms", "MCBLKNUL=",       "MCPREFIX=",
        "MCEXTENS=",    "MCDRATE=9600",  "MCDBITS=8",     "MCPARITY=None",   "MCSBITS=1",
        "MCEOB=CRLF",   "MCSOT=",        "MCEOT=",        "MCTXSTEP=Smooth", "MCSTRIPEOB=",
    };
    QString out = QStringLiteral("[MC%1]\n").arg(index);
    for (const QString &line : base) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        QString text = line;
        for (const QString &o : overrides) {
            if (o == QLatin1Char('-') + key)
                text.clear();
            else if (o.section(QLatin1Char('='), 0, 0) == key)
                text = o;
        }
        if (!text.isNull()) out += text + QLatin1Char('\n');
    }
    return (out + QLatin1Char('\n')).toUtf8();
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> dir;
    std::optional<Module1> m;

    QString iniPath() const { return dir->filePath(QStringLiteral("zoZad.ini")); }
    void setFile(const QByteArray &bytes)
    {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    void fillMachines(int count)
    {
        m->Last_MC = qMax(0, count);
        for (int k = 1; k <= count; ++k)
            fillMachine(*m, k, k);
    }

private slots:
    void init() // a fresh folder and table for every case
    {
        m.reset();
        QVERIFY(dir.emplace().isValid());
        m.emplace();
        m->AppPath = dir->path() + QLatin1Char('/');
        m->iniFile = iniPath();
    }

    void writeIni_golden_data()
    {
        QTest::addColumn<int>("machines");
        QTest::addColumn<int>("skip");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("delete 2 of 3") << 3 << 2 << golden("config_delete_2_of_3.ini");
        QTest::newRow("delete last of 3") << 3 << 3 << golden("config_delete_3_of_3.ini");
        QTest::newRow("nine less 9") << 9 << 9 << golden("config_nine_less_9.ini");
        QTest::newRow("nine less 4") << 9 << 4 << golden("config_nine_less_4.ini");
        QTest::newRow("no machine") << -1 << 0 << golden("config_empty.ini");
        QTest::newRow("skip of an absent machine") << -1 << 5 << golden("config_empty.ini");
    }
    void writeIni_golden()
    {
        QFETCH(int, machines);
        QFETCH(int, skip);
        QFETCH(QByteArray, expected);
        setFile("old contents\n");
        fillMachines(machines);
        const auto before = m->MCDATA[2][MCNAME];
        QSignalSpy failed(&*m, &Module1::iniWriteFailed);
        QVERIFY(m->WriteIni(skip));
        QCOMPARE(failed.count(), 0);
        QCOMPARE(readAll(iniPath()), expected);
        // Writing never changes the table; the reload after it does.
        QCOMPARE(m->MCDATA[2][MCNAME], before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"zoZad.ini"});
    }

    // A written file loads back as it was, in any line end: block delays
    // "150" and "200" included, machines in their order, the rest empty.
    void writeThenRead_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR") << QByteArray("\r");
        QTest::newRow("CR LF") << QByteArray("\r\n");
    }
    void writeThenRead()
    {
        QFETCH(QByteArray, lineEnd);
        fillMachines(9);
        QVERIFY(m->WriteIni(4));
        setFile(readAll(iniPath()).replace('\n', lineEnd));
        m->ReadIni();
        QCOMPARE(m->Last_MC, 8);
        for (int i = 0; i <= Module1::Max_MC; ++i) {
            Module1 expected;
            if (i >= 1 && i <= 8) fillMachine(expected, i, i < 4 ? i : i + 1);
            for (int k = 0; k <= McKeyCount; ++k)
                QCOMPARE(m->MCDATA[i][k], expected.MCDATA[i][k]);
        }
    }

    void readIni_normalisation_data()
    {
        QTest::addColumn<QStringList>("overrides");
        QTest::addColumn<QStringList>("expected"); // "KEY=value"; $APP is AppPath
        const char *const delays[][2] = {
            {"5ms", "5"},       {"10ms", "10"},   {"25ms", "25"},   {"50ms", "50"},
            {"70ms", "70"},     {"90ms", "90"},   {"150ms", "150"}, {"200ms", "200"},
            {"Fastms", "Fast"}, {"Fast", "Fast"}, {"0", "10"},      {"2", "10"},
            {"3", "25"},        {"5", "25"},      {"10", "25"},     {"150", "25"},
            {"ms", "25"},       {"", "25"},       {"junk", "25"},   {"fastms", "25"},
            {"300ms", "25"},    {" 10ms", "25"},
        };
        for (const auto &[in, out] : delays)
            QTest::addRow("MCBLKTIC '%s'", in) << QStringList{QStringLiteral("MCBLKTIC=") + in}
                                               << QStringList{QStringLiteral("MCBLKTIC=") + out};
        // "as written>as loaded"
        const QStringList codes = QStringList{"27>27", "127>27", "5>5",  "07>7", "99>99",
                                              "100>",  "0>",     "abc>", ">",    "NOINIVAL>"}
                                  << "CTRL-B, STX, 02>2"
                                  << "CTRL-[, ESC, 27>27";
        for (const char *key : {"MCSOT", "MCEOT"}) {
            const QString k = QLatin1String(key);
            for (const QString &c : codes) {
                const QStringList io = c.split('>');
                QTest::addRow("%s '%s'", key, qPrintable(io[0]))
                    << QStringList{k + '=' + io[0]} << QStringList{k + '=' + io[1]};
            }
            QTest::addRow("%s missing", key) << QStringList{'-' + k} << QStringList{k + '='};
        }

        // "KEY=value" or "-KEY" (left out), joined with '|'. Parity always
        // follows the data bits; keys without a rule are taken as they stand.
        const char *const rows[][3] = {
            {"MCBLKTIC missing", "-MCBLKTIC", "MCBLKTIC=25"},
            {"MCDBITS 8, parity Even", "MCDBITS=8|MCPARITY=Even", "MCDBITS=8|MCPARITY=None"},
            {"MCDBITS 8, parity missing", "MCDBITS=8|-MCPARITY", "MCDBITS=8|MCPARITY=None"},
            {"MCDBITS 7, parity None", "MCDBITS=7|MCPARITY=None", "MCDBITS=7|MCPARITY=Even"},
            {"MCDBITS 6", "MCDBITS=6", "MCDBITS=7|MCPARITY=Even"},
            {"MCDBITS empty", "MCDBITS=", "MCDBITS=7|MCPARITY=Even"},
            {"MCDBITS '8 '", "MCDBITS=8 ", "MCDBITS=7|MCPARITY=Even"},
            {"MCDBITS missing", "-MCDBITS", "MCDBITS=7|MCPARITY=Even"},
            {"MCTXSTEP Fast", "MCTXSTEP=Fast", "MCTXSTEP=Fast"},
            {"MCTXSTEP fast", "MCTXSTEP=fast", "MCTXSTEP=Smooth"},
            {"MCTXSTEP empty", "MCTXSTEP=", "MCTXSTEP=Smooth"},
            {"MCTXSTEP missing", "-MCTXSTEP", "MCTXSTEP=Smooth"},
            {"MCSTRIPEOB 13", "MCSTRIPEOB=13", "MCSTRIPEOB=13"},
            {"MCSTRIPEOB missing", "-MCSTRIPEOB", "MCSTRIPEOB="},
            {"MCFOLDER Unused", "MCFOLDER=Unused", "MCFOLDER=$APP"},
            {"MCFOLDER empty", "MCFOLDER=", "MCFOLDER=$APP"},
            {"MCFOLDER path", "MCFOLDER=/x/y", "MCFOLDER=/x/y"},
            {"MCFOLDER missing", "-MCFOLDER", "MCFOLDER=NOINIVAL"},
            {"as it stands", "-MCPORT|-MCBLKNUL|MCDRATE=fast|MCFLOW=4|MCNAME=   ",
             "MCPORT=NOINIVAL|MCBLKNUL=NOINIVAL|MCDRATE=fast|MCFLOW=4|MCNAME=   "}};
        for (const auto &r : rows)
            QTest::newRow(r[0]) << QString(r[1]).split('|') << QString(r[2]).split('|');
    }
    void readIni_normalisation()
    {
        QFETCH(QStringList, overrides);
        QFETCH(QStringList, expected);
        setFile(section(1, overrides));
        m->ReadIni();
        QCOMPARE(m->Last_MC, 1);
        for (const QString &e : expected) {
            const QString keyName = e.section(QLatin1Char('='), 0, 0);
            int key = 1;
            while (key <= McKeyCount && Module1::keyName(key) != keyName)
                ++key;
            QVERIFY2(key <= McKeyCount, qPrintable(keyName));
            QCOMPARE(m->MCDATA[1][key],
                     e.mid(keyName.size() + 1).replace(QLatin1String("$APP"), m->AppPath));
        }
    }

    // Loading stops at the first machine without a name and clears the rest;
    // the next write keeps only what was loaded.
    void readIni_stopsAtFirstNameless_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("loaded");
        QTest::newRow("no file") << QByteArray() << 0;
        QTest::newRow("empty file") << QByteArray("") << 0;
        QTest::newRow("one empty line") << QByteArray("\n") << 0;
        QTest::newRow("gap [MC1][MC2][MC4]") << section(1) + section(2) + section(4) << 2;
        QTest::newRow("empty name") << section(1) + section(2, {"MCNAME="}) + section(3) << 1;
        QTest::newRow("no name") << section(1) + section(2, {"-MCNAME"}) + section(3) << 1;
        QTest::newRow("name 'NO_MC'") << section(1, {"MCNAME=NO_MC"}) << 0;
        QTest::newRow("first section missing") << section(2) << 0;
        QByteArray ten;
        for (int i = 1; i <= 10; ++i)
            ten += section(i, {QStringLiteral("MCNAME=M%1").arg(i)});
        QTest::newRow("ten sections") << ten << 9;
        QTest::newRow("sections out of order") << section(2) + section(1) << 2;
    }
    void readIni_stopsAtFirstNameless()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, loaded);
        if (!file.isNull()) setFile(file);
        for (auto &row : m->MCDATA)
            for (auto &cell : row)
                cell = QStringLiteral("stale");
        m->Last_MC = 7;
        m->ReadIni();
        QCOMPARE(m->Last_MC, loaded);
        for (int i = 0; i <= Module1::Max_MC; ++i)
            for (int k = 0; k <= McKeyCount; ++k)
                if (i == 0 || k == 0 || i > loaded) QCOMPARE(m->MCDATA[i][k], QString());
        for (int i = 1; i <= loaded; ++i)
            QVERIFY(!m->mc(i, MCNAME).isEmpty());
        if (loaded == 9) QCOMPARE(m->mc(9, MCNAME), QStringLiteral("M9"));
        QCOMPARE(readAll(iniPath()), file); // a missing file is made, empty
        QVERIFY(m->WriteIni(0));
        QCOMPARE(readAll(iniPath()).count("[MC"), loaded);
    }

    // Lookups in [MC1]; a missing file is made, empty, and no lookup changes it.
    void getIniStr_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const char *dupSection = "[MC1]\nMCNAME=First\n\n[MC1]\nMCNAME=Second\nMCPORT=ttyS9\n";
        const char *const rows[][4] = {
            {"value", "[MC1]\nMCNAME=One\nMCPORT=ttyS0\n\n[MC2]\nMCNAME=Two\n", "MCPORT", "ttyS0"},
            {"later section", "[MC2]\nMCNAME=Two\n\n[MC1]\nMCNAME=One\n\n\n", "MCNAME", "One"},
            {"no section", "[MC2]\nMCNAME=Two\n", "MCNAME", "NO_MC"},
            {"no such key", "[MC1]\nMCNAME=One\n\n[MC2]\nMCNAME=Two\n", "MCPORT", "NOINIVAL"},
            {"no file", nullptr, "MCNAME", "NO_MC"},
            {"empty file", "", "MCNAME", "NO_MC"},
            {"empty value", "[MC1]\nMCBLKNUL=\n", "MCBLKNUL", ""},
            {"key alone at end of file", "[MC1]\nMCNAME", "MCNAME", ""},
            {"no line end at end of file", "[MC1]\nMCNAME=Last", "MCNAME", "Last"},
            {"space before '='", "[MC1]\nMCNAME =Mill\n", "MCNAME", "=Mill"},
            {"any one character after the key", "[MC1]\nMCNAME:Mill\n", "MCNAME", "Mill"},
            {"'=' in the value", "[MC1]\nMCEXTENS=a=b \n", "MCEXTENS", "a=b "},
            {"keys out of order", "[MC1]\nMCEOT=3\nMCSBITS=2\nMCNAME=Mill\n", "MCNAME", "Mill"},
            {"unknown lines skipped", "[MC1]\n\n; note\nfoo\nMCNAME=Mill\n", "MCNAME", "Mill"},
            {"key indented", "[MC1]\n MCNAME=Mill\n", "MCNAME", "NOINIVAL"},
            {"key before the header", "MCPORT=ttyS9\n[MC1]\nMCNAME=Mill\n", "MCPORT", "NOINIVAL"},
            {"key in a later section", "[MC1]\nMCNAME=M\n[MC2]\nMCPORT=ttyS9\n", "MCPORT",
             "NOINIVAL"},
            {"key of an earlier section", "[MC2]\nMCPORT=ttyS9\n[MC1]\nMCNAME=M\n", "MCPORT",
             "NOINIVAL"},
            {"'[' line ends the section", "[MC1]\nMCNAME=M\n[comment\nMCPORT=ttyS9\n", "MCPORT",
             "NOINIVAL"},
            {"duplicate section: first one counts", dupSection, "MCNAME", "First"},
            {"duplicate section: later one not searched", dupSection, "MCPORT", "NOINIVAL"},
            {"duplicate key: first one counts", "[MC1]\nMCNAME=A\nMCNAME=B\n", "MCNAME", "A"},
            {"header must be the whole line", "[MC1] \nMCNAME=Mill\n", "MCNAME", "NO_MC"},
            {"header [MC10] is not [MC1]", "[MC10]\nMCNAME=Ten\n", "MCNAME", "NO_MC"},
            {"mixed line ends", "[MC1]\r\nMCNAME=Mill\rMCPORT=ttyS0\n", "MCPORT", "ttyS0"},
            {"UTF-8 value", "[MC1]\nMCNAME=Fr\xC3\xA4se\n", "MCNAME", "Fr\xC3\xA4se"},
            {"UTF-8 byte order mark", "\xEF\xBB\xBF[MC1]\nMCNAME=Mill\n", "MCNAME", "Mill"}};
        for (const auto &r : rows)
            QTest::newRow(r[0]) << QByteArray(r[1]) << QString(r[2]) << QString::fromUtf8(r[3]);
    }
    void getIniStr()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        if (!file.isNull()) setFile(file);
        QCOMPARE(m->GetIniStr(QStringLiteral("[MC1]"), key), expected);
        QCOMPARE(readAll(iniPath()), file);
    }

    // Writes beyond a file size limit fail with EFBIG, for root as well: as
    // good as a full disk.
    void writeIni_failureKeepsOldFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("sizeLimit");
        QTest::newRow("folder does not exist") << "gone/zoZad.ini" << 0;
        QTest::newRow("folder is a regular file") << "zoZad.ini/zoZad.ini" << 0;
        QTest::newRow("disk full") << "zoZad.ini" << 600;
    }
    void writeIni_failureKeepsOldFile()
    {
        QFETCH(QString, target);
        QFETCH(int, sizeLimit);
        const QByteArray old = golden("config_delete_2_of_3.ini");
        setFile(old);
        fillMachines(9);
        m->iniFile = dir->filePath(target);
        QSignalSpy failed(&*m, &Module1::iniWriteFailed);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        if (sizeLimit) small.rlim_cur = sizeLimit;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool ok = m->WriteIni(0);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!ok);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), m->iniFile);
        QVERIFY(!failed.at(0).at(1).toString().isEmpty());
        // The old file is as it was, no temporary file is left over, and the
        // table is untouched.
        QCOMPARE(readAll(iniPath()), old);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{"zoZad.ini"});
        QCOMPARE(m->Last_MC, 9);
        QCOMPARE(m->mc(9, MCNAME), QStringLiteral("Mill 9"));
    }

    void leadingNumber()
    {
        const std::pair<const char *, int> cases[] = {
            {"9600", 9600}, {"150ms", 150},           {"Fast", 0}, {"", 0}, {"02", 2},
            {" 7", 7},      {"8 Bits - No Parity", 8}};
        for (const auto &[text, number] : cases)
            QCOMPARE(Module1::leadingNumber(QLatin1String(text)), number);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
