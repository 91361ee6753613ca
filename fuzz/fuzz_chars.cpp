// The leader's escapes and the character check from arbitrary bytes: any
// bytes written as escapes read back the same, a text that reads is what
// the lenient reading gives, a bad piece is part of the text; the check
// names only refused bytes, in order, and nothing once they are gone.

#include "core/base/escapedtext.h"
#include "core/programs/charactercheck.h"

#include "check.h"

namespace
{
bool isIso(char c)
{
    return (uchar(c) >= 32 && uchar(c) < 127) || c == '\t';
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    FUZZ_CHECK(EscapedText::decode(EscapedText::encode(bytes)).bytes == bytes);
    const QString text = QString::fromUtf8(bytes);
    const EscapedText::Decoded d = EscapedText::decode(text);
    FUZZ_CHECK(d.ok() ? EscapedText::leniently(text) == d.bytes : text.contains(d.bad));

    const Program program = Program::fromFile(bytes);
    const auto iso = CharacterCheck::check(program, 0, CharacterRule::Iso);
    const auto strict = CharacterCheck::check(program, 0, CharacterRule::StrictComments);
    FUZZ_CHECK(strict.count >= iso.count);
    qsizetype refused = 0;
    QList<QByteArray> cleaned;
    for (int l = 0; l < program.lineCount(); ++l) {
        cleaned.append(QByteArray());
        for (const char c : program.line(l))
            isIso(c) ? void(cleaned.last() += c) : void(++refused);
    }
    // A UTF-8 character of up to four bytes counts once.
    FUZZ_CHECK(iso.count <= refused && iso.count * 4 >= refused);
    for (const auto *report : {&iso, &strict}) {
        FUZZ_CHECK(report->first.size() == qMin<qint64>(report->count, CharacterCheck::Listed));
        for (qsizetype i = 0; i < report->first.size(); ++i) {
            const CharacterCheck::Finding &f = report->first[i];
            FUZZ_CHECK(f.line >= 1 && f.line <= program.lineCount() && f.column >= 1 &&
                       f.column <= program.line(f.line - 1).size() && !f.shown.isEmpty());
            if (i > 0)
                FUZZ_CHECK(std::pair(f.line, f.column) >
                           std::pair(report->first[i - 1].line, report->first[i - 1].column));
            if (report == &iso) FUZZ_CHECK(!isIso(program.line(f.line - 1)[f.column - 1]));
        }
    }
    FUZZ_CHECK(CharacterCheck::check(Program::fromLines(cleaned), 0, CharacterRule::Iso).isEmpty());
    return 0;
}
