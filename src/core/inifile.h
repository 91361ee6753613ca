#pragma once

#include "core/machinetable.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The text of zoZad.ini: one section "[MC<n>]" per machine with its twenty
// "KEY=value" lines, an empty line after each section and one more at the
// end. The rules of reading are lenient (keys in any order, CR, LF or CR LF
// line ends, defaults for what is missing); writing always gives the same
// bytes for the same table.
namespace IniFile
{
inline constexpr const char *NoSection = "NO_MC";
inline constexpr const char *NoValue = "NOINIVAL";

// The file's lines, whatever its line ends.
QStringList lines(const QByteArray &content);
// One key of one section ("[MC1]", "MCPORT"): the rest of its line after
// the key and the one character that follows it, or NoSection / NoValue.
QString lookup(const QStringList &lines, const QString &section, const QString &key);
// Every machine, up to the first section without a name. A folder that is
// empty or "Unused" becomes `appPath`.
MachineTable parse(const QByteArray &content, const QString &appPath);
// The file for a table, leaving machine `skip` out (0: none); the machines
// after it move down by one.
QByteArray serialise(const MachineTable &table, int skip = 0);
} // namespace IniFile
