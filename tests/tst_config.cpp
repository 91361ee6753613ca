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
#include <sys/resource.h>

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString goldenPath(const QString &name)
{
    return QStringLiteral(TAVRIN_TEST_DATA "/") + name;
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
    m.setMc(row, MCNAME,
            k == 2 ? QStringLiteral("Drehbank \u00C4") : QStringLiteral("Mill %1").arg(k));
    m.setMc(row, MCPORT, QStringLiteral("ttyUSB%1").arg(k - 1));
    m.setMc(row, MCMODE, QStringLiteral("AUTO"));
    m.setMc(row, MCCOMPAR, QStringLiteral("Unused"));
    m.setMc(row, MCFOLDER, QStringLiteral("/home/shop/progs%1").arg(k));
    m.setMc(row, MCFLOW, QString::number(k % 3));
    m.setMc(row, MCCRLF, QStringLiteral("UNUSED"));
    m.setMc(row, MCBLKTIC, QLatin1String(delays[k - 1]));
    m.setMc(row, MCBLKNUL, QString());
    m.setMc(row, MCPREFIX, QString());
    m.setMc(row, MCEXTENS, QStringLiteral("ext %1").arg(k));
    m.setMc(row, MCDRATE, QLatin1String(rates[k - 1]));
    m.setMc(row, MCDBITS, odd ? QStringLiteral("8") : QStringLiteral("7"));
    m.setMc(row, MCPARITY, odd ? QStringLiteral("None") : QStringLiteral("Even"));
    m.setMc(row, MCSBITS, odd ? QStringLiteral("1") : QStringLiteral("2"));
    m.setMc(row, MCEOB, QLatin1String(eobs[k % 4]));
    m.setMc(row, MCSOT, odd ? QStringLiteral("2") : QString());
    m.setMc(row, MCEOT, odd ? QStringLiteral("27") : QString());
    m.setMc(row, MCTXSTEP, odd ? QStringLiteral("Fast") : QStringLiteral("Smooth"));
    m.setMc(row, MCSTRIPEOB, QLatin1String(strips[k % 3]));
}

