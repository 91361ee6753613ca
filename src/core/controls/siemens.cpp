// Siemens punched-tape format: each program starts with its header,
// "%_N_SHAFT123_MPF" (name and type), and runs to the next header; there
// is no closing "%".

#include "core/controls/controlfamily.h"

namespace Controls
{
namespace
{
const QByteArrayView Header = "%_N_";
const QByteArrayView Types[] = {"MPF", "SPF"}; // main program first

Verdict headerStarts(QByteArrayView line, bool complete)
{
    return startsWith(line, Header, complete);
}

// The header's name and type as one: "SHAFT123_MPF".
QByteArray headerName(QByteArrayView program)
{
    return savable(wordAt(firstLine(program).sliced(Header.size())));
}

// "SHAFT123" may be any of its types, main program first; "SHAFT123.MPF"
// is SHAFT123_MPF.
QByteArrayList typedNames(QByteArrayView asked)
{
    QByteArrayList names;
    const qsizetype dot = asked.lastIndexOf('.');
    for (const QByteArrayView type : Types) {
        if (dot < 0)
            names << asked.toByteArray() + '_' + type.toByteArray();
        else if (asked.sliced(dot + 1).compare(type, Qt::CaseInsensitive) == 0)
            names << asked.first(dot).toByteArray() + '_' + type.toByteArray();
    }
    return names;
}
} // namespace

const Family siemens{headerStarts, headerStarts, nullptr, nullptr, headerName, typedNames, false};
} // namespace Controls
