#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// What "(LIST)" or "(LIST O1*)" answers: the programs in a machine's folder
// (never its sub-folders) that the pattern matches, one comment line each,
// the name and its size in bytes, "O1234.nc 2345", sorted by name, letter
// case ignored. Earlier versions are listed (O12.1.nc: each can be asked
// for by its whole name), and so is a punch cut off, marked INCOMPLETE, so
// that the operator sees it; the temporary files of saves never are. Names
// are shown as commentText() shows them ("?" for a byte a comment cannot
// hold).
struct ProgramListing {
    // Programs listed at the most; a last line says how many more matched.
    static constexpr int MaxLines = 200;
    QList<QByteArray> lines; // "O12.nc 40", …, then "AND 51 MORE"
    int total = 0;           // how many matched
};
// `pattern` matches a whole name or the name before its first dot ("O12"
// lists O12.nc and O12.1.nc), "*" any run of characters, "?" any one, letter
// case ignored; an empty pattern matches every name.
ProgramListing listPrograms(const QString &folder, QByteArrayView pattern);
bool matchesPattern(QByteArrayView name, QByteArrayView pattern);
