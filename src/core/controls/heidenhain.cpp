// Heidenhain plain language: "0 BEGIN PGM 100 MM" (numbered lines from 0)
// to the line "57 END PGM 100 MM", inclusive.

#include "core/controls/controlfamily.h"

namespace Controls
{
namespace
{
// What follows the line number and `words` ("BEGIN PGM") on `line`, or
// `verdict` why not.
QByteArrayView afterNumber(QByteArrayView line, QByteArrayView words, bool complete,
                           Verdict *verdict)
{
    qsizetype digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    const QByteArrayView rest = skipBlanks(line.sliced(digits));
    *verdict = Verdict::No;
    if (digits == 0) return {};
    if (rest.size() == line.size() - digits) {
        // No blank after the number yet.
        *verdict = rest.isEmpty() && !complete ? Verdict::NeedMore : Verdict::No;
        return {};
    }
    *verdict = startsWith(rest, words, complete);
    return *verdict == Verdict::Yes ? rest.sliced(words.size()) : QByteArrayView();
}

Verdict beginStarts(QByteArrayView line, bool complete)
{
    Verdict verdict = Verdict::No;
    afterNumber(line, "BEGIN PGM", complete, &verdict);
    return verdict;
}

QByteArrayView nameAfter(QByteArrayView line, QByteArrayView words)
{
    Verdict verdict = Verdict::No;
    const QByteArrayView rest = afterNumber(line, words, true, &verdict);
    return verdict == Verdict::Yes ? wordAt(skipBlanks(rest)) : QByteArrayView();
}

bool endPgm(QByteArrayView line, QByteArrayView program)
{
    const QByteArrayView name = nameAfter(firstLine(program), "BEGIN PGM");
    return !name.isEmpty() && nameAfter(line, "END PGM") == name;
}

QByteArray pgmName(QByteArrayView program)
{
    return savable(nameAfter(firstLine(program), "BEGIN PGM"));
}

// "100.H" was saved as 100.
QByteArrayList untyped(QByteArrayView asked)
{
    if (asked.size() > 2 && asked.sliced(asked.size() - 2).compare(".H", Qt::CaseInsensitive) == 0)
        return {asked.chopped(2).toByteArray()};
    return {};
}
} // namespace

const Family heidenhain{beginStarts, beginStarts, nullptr, endPgm, pgmName, untyped, false};
} // namespace Controls
