#pragma once

#include "core/serving/programrequest.h"

#include <QString>
#include <QStringList>

// The file a request asks for, found in the machine's folder (never in its
// sub-folders), trying in turn, each only when the one before found none:
// the name itself, the name with the machine's extension, and for a program
// number, any file whose name before its first "." is that number with or
// without "O", leading zeros ignored (O0012, O12.NC, 12.TXT), except the
// earlier versions the punch store keeps (O12.1.NC). Punches cut off
// (O12.partial.NC) and the temporary files of saves (O12.NC.tmp-x3Kq9Z)
// are never found, not even by their own name. Letter case is ignored
// throughout. More than one file at the step that finds any is
// ambiguous: the machine is not sent a guess.
struct ProgramLookup
{
    enum class Outcome { Found, NotFound, Ambiguous };
    Outcome outcome = Outcome::NotFound;
    QString path;           // Found: the file
    QStringList candidates; // Ambiguous: the files that matched, by name
};
// `extension` is the machine's setting, read as ProgramExtension reads it.
// Only names listed in the folder are ever opened, and a name that could
// leave the folder is not looked for.
ProgramLookup findProgram(const QString &folder, const ProgramRequest &request,
                          const QString &extension);

// The bytes that start a program at a block: its header (the lines before
// its first numbered block: "%", its O-number, its comments) and then the
// program from the first line numbered `block` ("N2310"; N02310 is the same
// block) to its end, every byte and line end as in the program. A line's
// block number is "N" and digits at its start, after blanks and a block
// delete "/". None when no line has that number.
std::optional<QByteArray> restartAtBlock(const QByteArray &program, QByteArrayView block);
// The digits of a line's block number ("N" and digits at its start, after
// blanks and a block delete "/"), empty when it has none.
QByteArrayView blockNumber(QByteArrayView line);