// What the setup dialog stores for a machine added with its defaults.
void fillNewMachine(Module1 &m, int row, const QString &port)
{
    const std::pair<McKey, const char *> values[] = {
        {MCNAME, "NEW"}, {MCMODE, "AUTO"},   {MCCOMPAR, "Unused"}, {MCFOLDER, "Unused"},
        {MCFLOW, "1"},   {MCCRLF, "UNUSED"}, {MCBLKTIC, "10"},     {MCDRATE, "1200"},
        {MCDBITS, "7"},  {MCPARITY, "Even"}, {MCSBITS, "1"},       {MCEOB, "CRLF"},
    };
    for (const auto &[key, value] : values)
        m.setMc(row, key, QLatin1String(value));
    m.setMc(row, MCPORT, port);
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
            else if (o.section(QLatin1Char('='), 0, 0).trimmed() == key)
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

    QTemporaryDir *dir = nullptr;
    Module1 *m = nullptr;

    QString iniPath() const { return dir->filePath(QStringLiteral("zoZad.ini")); }
    void setFile(const QByteArray &bytes) { QVERIFY(writeFile(iniPath(), bytes)); }

private slots:
    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        m = new Module1;
        m->AppPath = dir->path() + QLatin1Char('/');
        m->iniFile = iniPath();
    }
    void cleanup()
    {
        delete m;
        delete dir;
    }

    void writeIni_golden_data()
    {
        QTest::addColumn<int>("machines"); // 0: the one new machine of the setup dialog
        QTest::addColumn<int>("skip");
        QTest::addColumn<QString>("golden");
        QTest::newRow("added machine") << 0 << 0 << "config_add.ini";
        QTest::newRow("delete 2 of 3") << 3 << 2 << "config_delete_2_of_3.ini";
        QTest::newRow("delete last of 3") << 3 << 3 << "config_delete_3_of_3.ini";
        QTest::newRow("nine less 9") << 9 << 9 << "config_nine_less_9.ini";
        QTest::newRow("nine less 4") << 9 << 4 << "config_nine_less_4.ini";
        QTest::newRow("no machine") << -1 << 0 << "config_empty.ini";
        QTest::newRow("skip of an absent machine") << -1 << 5 << "config_empty.ini";
    }
    void writeIni_golden()
    {
        QFETCH(int, machines);
        QFETCH(int, skip);
        QFETCH(QString, golden);
        setFile("old contents\n");
        if (machines == 0) {
            m->Last_MC = 1;
            fillNewMachine(*m, 1, QStringLiteral("ttyS0"));
        } else {
            m->Last_MC = qMax(0, machines);
            for (int k = 1; k <= machines; ++k)
                fillMachine(*m, k, k);
        }
        const auto before = m->MCDATA[2][MCNAME];
        QSignalSpy failed(m, &Module1::iniWriteFailed);
        QVERIFY(m->WriteIni(skip));
        QCOMPARE(failed.count(), 0);
        QCOMPARE(readAll(iniPath()), readAll(goldenPath(golden)));
        // Writing never changes the table; the reload after it does.
        QCOMPARE(m->MCDATA[2][MCNAME], before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"zoZad.ini"});
    }

    // What a written file loads back as: the saved block delays come back as
    // they were saved ("150"/"200" included), the folder "Unused" becomes the
    // program's folder, and the machines keep their order.
    void writeThenRead()
    {
        m->Last_MC = 9;
        for (int k = 1; k <= 9; ++k)
            fillMachine(*m, k, k);
        QVERIFY(m->WriteIni(4));
        m->ReadIni();
        QCOMPARE(m->Last_MC, 8);
        const QStringList delays = {"5", "10", "25", "70", "90", "150", "200", "Fast"};
        for (int i = 1; i <= 8; ++i) {
            const int k = i < 4 ? i : i + 1;
            Module1 expected;
            fillMachine(expected, 1, k);
            QCOMPARE(m->mc(i, MCBLKTIC), delays[i - 1]);
            for (McKey key : {MCNAME, MCPORT, MCFOLDER, MCFLOW, MCEXTENS, MCDRATE, MCDBITS,
                              MCPARITY, MCSBITS, MCEOB, MCSOT, MCEOT, MCTXSTEP, MCSTRIPEOB})
                QCOMPARE(m->mc(i, key), expected.mc(1, key));
        }
        for (int k = 1; k <= McKeyCount; ++k)
            QCOMPARE(m->MCDATA[9][k], QString());

        setFile(readAll(goldenPath(QStringLiteral("config_add.ini"))));
        m->ReadIni();
        QCOMPARE(m->Last_MC, 1);
        QCOMPARE(m->mc(1, MCFOLDER), m->AppPath);
        QCOMPARE(m->mc(1, MCBLKTIC), QStringLiteral("10"));
        QCOMPARE(m->mc(1, MCTXSTEP), QStringLiteral("Smooth"));
        QCOMPARE(m->mc(1, MCPORT), QStringLiteral("ttyS0"));
    }

    void readIni_normalisation_data()
    {
        QTest::addColumn<QStringList>("overrides");
        QTest::addColumn<QStringList>("expected"); // "KEY=value"; $APP is AppPath

        auto row = [](const char *name, QStringList o, QStringList e) {
            QTest::newRow(name) << o << e;
        };
        // Block delay.
        const char *const delays[][2] = {
            {"5ms", "5"},       {"10ms", "10"},   {"25ms", "25"},   {"50ms", "50"},
            {"70ms", "70"},     {"90ms", "90"},   {"150ms", "150"}, {"200ms", "200"},
            {"Fastms", "Fast"}, {"Fast", "Fast"}, {"0", "10"},      {"1", "10"},
            {"2", "10"},        {"3", "25"},      {"4", "25"},      {"5", "25"},
            {"6", "25"},        {"7", "25"},      {"10", "25"},     {"150", "25"},
            {"ms", "25"},       {"", "25"},       {"junk", "25"},   {"fastms", "25"},
            {"300ms", "25"},    {" 10ms", "25"},
        };
        for (const auto &d : delays)
            QTest::addRow("MCBLKTIC '%s'", d[0]) << QStringList{QStringLiteral("MCBLKTIC=") + d[0]}
                                                 << QStringList{QStringLiteral("MCBLKTIC=") + d[1]};
        row("MCBLKTIC missing", {"-MCBLKTIC"}, {"MCBLKTIC=25"});

        // Data format: parity always follows the data bits.
        row("MCDBITS 8, parity Even in file", {"MCDBITS=8", "MCPARITY=Even"},
            {"MCDBITS=8", "MCPARITY=None"});
        row("MCDBITS 8, parity missing", {"MCDBITS=8", "-MCPARITY"},
            {"MCDBITS=8", "MCPARITY=None"});
        row("MCDBITS 7, parity None in file", {"MCDBITS=7", "MCPARITY=None"},
            {"MCDBITS=7", "MCPARITY=Even"});
        row("MCDBITS 6", {"MCDBITS=6"}, {"MCDBITS=7", "MCPARITY=Even"});
        row("MCDBITS empty", {"MCDBITS="}, {"MCDBITS=7", "MCPARITY=Even"});
        row("MCDBITS '8 '", {"MCDBITS=8 "}, {"MCDBITS=7", "MCPARITY=Even"});
        row("MCDBITS missing", {"-MCDBITS"}, {"MCDBITS=7", "MCPARITY=Even"});

        // Start and end codes.
        const char *const codes[][2] = {
            {"CTRL-B, STX, 02", "2"},
            {"CTRL-[, ESC, 27", "27"},
            {"27", "27"},
            {"127", "27"},
            {"5", "5"},
            {"07", "7"},
            {"99", "99"},
            {"100", ""},
            {"0", ""},
            {"abc", ""},
            {"", ""},
            {"NOINIVAL", ""},
        };
        for (const auto &c : codes) {
            QTest::addRow("MCSOT '%s'", c[0]) << QStringList{QStringLiteral("MCSOT=") + c[0]}
                                              << QStringList{QStringLiteral("MCSOT=") + c[1]};
            QTest::addRow("MCEOT '%s'", c[0]) << QStringList{QStringLiteral("MCEOT=") + c[0]}
                                              << QStringList{QStringLiteral("MCEOT=") + c[1]};
        }
        row("MCSOT missing", {"-MCSOT"}, {"MCSOT="});
        row("MCEOT missing", {"-MCEOT"}, {"MCEOT="});

        row("MCTXSTEP Fast", {"MCTXSTEP=Fast"}, {"MCTXSTEP=Fast"});
        row("MCTXSTEP fast", {"MCTXSTEP=fast"}, {"MCTXSTEP=Smooth"});
        row("MCTXSTEP empty", {"MCTXSTEP="}, {"MCTXSTEP=Smooth"});
        row("MCTXSTEP missing", {"-MCTXSTEP"}, {"MCTXSTEP=Smooth"});

        row("MCSTRIPEOB 10", {"MCSTRIPEOB=10"}, {"MCSTRIPEOB=10"});
        row("MCSTRIPEOB 13", {"MCSTRIPEOB=13"}, {"MCSTRIPEOB=13"});
        row("MCSTRIPEOB other", {"MCSTRIPEOB=x"}, {"MCSTRIPEOB=x"});
        row("MCSTRIPEOB missing", {"-MCSTRIPEOB"}, {"MCSTRIPEOB="});

        row("MCFOLDER Unused", {"MCFOLDER=Unused"}, {"MCFOLDER=$APP"});
        row("MCFOLDER empty", {"MCFOLDER="}, {"MCFOLDER=$APP"});
        row("MCFOLDER path", {"MCFOLDER=/x/y"}, {"MCFOLDER=/x/y"});
        row("MCFOLDER missing", {"-MCFOLDER"}, {"MCFOLDER=NOINIVAL"});

        // Everything else is taken as it stands, the marker included.
        row("MCPORT missing", {"-MCPORT"}, {"MCPORT=NOINIVAL"});
        row("MCDRATE not a number", {"MCDRATE=fast"}, {"MCDRATE=fast"});
        row("MCEXTENS untrimmed", {"MCEXTENS= a b "}, {"MCEXTENS= a b "});
        row("MCBLKNUL missing", {"-MCBLKNUL"}, {"MCBLKNUL=NOINIVAL"});
        row("MCFLOW 4", {"MCFLOW=4"}, {"MCFLOW=4"});
        row("MCNAME of spaces", {"MCNAME=   "}, {"MCNAME=   "});
        row("MCNAME with '='", {"MCNAME=a=b"}, {"MCNAME=a=b"});
        row("space before '='", {"MCEOB =LF"}, {"MCEOB==LF"});
    }
    void readIni_normalisation()
    {
        QFETCH(QStringList, overrides);
        QFETCH(QStringList, expected);
        setFile(section(1, overrides));
        m->ReadIni();
        QCOMPARE(m->Last_MC, 1);
        for (const QString &e : expected) {
            const int eq = e.indexOf(QLatin1Char('='));
            const QString keyName = e.left(eq);
            QString value = e.mid(eq + 1);
            value.replace(QLatin1String("$APP"), m->AppPath);
            int key = 1;
            while (key <= McKeyCount && Module1::keyName(key) != keyName)
                ++key;
            QVERIFY2(key <= McKeyCount, qPrintable(keyName));
            QCOMPARE(m->MCDATA[1][key], value);
        }
    }

    void readIni_stopsAtFirstNameless_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("loaded");
        QTest::newRow("empty file") << QByteArray() << 0;
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
        setFile(file);
        // Whatever the table held before is gone after a load.
        for (int i = 0; i <= Module1::Max_MC; ++i)
            for (int k = 0; k <= McKeyCount; ++k)
                m->MCDATA[i][k] = QStringLiteral("stale");
        m->Last_MC = 7;
        m->ReadIni();
        QCOMPARE(m->Last_MC, loaded);
        for (int i = 0; i <= Module1::Max_MC; ++i)
            for (int k = 0; k <= McKeyCount; ++k)
                if (i == 0 || k == 0 || i > loaded) QCOMPARE(m->MCDATA[i][k], QString());
        for (int i = 1; i <= loaded; ++i)
            QVERIFY(!m->mc(i, MCNAME).isEmpty());
        if (loaded == 9) QCOMPARE(m->mc(9, MCNAME), QStringLiteral("M9"));
    }

    // A machine after a gap is dropped from the file by the next write.
    void gapIsDroppedByNextWrite()
    {
        setFile(section(1) + section(2, {"MCNAME=Second"}) + section(4, {"MCNAME=Fourth"}));
        m->ReadIni();
        QVERIFY(m->WriteIni(0));
        QCOMPARE(m->GetIniStr(QStringLiteral("[MC2]"), QStringLiteral("MCNAME")),
                 QStringLiteral("Second"));
        QCOMPARE(m->GetIniStr(QStringLiteral("[MC4]"), QStringLiteral("MCNAME")),
                 QStringLiteral("NO_MC"));
        QVERIFY(!readAll(iniPath()).contains("Fourth"));
    }

    void getIniStr_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("sectionName");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QByteArray two = "[MC1]\nMCNAME=One\nMCPORT=ttyS0\n\n[MC2]\nMCNAME=Two\n\n\n";
        QTest::newRow("value") << two << "[MC1]"
                               << "MCPORT"
                               << "ttyS0";
        QTest::newRow("second section") << two << "[MC2]"
                                        << "MCNAME"
                                        << "Two";
        QTest::newRow("no section") << two << "[MC3]"
                                    << "MCNAME"
                                    << "NO_MC";
        QTest::newRow("no such key") << two << "[MC2]"
                                     << "MCPORT"
                                     << "NOINIVAL";
        QTest::newRow("empty file") << QByteArray() << "[MC1]"
                                    << "MCNAME"
                                    << "NO_MC";
        QTest::newRow("empty value") << QByteArray("[MC1]\nMCBLKNUL=\n") << "[MC1]"
                                     << "MCBLKNUL"
                                     << "";
        QTest::newRow("key alone at end of file") << QByteArray("[MC1]\nMCNAME") << "[MC1]"
                                                  << "MCNAME"
                                                  << "";
        QTest::newRow("no line end at end of file") << QByteArray("[MC1]\nMCNAME=Last") << "[MC1]"
                                                    << "MCNAME"
                                                    << "Last";
        QTest::newRow("space before '='") << QByteArray("[MC1]\nMCNAME =Mill\n") << "[MC1]"
                                          << "MCNAME"
                                          << "=Mill";
        QTest::newRow("any one character after the key")
            << QByteArray("[MC1]\nMCNAME:Mill\n") << "[MC1]"
            << "MCNAME"
            << "Mill";
        QTest::newRow("'=' in the value") << QByteArray("[MC1]\nMCEXTENS=a=b \n") << "[MC1]"
                                          << "MCEXTENS"
                                          << "a=b ";
        QTest::newRow("keys out of order")
            << QByteArray("[MC1]\nMCEOT=3\nMCSBITS=2\nMCNAME=Mill\n") << "[MC1]"
            << "MCNAME"
            << "Mill";
        QTest::newRow("unknown lines skipped")
            << QByteArray("[MC1]\n\n; note\nfoo\nMCNAME=Mill\n") << "[MC1]"
            << "MCNAME"
            << "Mill";
        QTest::newRow("key indented") << QByteArray("[MC1]\n MCNAME=Mill\n") << "[MC1]"
                                      << "MCNAME"
                                      << "NOINIVAL";
        QTest::newRow("key before the header")
            << QByteArray("MCPORT=ttyS9\n[MC1]\nMCNAME=Mill\n") << "[MC1]"
            << "MCPORT"
            << "NOINIVAL";
        QTest::newRow("key in another section")
            << QByteArray("[MC1]\nMCNAME=Mill\n[MC2]\nMCPORT=ttyS9\n") << "[MC1]"
            << "MCPORT"
            << "NOINIVAL";
        QTest::newRow("key of an earlier section")
            << QByteArray("[MC1]\nMCPORT=ttyS9\n[MC2]\nMCNAME=Two\n") << "[MC2]"
            << "MCPORT"
            << "NOINIVAL";
        QTest::newRow("'[' line ends the section")
            << QByteArray("[MC1]\nMCNAME=Mill\n[comment\nMCPORT=ttyS9\n") << "[MC1]"
            << "MCPORT"
            << "NOINIVAL";
        QTest::newRow("duplicate section: first one counts")
            << QByteArray("[MC1]\nMCNAME=First\n\n[MC1]\nMCNAME=Second\nMCPORT=ttyS9\n") << "[MC1]"
            << "MCNAME"
            << "First";
        QTest::newRow("duplicate section: later one not searched")
            << QByteArray("[MC1]\nMCNAME=First\n\n[MC1]\nMCNAME=Second\nMCPORT=ttyS9\n") << "[MC1]"
            << "MCPORT"
            << "NOINIVAL";
        QTest::newRow("duplicate key: first one counts")
            << QByteArray("[MC1]\nMCNAME=First\nMCNAME=Second\n") << "[MC1]"
            << "MCNAME"
            << "First";
        QTest::newRow("header must be the whole line")
            << QByteArray("[MC1] \nMCNAME=Mill\n") << "[MC1]"
            << "MCNAME"
            << "NO_MC";
        QTest::newRow("header [MC10] is not [MC1]") << QByteArray("[MC10]\nMCNAME=Ten\n") << "[MC1]"
                                                    << "MCNAME"
                                                    << "NO_MC";
        QTest::newRow("CR line ends") << QByteArray("[MC1]\rMCNAME=Mill\rMCPORT=ttyS0\r") << "[MC1]"
                                      << "MCPORT"
                                      << "ttyS0";
        QTest::newRow("CR LF line ends")
            << QByteArray("[MC1]\r\nMCNAME=Mill\r\nMCPORT=ttyS0\r\n") << "[MC1]"
            << "MCPORT"
            << "ttyS0";
        QTest::newRow("mixed line ends")
            << QByteArray("[MC1]\r\nMCNAME=Mill\rMCPORT=ttyS0\n") << "[MC1]"
            << "MCPORT"
            << "ttyS0";
        QTest::newRow("UTF-8 value") << QByteArray("[MC1]\nMCNAME=Fr\xC3\xA4se\n") << "[MC1]"
                                     << "MCNAME" << QString::fromUtf8("Fr\xC3\xA4se");
        QTest::newRow("UTF-8 byte order mark")
            << QByteArray("\xEF\xBB\xBF[MC1]\nMCNAME=Mill\n") << "[MC1]"
            << "MCNAME"
            << "Mill";
    }
    void getIniStr()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, sectionName);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        setFile(file);
        QCOMPARE(m->GetIniStr(sectionName, key), expected);
    }

    // A file with CR, LF or CR LF line ends loads the same table.
    void readIni_lineEnds_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR") << QByteArray("\r");
        QTest::newRow("CR LF") << QByteArray("\r\n");
    }
    void readIni_lineEnds()
    {
        QFETCH(QByteArray, lineEnd);
        m->Last_MC = 3;
        for (int k = 1; k <= 3; ++k)
            fillMachine(*m, k, k);
        QVERIFY(m->WriteIni(0));
        m->ReadIni();
        QString expected[Module1::Max_MC + 1][McKeyCount + 1];
        for (int i = 0; i <= Module1::Max_MC; ++i)
            for (int k = 0; k <= McKeyCount; ++k)
                expected[i][k] = m->MCDATA[i][k];

        QByteArray bytes = readAll(iniPath());
        bytes.replace('\n', lineEnd);
        setFile(bytes);
        m->ReadIni();
        QCOMPARE(m->Last_MC, 3);
        for (int i = 0; i <= Module1::Max_MC; ++i)
            for (int k = 0; k <= McKeyCount; ++k)
                QCOMPARE(m->MCDATA[i][k], expected[i][k]);
    }

    // A lookup or a load without a file makes the file, empty.
    void missingFileIsCreatedEmpty()
    {
        QVERIFY(!QFile::exists(iniPath()));
        QCOMPARE(m->GetIniStr(QStringLiteral("[MC1]"), QStringLiteral("MCNAME")),
                 QStringLiteral("NO_MC"));
        QCOMPARE(readAll(iniPath()), QByteArray());
        QVERIFY(QFile::remove(iniPath()));
        m->Last_MC = 3;
        m->ReadIni();
        QCOMPARE(m->Last_MC, 0);
        QCOMPARE(readAll(iniPath()), QByteArray());
    }

    // A line break typed into a value cannot split the key line or forge a
    // section of its own.
    void lineBreakInValueStaysOnItsLine()
    {
        m->Last_MC = 1;
        fillNewMachine(*m, 1, QStringLiteral("ttyS0"));
        m->setMc(1, MCNAME, QStringLiteral("Mill\n[MC2]\r\nMCNAME=Ghost"));
        QVERIFY(m->WriteIni(0));
        m->ReadIni();
        QCOMPARE(m->Last_MC, 1);
        QCOMPARE(m->mc(1, MCNAME), QStringLiteral("Mill [MC2]  MCNAME=Ghost"));
        QCOMPARE(m->mc(1, MCPORT), QStringLiteral("ttyS0"));
    }

    void writeIni_failureKeepsOldFile_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("folder does not exist") << "missing folder";
        QTest::newRow("folder is a regular file") << "file as folder";
        QTest::newRow("disk full") << "file size limit";
    }
    void writeIni_failureKeepsOldFile()
    {
        QFETCH(QString, how);
        const QByteArray old = readAll(goldenPath(QStringLiteral("config_delete_2_of_3.ini")));
        setFile(old);
        m->Last_MC = 9;
        for (int k = 1; k <= 9; ++k)
            fillMachine(*m, k, k);

        QString target = iniPath();
        if (how == QLatin1String("missing folder")) {
            target = dir->filePath(QStringLiteral("gone/zoZad.ini"));
        } else if (how == QLatin1String("file as folder")) {
            target = iniPath() + QStringLiteral("/zoZad.ini");
        }
        m->iniFile = target;

        QSignalSpy failed(m, &Module1::iniWriteFailed);
        bool ok = true;
        if (how == QLatin1String("file size limit")) {
            // Writes beyond the limit fail with EFBIG, for root as well: as
            // good as a full disk.
            rlimit saved{};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = saved;
            small.rlim_cur = 600;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
            ok = m->WriteIni(0);
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, oldHandler);
        } else {
            ok = m->WriteIni(0);
        }
        QVERIFY(!ok);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), target);
        QVERIFY(!failed.at(0).at(1).toString().isEmpty());
        // The old file is as it was and no temporary file is left over.
        QCOMPARE(readAll(iniPath()), old);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{"zoZad.ini"});
        // The table is untouched.
        QCOMPARE(m->Last_MC, 9);
        QCOMPARE(m->mc(9, MCNAME), QStringLiteral("Mill 9"));
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("plain") << "9600" << 9600;
        QTest::newRow("suffix") << "150ms" << 150;
        QTest::newRow("no digits") << "Fast" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("leading zero") << "02" << 2;
        QTest::newRow("leading space") << " 7" << 7;
        QTest::newRow("8 Bits") << "8 Bits - No Parity" << 8;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, number);
        QCOMPARE(Module1::leadingNumber(text), number);
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
