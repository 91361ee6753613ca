// Characters the control needs and refuses: the leader's and trailer's
// escapes, and the check of a program against the machine's rule.

#include "core/base/escapedtext.h"
#include "core/programs/charactercheck.h"

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
    }
    void check()
    {
        QFETCH(QByteArray, program);
        QFETCH(int, from);
        QFETCH(QString, rule);
        QFETCH(QString, told);
        const CharacterCheck::Report found = CharacterCheck::check(
            Program::fromFile(program), from, Vocabulary::characterCheck(rule.toLatin1()).rule);
        QCOMPARE(found.isEmpty(), told.isEmpty());
        if (!told.isEmpty()) QCOMPARE(CharacterCheck::describe("p.nc", found), told);
        if (!told.isEmpty())
            QVERIFY(CharacterCheck::describe({}, found).startsWith("The program has"));
    }
};

QTEST_GUILESS_MAIN(TestChars)
#include "tst_chars.moc"
