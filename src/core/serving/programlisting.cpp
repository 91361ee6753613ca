#include "core/serving/programlisting.h"

#include "core/base/ownfiles.h"
#include "core/controls/commentprogram.h"
#include "core/serving/punchstore.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace
{
char upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}
} // namespace

bool matchesPattern(QByteArrayView name, QByteArrayView pattern)
{
    if (pattern.isEmpty()) return true;
    // Each "*" takes as little as it can, and one more character each time
    // what follows it fails: never more than name times pattern steps.
    qsizetype n = 0, p = 0, star = -1, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || upper(pattern[p]) == upper(name[n]))) {
            ++n;
            ++p;
        } else if (star >= 0) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

ProgramListing listPrograms(const QString &folder, QByteArrayView pattern)
{
    const QDir dir(folder);
    QList<QByteArray> names;
    for (const QString &f : dir.entryList(QDir::Files)) {
        const QByteArray name = QFile::encodeName(f);
        const QByteArray base = name.left(name.indexOf('.'));
        if (!isProgramsOwnFile(f) &&
            (matchesPattern(name, pattern) || matchesPattern(base, pattern)))
            names.append(name);
    }
    std::sort(names.begin(), names.end(), [](const QByteArray &a, const QByteArray &b) {
        const QByteArray ua = a.toUpper(), ub = b.toUpper();
        return ua != ub ? ua < ub : a < b;
    });
    ProgramListing listing;
    listing.total = int(names.size());
    for (const QByteArray &name : names.first(qMin(names.size(), ProgramListing::MaxLines))) {
        const QString file = QFile::decodeName(name);
        listing.lines.append(commentText(name) + ' ' +
                             QByteArray::number(QFileInfo(dir.filePath(file)).size()) +
                             (PunchStore::isIncomplete(file) ? " INCOMPLETE" : ""));
    }
    if (listing.total > ProgramListing::MaxLines)
        listing.lines.append("AND " + QByteArray::number(listing.total - ProgramListing::MaxLines) +
                             " MORE");
    return listing;
}
