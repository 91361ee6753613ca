#pragma once

#include <QString>

// A served machine's program extension (MCEXTENS), read by one rule wherever
// its files are named or looked for: blanks around it and one leading dot
// do not count; what is left is words of letters, digits, "_" and "-" with
// a dot between two, at most MaxLength characters ("nc", ".nc", "tap.nc").
// Files end in it with its dot: ".nc", ".tap.nc". Empty, it is ".nc".
namespace ProgramExtension
{
inline constexpr int MaxLength = 16;

// The ending of the machine's files: ".nc" for a setting that is empty or
// not an extension.
QString of(const QString &setting);
// True when `setting` is empty or an extension.
bool isValid(const QString &setting);
} // namespace ProgramExtension
