#pragma once

#include "core/config/vocabulary.h"
#include "core/programs/program.h"

#include <QList>
#include <QString>

// The characters of a program its machine's control would refuse, found
// before the first byte goes out: under either rule anything but printable
// ASCII, tab and line ends; under the strict one also lower case and
// " , ; ! @ $ ^ & _ { } | \ < > ? ' inside "( ... )" comments, which some
// controls raise an alarm for. A character written in UTF-8 (an "ä" from an
// editor) counts once, at the column of its first byte: columns count bytes,
// as the code window has them.
namespace CharacterCheck
{
struct Finding {
    int line = 0;   // from 1, as the code window numbers them
    int column = 0; // from 1
    QString shown;  // "ä", "\ETX", "\x85"
    bool noTapeCode = false; // refused only for having no code in the machine's tape code
    bool operator==(const Finding &) const = default;
};
struct Report {
    qint64 count = 0;     // every character found
    QList<Finding> first; // the first of them, at most Listed
    bool isEmpty() const { return count == 0; }
};
inline constexpr int Listed = 10;

// The lines of `program` from `startLine` (0-based) on: what a send sends.
// Under the EIA tape code a character EIA has no code for is refused too,
// whatever the rule (lower case among them: EIA has one case).
Report check(const Program &program, int startLine, CharacterRule rule,
             TapeCode code = TapeCode::Iso);
// "O1234.nc has 3 characters the control refuses: line 12, column 7 "ä";
// line 14, column 1 "\ETX"; line 20, column 9 "a"", a character refused
// only for its tape code marked "(no EIA code)", with "and N more"
// after the first Listed. `name` is the program's file name, empty for one
// no file holds.
QString describe(const QString &name, const Report &report);
} // namespace CharacterCheck
