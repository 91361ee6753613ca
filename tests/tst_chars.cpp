// Characters the control needs and refuses: the leader's and trailer's
// escapes, and the check of a program against the machine's rule.

#include "core/base/escapedtext.h"
#include "core/programs/charactercheck.h"
#include "core/tapecode/eiacode.h"

#include <QTest>

class TestChars : public QObject
{
    Q_OBJECT
private slots:
    // Text as typed, the bytes it stands for, or the piece that is no escape.
    void escapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("bad");
        const auto good = [](const char *text, const QByteArray &bytes) {
            QTest::newRow(text) << QString::fromUtf8(text) << bytes << QString();
        };
        good("\\NUL%", QByteArray("\0%", 2));
        good("\\DC2", "\x12");
        good("%\\DC4\\ETX\\EOT\\US\\DEL", "%\x14\x03\x04\x1F\x7F");
        good("\\x1A\\x1a\\xFF\\\\", "\x1A\x1A\xFF\\");
        good("\\SO\\SOH\\SI\\x0EH", "\x0E\x01\x0F\x0EH"); // the longer name wins
        good("\u00e4 ", "\xE4 ");
        for (const auto &[text, bad] :
             {std::pair{"\\FOO", "\\FOO"}, {"\\DC2\\DC9", "\\DC9"}, {"\\x1", "\\x1"},
              {"\\xZZ%", "\\xZZ"}, {"%\\", "\\"}, {"\\nul", "\\nul"}, {"\\n", "\\n"},
              {"\u20ac", "\u20ac"}})
            QTest::newRow(text) << QString::fromUtf8(text) << QByteArray()
                                << QString::fromUtf8(bad);
    }
    void escapes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, bad);
        const EscapedText::Decoded d = EscapedText::decode(text);
        QCOMPARE(d.bad, bad);
        if (bad.isEmpty()) QCOMPARE(d.bytes, bytes);
        if (bad.isEmpty()) QCOMPARE(EscapedText::decode(EscapedText::encode(bytes)).bytes, bytes);
    }
    void everyByteWrittenAndReadBack()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        const QString text = EscapedText::encode(all);
        QVERIFY(text.startsWith("\\NUL\\SOH") && text.contains(" !\"") && text.endsWith("\\xFF"));
        QCOMPARE(EscapedText::decode(text).bytes, all);
        // By hand in the file, a bad escape goes as it is written.
        QCOMPARE(EscapedText::leniently(u"\\DC2\\FOO"), QByteArray("\x12\\FOO"));
    }

    // The EIA RS-244 table, written out by hand: each character and its row.
    void eiaTable_data()
    {
        QTest::addColumn<char>("iso");
        QTest::addColumn<uchar>("eia");
        const QByteArray iso("\0\n%\t\b\x7F +-.,/()0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", 50);
        const QByteArray eia = QByteArray::fromHex("00 80 0B 3E 7A 7F 10 70 40 6B 3B 31 1A 4A"
                                                   "20 01 02 13 04 15 16 07 08 19"
                                                   "61 62 73 64 75 76 67 68 79 51 52 43 54"
                                                   "45 46 57 58 49 32 23 34 25 26 37 38 29");
        for (qsizetype i = 0; i < iso.size(); ++i)
            QTest::newRow(qPrintable(EscapedText::encode(iso.mid(i, 1))))
                << iso[i] << uchar(eia[i]);
    }
    void eiaTable()
    {
        QFETCH(char, iso);
        QFETCH(uchar, eia);
        QCOMPARE(EiaCode::of(uchar(iso)), std::optional<uchar>(eia));
        QCOMPARE(EiaCode::isoOf(eia), std::optional<uchar>(uchar(iso)));
        QCOMPARE(qPopulationCount(eia) % 2, iso == 0 ? 0 : 1); // odd holes; blank tape has none
        QCOMPARE(EiaCode::decode(EiaCode::encode(QByteArray(1, iso))), QByteArray(1, iso));
    }
    void eiaHasNothingElse()
    {
        int codes = 0, rows = 0;
        for (int b = 0; b < 256; ++b) {
            codes += EiaCode::hasCode(uchar(b));
            rows += EiaCode::isoOf(uchar(b)).has_value();
        }
        QCOMPARE(codes, 50);
        QCOMPARE(rows, 50);
        QVERIFY(!EiaCode::hasCode('a') && !EiaCode::hasCode('\r') && !EiaCode::hasCode('*'));
        // Without a code a byte goes as it is, both ways.
        QCOMPARE(EiaCode::encode("a\x12"), QByteArray("a\x12"));
        QCOMPARE(EiaCode::decode("\x03\xFF"), QByteArray("\x03\xFF"));
    }

    // A program from `from` (0-based) under a rule, and what the user is told.
    void check_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("told"); // empty: nothing refused
        const auto row = [](const char *name, const QByteArray &program, int from, const char *rule,
                            const char *told) {
            QTest::newRow(name) << program << from << rule << QString::fromUtf8(told);
        };
        const QByteArray clean = "%\nO1234 (FLANGE A-2)\nG00\tX1.5\r\nM30\n%\n";
        row("clean", clean, 0, "STRICT", "");
        row("lower case and signs, not strict", "o1 (part; a,b?)\n", 0, "ISO", "");
        row("off", "\x01\xE4\n(a)", 0, "", "");
        row("Latin-1", "O1\nG00 (M\xE4SS)\n", 0, "ISO",
            "p.nc has 1 character the control refuses: line 2, column 7 \"\u00e4\"");
        row("UTF-8, one character", "O1\nG00 (M\xC3\xA4SS)\n", 0, "ISO",
            "p.nc has 1 character the control refuses: line 2, column 7 \"\u00e4\"");
        row("control characters", "G00\x03\nM30\x7F\x85 \x1A", 0, "ISO",
            "p.nc has 4 characters the control refuses: line 1, column 4 \"\\ETX\"; line 2, "
            "column 4 \"\\DEL\"; line 2, column 5 \"\\x85\"; line 2, column 7 \"\\SUB\"");
        row("from line 2", "G00 \x01\nG01 \x02\n", 1, "ISO",
            "p.nc has 1 character the control refuses: line 2, column 5 \"\\STX\"");
        row("strict: inside comments only", "N10 (a_B) x (C<) _\n(ok\n", 0, "STRICT",
            "p.nc has 5 characters the control refuses: line 1, column 6 \"a\"; line 1, column 7 "
            "\"_\"; line 1, column 15 \"<\"; line 2, column 2 \"o\"; line 2, column 3 \"k\"");
        row("strict: every sign", "(\"',;!@$^&_{}|\\<>?()\n", 0, "STRICT",
            "p.nc has 17 characters the control refuses: line 1, column 2 \"\"\"; line 1, column 3 "
            "\"'\"; line 1, column 4 \",\"; line 1, column 5 \";\"; line 1, column 6 \"!\"; "
            "line 1, column 7 \"@\"; line 1, column 8 \"$\"; line 1, column 9 \"^\"; line 1, "
            "column 10 \"&\"; line 1, column 11 \"_\"; and 7 more");
        row("EIA: clean", clean, 0, "STRICT+EIA", "");
        row("EIA: no code, whatever the rule", "N1 x1 (a)\n*\r\n", 0, "+EIA",
            "p.nc has 3 characters the control refuses: line 1, column 4 \"x\" (no EIA code); "
            "line 1, column 8 \"a\" (no EIA code); line 2, column 1 \"*\" (no EIA code)");
        row("EIA under the ISO rule", "G01\x03 M\xC3\xA4\n", 0, "ISO+EIA",
            "p.nc has 2 characters the control refuses: line 1, column 4 \"\\ETX\"; line 1, "
            "column 7 \"\u00e4\"");
    }
    void check()
    {
        QFETCH(QByteArray, program);
        QFETCH(int, from);
        QFETCH(QString, rule);
        QFETCH(QString, told);
        // "RULE+CODE"
        const CharacterCheck::Report found = CharacterCheck::check(
            Program::fromFile(program), from,
            Vocabulary::characterCheck(rule.section(u'+', 0, 0).toLatin1()).rule,
            Vocabulary::tapeCode(rule.section(u'+', 1).toLatin1()).code);
        QCOMPARE(found.isEmpty(), told.isEmpty());
        if (!told.isEmpty()) QCOMPARE(CharacterCheck::describe("p.nc", found), told);
        if (!told.isEmpty())
            QVERIFY(CharacterCheck::describe({}, found).startsWith("The program has"));
    }
};

QTEST_GUILESS_MAIN(TestChars)
#include "tst_chars.moc"
