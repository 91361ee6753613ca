// A program asked for from the machine: the punch read as a request, the
// file found in the machine's folder, the program restarted at a block, the
// short program sent back when a request cannot be served, the folder
// listed and a punch compared.

#include "core/serving/programcompare.h"
#include "core/serving/programlisting.h"
#include "core/serving/programlookup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace
{
// A parsed request as "what was asked|number|block|own name", "-" when
// none, "!" before a bad name, then its syntax unless Fanuc's.
QByteArray shown(const std::optional<ProgramRequest> &r)
{
    if (!r) return "-";
    static const char *const syntax[] = {"", "|;", "|Siemens", "|Heidenhain", "|Okuma"};
    return (r->badName ? "!" : "") + r->asked() + '|' + (r->isNumber ? r->number : "") + '|' +
           r->block + '|' + r->frame.name + syntax[int(r->frame.syntax)];
}

void makeFiles(const QString &folder, const QByteArray &names)
{
    QVERIFY(QDir().mkpath(folder + "/sub"));
    for (const QByteArray &f : names.split(' ')) {
        QFile file(folder + '/' + QString::fromLatin1(f));
        QVERIFY(f.endsWith('/') ? QDir().mkpath(file.fileName())
                                : file.open(QIODevice::WriteOnly) && file.write(f) == f.size());
    }
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
            {"Siemens file", "%_N_REQ_MPF\n;$PATH=/_N_MPF_DIR\n;SEND SHAFT123_MPF\nM30\n", "",
             "SHAFT123_MPF|||REQ_MPF|Siemens"},
            {"Heidenhain, blank after ;", "0 BEGIN PGM REQ INCH\n1 ; GET 100\n2 END PGM REQ INCH",
             "", "100|100||REQ|Heidenhain"},
            {"framing lines not counted",
             "0 BEGIN PGM R MM\n1 ;A\n2 ;B\n3 ;C\n4 ;D\n5 ;SEND X\n6 END PGM R MM\n", "",
             "X|||R|Heidenhain"},
            {"six lines in a Siemens file: a program", "%_N_P_MPF\nG0\nG1\nG2\nG3\nM30\n;SEND X\n",
             "", "-"},
            {"; alone", ";send FLANGE-A\n", "", "FLANGE-A||||;"},
            {"Okuma", "$REQ.MIN%\n(SEND BORE1)\n%\n", "", "BORE1|||REQ.MIN|Okuma"},
            {"Fanuc's <NAME>", "%\n<REQ>\n(SEND O1)\n%\n", "", "O1|1||<REQ>"},
            {"name not plain, not kept", "%_N_A$_MPF\n;SEND X\n", "", "X||||Siemens"},
            {"; inside a comment", "(A;SEND X)", "", "-"},
            {"list all", "(LIST)", "", "LIST|||"},
            {"list a pattern after ;", "%_N_L_SPF\n;/list o1*\n", "", "LIST o1*|||L_SPF|Siemens"},
            {"list: two patterns", "(LIST A B)", "", "-"},
            {"list: bad pattern", "(LIST A%)", "", "!LIST A%|||"},
            {"compare", "%\nO9\n(COMPARE)\n%\n", "", "COMPARE|||O9"},
            {"compare takes no name", "(COMPARE O1)", "", "-"},
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
            // A folder that is the configuration's too: the program's own files are no programs.
            {"the token, in any case", "status-token", "STATUS-TOKEN", ""},
            {"the configuration", "zoZad.ini zoZad.ini.bak", "zoZad.ini", ""},
            {"the log", "transfers.log.1", "transfers.log.1", ""},
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
        makeFiles(folder, a);
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
            {"name with ;", "(GET A;B)", "0", "%\n(NOT FOUND A?B)\n%\n"},
            {"Fanuc's <NAME>", "%\n<REQ>\n(SEND O1)\n%\n", "0", "%\n<REQ>\n(NOT FOUND O1)\n%\n"},
            {"; alone", "; GET 100.H", "1", ";MORE THAN ONE 100.H\n"},
            {"Siemens", "%_N_REQ_MPF\n;$PATH=/_N_MPF_DIR\n;SEND SHAFT123\nM30\n", "0",
             "%_N_REQ_MPF\n;$PATH=/_N_MPF_DIR\n;NOT FOUND SHAFT123\n"},
            {"Siemens, no name, path not plain", "%_N_\n;$PATH=/../x\n;GET A\n", "2",
             "%_N_REPLY_MPF\n;BUSY A\n"},
            {"Heidenhain", "0 BEGIN PGM 7 INCH\n1 ;SEND X N5\n2 END PGM 7 INCH\n", "3",
             "0 BEGIN PGM 7 INCH\n1 ;NO BLOCK N5\n2 END PGM 7 INCH\n"},
            {"Okuma", "$REQ.MIN%\n(SEND BORE1)\n%\n", "0", "$REQ.MIN%\n(NOT FOUND BORE1)\n%\n"},
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

    // a: the folder's files, each holding its name; b: the pattern;
    // expected: the lines, "|" between.
    void listing_data()
    {
        QByteArray many, listed;
        for (int i = 0; i < ProgramListing::MaxLines + 3; ++i) {
            const QByteArray name = 'P' + QByteArray::number(1000 + i) + ".nc";
            many += (i ? " " : "") + name;
            listed += i < ProgramListing::MaxLines ? name + " 8|" : "";
        }
        static const std::string bound = many.toStdString(),
                                 boundListed = listed.toStdString() + "AND 3 MORE";
        static const char *const table[][4] = {
            {"all, by name, case ignored", "b.nc A.nc O12.nc c.NC", "",
             "A.nc 4|b.nc 4|c.NC 4|O12.nc 6"},
            {"pattern, case ignored", "O12.nc O13.nc O2.nc P1.nc", "o1*", "O12.nc 6|O13.nc 6"},
            {"name before its first dot: versions, cut punches, no temporaries",
             "O12.nc O12.1.nc O12.partial.nc O123.nc O12.nc.tmp-aB3dE9", "O12",
             "O12.1.nc 8|O12.nc 6|O12.partial.nc 14 INCOMPLETE"},
            {"? one character, no sub-folders", "O1.nc O12.nc O3.nc/", "O?.NC", "O1.nc 5"},
            {"names a comment cannot hold", "a%b a(b) a;b \xe4.nc $P", "",
             "?P 2|a?b 3|a?b? 4|a?b 3|??.nc 4"},
            {"none", "O1.nc", "P*", ""},
            {"not the program's own files",
             "O1.nc zoZad.ini zoZad.ini.lock zoZad-port-ttyS0 transfers.log status-token", "",
             "O1.nc 5"},
            {"more than are listed", bound.c_str(), "", boundListed.c_str()},
        };
        rows(table, std::size(table));
    }
    void listing()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        makeFiles(dir.path(), a);
        QCOMPARE(listPrograms(dir.path(), b).lines.join('|'), expected);
    }

    // a: the punch; b: O7.nc in the folder; expected: the answer.
    void compare_data()
    {
        static const char *const p = "%\nO7\nN10 G0 X1\nN20 M30\n%\n";
        static const char *const table[][4] = {
            {"same", p, p, "SAME"},
            {"line ends, DC codes, blanks, % lines do not count",
             "\x12%\r\nO7\r\nN10G0  X1\r\n\r\n\tN20 M30\r%\n%%\x14", p, "SAME"},
            {"letter case counts", "O7\nn10 g0 x1\nN20 M30", p, "DIFFERS AT N10: n10 g0 x1"},
            {"the program's block", "O7\nX2\nN20 M30", p, "DIFFERS AT N10: X2"},
            {"no block: the punch's line", "%\nO7\nG0 X2\n", "O7\nG0 X1",
             "DIFFERS AT LINE 3: G0 X2"},
            {"punch ends early", "O7\nN10 G0 X1", p, "DIFFERS AT END: MISSING N20 M30"},
            {"punch goes on", "O7\nN10 G0 X1\nN20 M30\nN30 M2", p, "DIFFERS AT N30: N30 M2"},
            {"shown printable, shortened", "O7\nN10 (ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789)", p,
             "DIFFERS AT N10: N10 ?ABCDEFGHIJKLMNOPQRSTUVWXYZ012345..."},
            {"not found", "%\nO8\nG0\n%", p, "NOT FOUND O8"},
            {"no name", "G0 X1", p, "NO NAME"},
        };
        rows(table, std::size(table));
    }
    void compare()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        QFile file(dir.filePath("O7.nc"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(b) == b.size());
        file.close();
        QCOMPARE(compareWithFolder(dir.path(), ".nc", a, 1024).answer, expected);
    }
};

QTEST_GUILESS_MAIN(TestRequest)
#include "tst_request.moc"
