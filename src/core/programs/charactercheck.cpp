#include "core/programs/charactercheck.h"

#include "core/base/escapedtext.h"
#include "core/tapecode/eiacode.h"

#include <QStringList>

namespace
{
constexpr uchar kTab = 9;
constexpr uchar kDel = 127;

bool isIso(uchar b)
{
    return (b >= 32 && b < kDel) || b == kTab;
}

// What the strict controls refuse inside a comment.
bool refusedInComment(uchar b)
{
    static constexpr QByteArrayView kRefused = "\",;!@$^&_{}|\\<>?'";
    return (b >= 'a' && b <= 'z') || kRefused.contains(char(b));
}

// The bytes of the UTF-8 character at `i` when it is one of two bytes or
// more; 1 for a byte that stands alone.
qsizetype characterLength(QByteArrayView line, qsizetype i)
{
    const uchar lead = uchar(line[i]);
    const qsizetype n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
    if (n == 1 || i + n > line.size()) return 1;
    return line.sliced(i, n).isValidUtf8() ? n : 1;
}

// How a refused character is named: as the editor shows it, a control
// character by its escape.
QString shown(QByteArrayView character)
{
    if (character.size() > 1) return QString::fromUtf8(character);
    const uchar b = uchar(character[0]);
    if (b < 32 || (b >= kDel && b < 0xA0)) return EscapedText::encode(character);
    return QChar(b);
}
} // namespace

CharacterCheck::Report CharacterCheck::check(const Program &program, int startLine,
                                             CharacterRule rule, TapeCode code)
{
    Report report;
    const bool eia = code == TapeCode::Eia;
    if (rule == CharacterRule::Off && !eia) return report;
    const bool strict = rule == CharacterRule::StrictComments;
    for (int l = qMax(0, startLine); l < program.lineCount(); ++l) {
        const QByteArrayView line = program.line(l);
        bool comment = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const uchar b = uchar(line[i]);
            bool byRule = rule != CharacterRule::Off;
            if (isIso(b)) {
                const bool opens = !comment && b == '(', closes = comment && b == ')';
                comment = (comment || opens) && !closes;
                byRule = strict && comment && !opens && refusedInComment(b);
            }
            const bool noCode = eia && !EiaCode::hasCode(b);
            if (!byRule && !noCode) continue;
            const qsizetype length = isIso(b) ? 1 : characterLength(line, i);
            if (++report.count <= Listed)
                report.first.append({l + 1, int(i + 1), shown(line.sliced(i, length)), !byRule});
            i += length - 1;
        }
    }
    return report;
}

QString CharacterCheck::describe(const QString &name, const Report &report)
{
    QStringList found;
    for (const Finding &f : report.first)
        found << QStringLiteral("line %1, column %2 \"%3\"%4")
                     .arg(QString::number(f.line), QString::number(f.column), f.shown,
                          f.noTapeCode ? QStringLiteral(" (no EIA code)") : QString());
    if (report.count > report.first.size())
        found << QStringLiteral("and %1 more").arg(report.count - report.first.size());
    // In one pass: a file name may hold "%2".
    return QStringLiteral("%1 has %2 character%3 the control refuses: %4")
        .arg(name.isEmpty() ? QStringLiteral("The program") : name, QString::number(report.count),
             report.count == 1 ? QString() : QStringLiteral("s"), found.join(QStringLiteral("; ")));
}
