// Okuma: "$BORE1.MIN%" starts a program named BORE1 (".MIN" its type, the
// "%" the end of the name line), a "%" line ends it, and "%%" the transfer.

#include "core/controls/controlfamily.h"

namespace Controls
{
namespace
{
const QByteArrayView Types[] = {"MIN", "SUB", "SSB", "LIB"};

Verdict dollarStarts(QByteArrayView line, bool)
{
    return line.startsWith('$') ? Verdict::Yes : Verdict::No;
}

// A "%" at the start of a line; the one that ends the name line does not.
bool percentLine(char c, QByteArrayView line)
{
    return c == '%' && line.size() == 1;
}

QByteArray dollarName(QByteArrayView program)
{
    return savable(wordAt(firstLine(program).sliced(1), ".%"));
}

// "BORE1.MIN" was saved as BORE1.
QByteArrayList untyped(QByteArrayView asked)
{
    const qsizetype dot = asked.lastIndexOf('.');
    for (const QByteArrayView type : Types)
        if (dot > 0 && asked.sliced(dot + 1).compare(type, Qt::CaseInsensitive) == 0)
            return {asked.first(dot).toByteArray()};
    return {};
}
} // namespace

const Family okuma{dollarStarts, nullptr, percentLine, nullptr, dollarName, untyped, true};
} // namespace Controls
