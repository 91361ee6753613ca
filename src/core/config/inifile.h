#pragma once

#include "core/config/machinetable.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The text of zoZad.ini: one section "[MC<n>]" per machine with its twenty
// "KEY=value" lines (and after them the later keys a machine has set), an
// empty line after each section and one more at the end. Reading is
// lenient (keys in any order, CR, LF or CR LF line ends, blanks around a
// section header, defaults for what is missing) and works
// on bytes, so a value comes back exactly as it was; writing always gives
// the same bytes for the same table.
namespace IniFile
{
inline constexpr const char *NoSection = "NO_MC";
inline constexpr const char *NoValue = "NOINIVAL";

// The file's lines, whatever its line ends.
QList<QByteArray> lines(const QByteArray &content);
// One key of one section ("[MC1]", "MCPORT"), by the same rules as parse():
// the rest of its line after the key and the one character that follows
// it, or NoSection / NoValue.
QByteArray lookup(const QList<QByteArray> &lines, const QByteArray &section,
                  const QByteArray &key);
// Every machine, up to the first section without a name. A folder that is
// empty or "Unused" becomes `appPath`. One pass over the bytes, keeping
// only the values it needs.
MachineTable parse(const QByteArray &content, const QString &appPath);
// The file for a table, leaving machine `skip` out (0: none); the machines
// after it move down by one. A line break inside a value is written as a
// blank, so that a value can never split its line or forge a header.
QByteArray serialise(const MachineTable &table, int skip = 0);
} // namespace IniFile
