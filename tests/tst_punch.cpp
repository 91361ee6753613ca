// Serving a machine: what it punches cut into programs, and each program
// saved as a file named by its number, never over another.

#include "core/serving/punchassembler.h"
#include "core/serving/punchstore.h"
#include "shoprig.h"

#include <QDir>
#include <QTest>

namespace
{
constexpr qint64 Ms = 1'000'000;

// Bytes of a literal, NULs included.
template <qsizetype N> QByteArray b(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}
} // namespace

class TestPunch : public QObject
{
    Q_OBJECT
private slots:
    // Input: pieces fed one after another, "|" standing for the silence that
    // ends a punch; expected: the punches, joined by "|", "!" and a count for
    // bytes dropped as no program. Every row is fed in its pieces and byte by
    // byte; nothing ends before the full silence.
    void punchesAreCut_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("endCode");
        QTest::addColumn<int>("strip");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QByteArray>("expected");
        const int max = PunchAssembler::MaxBytes;
        QTest::newRow("leader, DC codes and what follows the closing %")
            << b("\0\0\x11\x12\r\n%\nO1\n\0G0\n%\r\n\x14\0\0|") << "" << 255 << max
            << b("%\nO1\n\0G0\n%");
        QTest::newRow("silence ends a punch; its trailing leader and DC4 left out")
            << b("\x12O2\nM30\n\0\0\x14|") << "" << 255 << max << b("O2\nM30\n");
        QTest::newRow("silence ends a framed punch too")
            << b("%\nO6\n|%\nO7\n%") << "" << 0 << max << b("%\nO6\n|%\nO7\n%");
        QTest::newRow("end code, inclusive")
            << b("\x12O3\nM30\n\x1a\r\n\x1a\x14|") << "26" << 255 << max << b("O3\nM30\n\x1a");
        QTest::newRow("end code %, and a framed punch after it")
            << b("O4\n%\n%\nO5\n%|") << "37" << 255 << max << b("O4\n%|%\nO5\n%");
        QTest::newRow("two back to back")
            << b("%\nO1\n%\r\n%\nO2\n%") << "" << 0 << max << b("%\nO1\n%|%\nO2\n%");
        QTest::newRow("Siemens: each header starts a program")
            << b("%_N_A_MPF\r\n;$PATH=/_N_MPF_DIR\r\nN1\r\n%_N_B_SPF\nN2\n\0|") << "" << 0 << max
            << b("%_N_A_MPF\r\n;$PATH=/_N_MPF_DIR\r\nN1\r\n|%_N_B_SPF\nN2\n");
        QTest::newRow("Heidenhain: to its own END PGM line, with its CR LF")
            << b("0 BEGIN PGM 7 MM\r\n1 L X+1\r\n2 END PGM 8\r\n3 END PGM 7 MM\r\n4 x\n|") << ""
            << 0 << max << b("0 BEGIN PGM 7 MM\r\n1 L X+1\r\n2 END PGM 8\r\n3 END PGM 7 MM\r\n|!4");
        QTest::newRow("Okuma: a % line ends a program, %% the transfer")
            << b("$A.MIN%\nG0\n%\n$B.MIN%\n%\n%%\n|") << "" << 0 << max
            << b("$A.MIN%\nG0\n%|$B.MIN%\n%");
        QTest::newRow("a server's greeting, then a program")
            << b("ser2net port tcp,2000\r\n\0%\nO1\n%|") << "" << 0 << max << b("!23|%\nO1\n%");
        QTest::newRow("a program starts only at a line's start")
            << b("\xff%(\nO1\n|\x01|") << "" << 0 << max << b("!4|O1\n|!1");
        QTest::newRow("what follows the end is the next punch")
            << b("%\nO1\n%(X)|") << "" << 0 << max << b("%\nO1\n%|(X)");
        QTest::newRow("strip byte")
            << b("%\r\nO1\r\n%\r\n") << "" << int('\r') << max << b("%\nO1\n%");
        QTest::newRow("no strip option removes NUL")
            << b("%\nO1\0\n%") << "" << 0 << max << b("%\nO1\n%");
        // A punch past the bound: what was kept, "+" and the bytes left out.
        QTest::newRow("over the bound: kept to it, the rest counted to the end")
            << b("%ab\n\nc%\0O1\n|") << "" << 255 << 3 << b("%ab+4|O1\n");
        QTest::newRow("over the bound, ended by silence: nothing trimmed")
            << b("O12\0\0|") << "" << 255 << 2 << b("O1+3");
    }
    void punchesAreCut()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, endCode);
        QFETCH(int, strip);
        QFETCH(int, maxBytes);
        QFETCH(QByteArray, expected);
        for (const bool bytewise : {false, true}) {
            VirtualClock clock;
            PunchAssembler punches(clock, maxBytes);
            punches.setEndCode(endCode);
            punches.setStripByte(char(strip));
            QByteArrayList out;
            connect(&punches, &PunchAssembler::punched, [&](const QByteArray &p) { out << p; });
            connect(&punches, &PunchAssembler::tooLarge, [&](const QByteArray &p, qint64 n) {
                out << p + '+' + QByteArray::number(n);
            });
            connect(&punches, &PunchAssembler::dropped,
                    [&](qint64 n) { out << '!' + QByteArray::number(n); });
            for (const QByteArray &piece : input.split('|')) {
                for (qsizetype i = 0; i < piece.size(); i += bytewise ? 1 : piece.size())
                    punches.feed(piece.mid(i, bytewise ? 1 : -1));
                const qsizetype count = out.size();
                clock.advance((PunchAssembler::SilenceMs - 1) * Ms);
                QCOMPARE(out.size(), count);
                clock.advance(Ms);
                QVERIFY(!punches.inPunch());
            }
            QCOMPARE(out.join('|'), expected);
        }
    }

    // What the panel shows while a punch comes.
    void punchInProgress()
    {
        VirtualClock clock;
        PunchAssembler punches(clock);
        punches.feed(b("\0\x12\r\n"));
        QVERIFY(!punches.inPunch());
        punches.feed("%\nO12");
        QVERIFY(punches.inPunch());
        QCOMPARE(punches.size(), 5);
    }

    void savedByNumber_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("name");
        QTest::newRow("number") << b("%\nO3003 (FLANGE)\nG0\n%") << ""
                                << "O3003.nc";
        QTest::newRow("leading zeros, CR LF, extension with dot")
            << b("\r\n%\r\n\r\nO0012\r\n%") << ".tap"
            << "O0012.tap";
        QTest::newRow("extension without dot") << b("O7G0\n") << "NC"
                                               << "O7.NC";
        QTest::newRow("no number") << b("G0 X1\nO5\n") << "nc"
                                   << "punch-20240305-140709.nc";
        QTest::newRow("no digits") << b("%\nO../x\n") << ""
                                   << "punch-20240305-140709.nc";
        QTest::newRow("too many digits") << b("O1234567890123\n") << ""
                                         << "punch-20240305-140709.nc";
        QTest::newRow("Fanuc's file name") << b("%\n<FLANGE-A>(ROUGH)\nG0\n%") << ""
                                           << "FLANGE-A.nc";
        QTest::newRow("Siemens") << b("%_N_SHAFT123_MPF\n;$PATH=/_N_MPF_DIR\n") << ""
                                 << "SHAFT123_MPF.nc";
        QTest::newRow("Heidenhain") << b("0 BEGIN PGM 100 MM\n") << "H" << "100.H";
        QTest::newRow("Okuma") << b("$BORE1.MIN%\n") << "" << "BORE1.nc";
        QTest::newRow("no file name") << b("%\n<FLANGE.A>\n") << ""
                                      << "punch-20240305-140709.nc";
        QTest::newRow("unsafe extension") << b("O1\n") << "../x"
                                          << "O1.nc";
        QTest::newRow("dot inside the extension") << b("O1\n") << " .tap.nc"
                                                  << "O1.tap.nc";
    }
    void savedByNumber()
    {
        QFETCH(QByteArray, program);
        QFETCH(QString, extension);
        QFETCH(QString, name);
        QTemporaryDir dir;
        PunchStore store([] { return QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)); });
        const PunchStore::Result r = store.save(dir.path(), extension, program);
        QCOMPARE(r.error, QString());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
        QCOMPARE(readFile(dir.filePath(name)), program);
    }

    // A punch of a number already saved keeps the earlier ones as numbered
    // versions; a save into a folder that is missing waits, in order, until
    // a retry finds the folder; past the bound a punch is refused aloud.
    void nothingOverwrittenNothingDropped()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("out"));
        PunchStore store;
        QCOMPARE(store.save(dir.path(), "", "O7\nA\n").error, QString());
        QCOMPARE(store.save(missing, "", "O7\nB\n").error, QString("No such file or directory"));
        QCOMPARE(store.save(missing, "", "O7\nC\n").path, QDir(missing).filePath("O7.nc"));
        QCOMPARE(store.retry(), QString("No such file or directory"));
        QCOMPARE(store.pending(), 2);
        for (int i = 2; i < PunchStore::MaxPending; ++i)
            QVERIFY(!store.save(missing, "", "O8\n" + QByteArray::number(i)).error.isEmpty());
        QCOMPARE(store.save(missing, "", "O9\n").error,
                 QString("No such file or directory; it is not kept: 16 punches already wait to be "
                         "saved"));
        QVERIFY(QDir().mkdir(missing));
        QStringList saved;
        QCOMPARE(store.retry(&saved), QString());
        QCOMPARE(saved.size(), PunchStore::MaxPending);
        QCOMPARE(store.pending(), 0);
        QCOMPARE(store.save(dir.path(), "", "O7\nD\n").path, dir.filePath("O7.nc"));
        QCOMPARE(store.save(dir.path(), "", "O7\nE\n").error, QString());
        for (const auto &[path, bytes] : {std::pair{"O7.nc", "O7\nE\n"},
                                          {"O7.1.nc", "O7\nA\n"},
                                          {"O7.2.nc", "O7\nD\n"},
                                          {"out/O7.nc", "O7\nC\n"},
                                          {"out/O7.1.nc", "O7\nB\n"},
                                          {"out/O8.nc", "O8\n15"}})
            QCOMPARE(readFile(dir.filePath(path)), QByteArray(bytes));
    }

    // Waiting punches are bounded in bytes too: past the bound a punch is
    // tried once, then refused aloud.
    void waitingBytesBounded()
    {
        QTemporaryDir dir;
        PunchStore store;
        const QByteArray big = "O8\n" + QByteArray(PunchAssembler::MaxBytes - 3, 'X'); // shared
        for (int i = 0; i < PunchStore::MaxPendingBytes / big.size(); ++i)
            QCOMPARE(store.save(dir.filePath("out"), "", big).error,
                     QString("No such file or directory"));
        QCOMPARE(store.save(dir.filePath("out"), "", "O9\n").error,
                 QString("No such file or directory; it is not kept: with it, more than 64 MB of "
                         "punches would wait to be saved"));
        QCOMPARE(store.pending(), 4);
    }
};

QTEST_GUILESS_MAIN(TestPunch)
#include "tst_punch.moc"
