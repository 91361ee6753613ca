// A program asked for from the machine: the punch read as a request, the
// file found in the machine's folder, the program restarted at a block, and
// the short program sent back when a request cannot be served.

#include "core/serving/programlookup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace
{
// A parsed request as "name|number|block|own number", "-" when none, "!"
// before a bad name.
QByteArray shown(const std::optional<ProgramRequest> &r)
{
    if (!r) return "-";
    return (r->badName ? "!" : "") + r->name + '|' + (r->isNumber ? r->number : "") + '|' +
           r->block + '|' + r->ownNumber;
}

// Rows of a name and three byte strings, the last two compared.
void rows(const char *const (*table)[4], int count)
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<QByteArray>("expected");
    for (int i = 0; i < count; ++i)
        QTest::newRow(table[i][0]) << QByteArray(table[i][1]) << QByteArray(table[i][2])
                                   << QByteArray(table[i][3]);
}
} // namespace

class TestRequest : public QObject
{
    Q_OBJECT
private slots:
    // a: the punch; b: unused.
    void parse_data()
    {
        static const QByteArray pad(500, ' '), tooLong = pad + "(SEND 5)" + pad;
        static const char *const table[][4] = {
            {"O-number, own number", "%\nO0001\n(SEND O1234)\n%\n", "", "O1234|1234||O0001"},
            {"slash, bare digits", "(/REQ 0012)", "", "0012|12||"},
            {"file name, any case", "(get flange.nc)\r\n", "", "flange.nc|||"},
            {"block, CR ends", "%\rO0002 (SEND O1234 N2310)\r%\r", "", "O1234|1234|N2310|O0002"},
            {"blanks, all zeros", " \t( Send  o0000 )  ", "", "o0000|0||"},
            {"second comment", "O7(NOTE)(/get 5)", "", "5|5||O7"},
            {"leader and blanks not counted", "%%\n\n  \n%\nO1\nG90\nG0\n(SEND 5)\nM30\n\n%\n", "", "5|5||O1"},
            {"six lines: a program", "O1\nG90\nG0\n(SEND 5)\nM30\nM2\n", "", "-"},
            {"too long: a program", tooLong.constData(), "", "-"},
            {"words first", "(PLEASE SEND O1234)", "", "-"},
            {"REQUEST", "(REQUEST O1234)", "", "-"},
            {"no name", "(SEND)", "", "-"},
            {"not a block after", "(SEND O1234 PLEASE)", "", "-"},
            {"unclosed", "(SEND O1234", "", "-"},
            {"outside a comment", "SEND O1234", "", "-"},
            {"bad name: parent folder", "(GET ../O1.NC)", "", "!../O1.NC|||"},
            {"bad name: slash", "(GET A/B)", "", "!A/B|||"},
            {"bad name: backslash", "(GET A\\B)", "", "!A\\B|||"},
            {"bad name: parenthesis", "(GET (O1)", "", "!(O1|||"},
            {"bad name: %", "O7(GET O1%)", "", "!O1%|||O7"},
            {"bad name: bytes 0x80 and above shown ?", "(SEND O\xe4\x80 N5)", "", "!O??||N5|"},
            {"bad name, not a block after", "(SEND O1% X)", "", "-"},
        };
        rows(table, std::size(table));
    }
    void parse()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, expected);
        QCOMPARE(shown(ProgramRequest::parse(a)), expected);
    }

    // a: the folder's files ("dir/" a sub-folder); b: the name asked for
    // and the machine's extension; expected: the files found, "+" between.
    void find_data()
    {
        static const char *const table[][4] = {
            {"exact, any case", "flange.nc FLANGE.NC.bak", "FLANGE.NC", "flange.nc"},
            {"with extension", "FLANGE.tap FLANGE.nc", "flange .TAP", "FLANGE.tap"},
            {"extension without dot", "FLANGE.tap FLANGE.nc", "flange tap", "FLANGE.tap"},
            {"extension .nc by default", "Part.NC Part.tap", "part", "Part.NC"},
            {"number, O and zeros", "O12.txt O13.nc O120.nc", "O0012", "O12.txt"},
            {"digits, file with zeros", "0012 O120.nc", "12", "0012"},
            {"O-number, file without O", "12.MIN", "o12", "12.MIN"},
            {"exact before numbered", "O12 O0012.nc", "O12", "O12"},
            {"extension before numbered", "O12.nc 12.txt", "O12", "O12.nc"},
            {"not found", "O13.nc O120.nc N12.nc", "O12", ""},
            {"names are not numbers", "FLANGE1.nc", "FLANGE", ""},
            {"ambiguous number", "O12.nc 0012.txt", "12", "0012.txt+O12.nc"},
            {"earlier versions are no candidates", "O12.nc O12.1.nc O12.2.nc", "12", "O12.nc"},
            {"number, earlier version", "O12.tap.nc O12.1.tap.nc", "12 tap.nc", "O12.tap.nc"},
            {"unsafe extension read as .nc", "O12.nc O12.x", "O12 ../x", "O12.nc"},
            {"ambiguous case", "flange.nc FLANGE.NC", "Flange.nc", "FLANGE.NC+flange.nc"},
            {"sub-folder not searched", "sub/O12.nc O12.nc/", "O12", ""},
            {"backslash refused", "a\\b.nc", "a\\b.nc", ""},
            {"control byte refused", "a\tb.nc", "a\tb.nc", ""},
            {"Siemens: main program first", "A_SPF.nc A_MPF.nc", "a", "A_MPF.nc"},
            {"Siemens: with its type", "A_SPF.nc A_MPF.nc", "A.SPF", "A_SPF.nc"},
            {"Okuma and Heidenhain: with their type", "BORE1.nc 100.nc", "BORE1.MIN", "BORE1.nc"},
            {"Heidenhain: with its type", "100.tap 0100.tap", "100.H tap", "100.tap"},
            {"temporaries never numbered", "O12.nc O12.nc.tmp-aB3dE9", "12", "O12.nc"},
            {"temporary not even by its name", "O12.nc.tmp-aB3dE9", "O12.nc.tmp-aB3dE9", ""},
        };
        rows(table, std::size(table));
    }
    void find()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString folder = dir.filePath("m");
        QVERIFY(QDir().mkpath(folder + "/sub"));
        for (const QByteArray &f : a.split(' ')) {
            const QString path = folder + '/' + QString::fromLatin1(f);
            QVERIFY(f.endsWith('/') ? QDir().mkpath(path) : QFile(path).open(QIODevice::WriteOnly));
        }
        const QList<QByteArray> nameExt = (b + ' ').split(' ');
        // A name no punch gets through still looked for, as if it had.
        ProgramRequest request = ProgramRequest::parse("(GET " + nameExt[0] + ')').value_or(ProgramRequest());
        request.name = nameExt[0];
        const ProgramLookup found = findProgram(folder, request, QString::fromLatin1(nameExt[1]));
        QStringList names = found.outcome == ProgramLookup::Outcome::Found ? QStringList{found.path}
                                                                           : found.candidates;
        QCOMPARE(found.outcome == ProgramLookup::Outcome::Ambiguous, names.size() > 1);
        QCOMPARE(names.replaceInStrings(folder + '/', "").join('+'), QString::fromLatin1(expected));
    }

    // a: the program; b: the block; expected: what is sent, "-" for none.
    void restart_data()
    {
        static const char *const p = "%\nO1234 (FLANGE)\n(T1 FACE)\nN10 G90 G54\nN20 T1 M6\n"
                                     "N2310 G01 X1.\nN2320 X2.\nM30\n%\n";
        static const char *const table[][4] = {
            {"header then the block", p, "N2310",
             "%\nO1234 (FLANGE)\n(T1 FACE)\nN2310 G01 X1.\nN2320 X2.\nM30\n%\n"},
            {"leading zeros, any case", p, "n02310",
             "%\nO1234 (FLANGE)\n(T1 FACE)\nN2310 G01 X1.\nN2320 X2.\nM30\n%\n"},
            {"first block: all of it", p, "N10", p},
            {"not a prefix", p, "N231", "-"},
            {"no such block", p, "N9", "-"},
            {"CR LF, blanks, block delete", "%\r\nO1\r\n N1 G0\r\n/N0005 X1\r\nN6\r\n", "N5",
             "%\r\nO1\r\n/N0005 X1\r\nN6\r\n"},
            {"CR only, no final end", "%\rO1\rN1\rN2 X1", "N2", "%\rO1\rN2 X1"},
            {"no numbered blocks", "%\nO1\nG0 X1\n%\n", "N1", "-"},
            {"not a block number", p, "2310", "-"},
        };
        rows(table, std::size(table));
    }
    void restart()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(QByteArray, expected);
        QCOMPARE(restartAtBlock(a, b).value_or("-"), expected);
    }

    // a: the request; b: the reason's number; expected: the reply.
    void reply_data()
    {
        static const char *const table[][4] = {
            {"not found", "%\nO0001\n(SEND O1234)\n%", "0", "%\nO0001\n(NOT FOUND O1234)\n%\n"},
            {"more than one", "(SEND 12)", "1", "%\n(MORE THAN ONE 12)\n%\n"},
            {"busy", "(GET flange.nc)", "2", "%\n(BUSY flange.nc)\n%\n"},
            {"no block", "O7(SEND O1234 N2310)", "3", "%\nO7\n(NO BLOCK N2310)\n%\n"},
            {"too large", "(SEND O1234)", "4", "%\n(TOO LARGE O1234)\n%\n"},
            {"bad name, never said back", "O7(GET O1%)", "5", "%\nO7\n(BAD NAME)\n%\n"},
            {"bad name, another reason", "(GET A\xe4)", "2", "%\n(BUSY)\n%\n"},
        };
        rows(table, std::size(table));
    }
    void reply()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(QByteArray, expected);
        QCOMPARE(refusalReply(*ProgramRequest::parse(a), Refusal(b.toInt())), expected);
    }
};

QTEST_GUILESS_MAIN(TestRequest)
#include "tst_request.moc"
