// The programs of most controls (ISO code with "%" framing), and any
// other program that starts like one.

#include "core/controls/controlfamily.h"

namespace Controls
{
namespace
{
constexpr int MaxDigits = 12;

// "O" and its digits (leading zeros kept) at the start of the first line
// that is not only "%" and blanks, or the name in "<FLANGE-A>" there.
QByteArray isoName(QByteArrayView program)
{
    static const QByteArray before("\0\x11\x12\x13\x14\r\n \t%", 10);
    qsizetype i = 0;
    while (i < program.size() && before.contains(program[i]))
        ++i;
    const QByteArrayView rest = program.sliced(i);
    if (rest.startsWith('<')) {
        const qsizetype close = rest.first(qMin(rest.size(), MaxName + 2)).indexOf('>');
        return close < 0 ? QByteArray() : savable(rest.sliced(1, close - 1));
    }
    if (!rest.startsWith('O')) return {};
    qsizetype digits = 0;
    while (1 + digits < rest.size() && digits <= MaxDigits && rest[1 + digits] >= '0' &&
           rest[1 + digits] <= '9')
        ++digits;
    return digits == 0 || digits > MaxDigits ? QByteArray() : rest.first(1 + digits).toByteArray();
}

// A lone "%" line may still turn out a Siemens header.
Verdict percentStarts(QByteArrayView line, bool complete)
{
    if (!line.startsWith('%')) return Verdict::No;
    switch (startsWith(line, "%_N_", complete)) {
    case Verdict::Yes:
        return Verdict::No;
    case Verdict::NeedMore:
        return Verdict::NeedMore;
    case Verdict::No:
        return Verdict::Yes;
    }
    return Verdict::No;
}

bool percentEnds(char c, QByteArrayView)
{
    return c == '%';
}

bool isWordValue(char c)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == '#';
}

Verdict plainStarts(QByteArrayView whole, bool complete)
{
    const QByteArrayView line = skipBlanks(whole);
    if (line.isEmpty()) return complete ? Verdict::No : Verdict::NeedMore;
    const char c = line[0];
    if (QByteArrayView("(;:</#").contains(c)) return Verdict::Yes;
    if (c < 'A' || c > 'Z') return Verdict::No;
    if (line.size() == 1) return complete ? Verdict::No : Verdict::NeedMore;
    return isWordValue(line[1]) ? Verdict::Yes : Verdict::No;
}
} // namespace

const Family percentTape{percentStarts, nullptr, percentEnds, nullptr, isoName, nullptr, false};
const Family plainBlocks{plainStarts, nullptr, nullptr, nullptr, isoName, nullptr, false};
} // namespace Controls
