#include "core/serving/programlookup.h"

#include "core/base/ownfiles.h"
#include "core/controls/controlfamily.h"
#include "core/serving/programextension.h"
#include "core/serving/punchstore.h"

#include <QDir>

#include <functional>

namespace
{
// The files of the folder that `matches` accepts, by name.
QStringList filesWhere(const QStringList &files, const std::function<bool(const QString &)> &matches)
{
    QStringList out;
    for (const QString &f : files)
        if (matches(f)) out.append(f);
    return out;
}

// The punch store's earlier versions (O1234.1.nc) are history, never a
// program asked for by its number.
bool isNumbered(const QString &file, QByteArrayView number)
{
    if (PunchStore::isEarlierVersion(file)) return false;
    const QByteArray base = file.left(file.indexOf(u'.')).toLatin1();
    const QByteArrayView digits = allDigits(base) ? QByteArrayView(base) : letteredNumber(base, 'O');
    return !digits.isEmpty() && withoutLeadingZeros(digits) == number;
}

} // namespace

QByteArrayView blockNumber(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == '/') ++i;
    if (i >= line.size() || (line[i] != 'N' && line[i] != 'n')) return {};
    const qsizetype start = ++i;
    while (i < line.size() && isDigit(line[i])) ++i;
    return line.sliced(start, i - start);
}

ProgramLookup findProgram(const QString &folder, const ProgramRequest &request,
                          const QString &extension)
{
    ProgramLookup result;
    if (request.badName || !isSafeProgramName(request.name)) return result;
    const QString ext = ProgramExtension::of(extension);
    const QDir dir(folder);
    QStringList files = dir.entryList(QDir::Files, QDir::Name);
    // A punch cut off is never taken for the program it began, nor a save's
    // temporary file for the program it was to become.
    files.removeIf([](const QString &f) {
        return PunchStore::isIncomplete(f) || isProgramsOwnFile(f);
    });
    const QString name = QString::fromLatin1(request.name);
    const auto named = [](const QString &wanted) {
        return [wanted](const QString &f) { return f.compare(wanted, Qt::CaseInsensitive) == 0; };
    };
    QStringList found = filesWhere(files, named(name));
    if (found.isEmpty()) found = filesWhere(files, named(name + ext));
    // Then the names the controls' families save such a program under.
    for (const QByteArray &saved : Controls::savedNamesOf(request.name)) {
        if (!found.isEmpty()) break;
        found = filesWhere(files, named(QString::fromLatin1(saved) + ext));
    }
    if (found.isEmpty() && request.isNumber)
        found = filesWhere(files, [&](const QString &f) { return isNumbered(f, request.number); });
    if (found.isEmpty()) return result;
    for (const QString &f : found) result.candidates.append(dir.filePath(f));
    if (found.size() == 1) {
        result.outcome = ProgramLookup::Outcome::Found;
        result.path = result.candidates.takeFirst();
    } else {
        result.outcome = ProgramLookup::Outcome::Ambiguous;
    }
    return result;
}

std::optional<QByteArray> restartAtBlock(const QByteArray &program, QByteArrayView block)
{
    const QByteArrayView wanted = withoutLeadingZeros(letteredNumber(block, 'N'));
    if (wanted.isEmpty()) return std::nullopt;
    const qsizetype n = program.size();
    qsizetype headerEnd = -1;
    for (qsizetype start = 0; start < n;) {
        qsizetype end = start;
        while (end < n && program[end] != '\r' && program[end] != '\n') ++end;
        const QByteArrayView number = blockNumber(QByteArrayView(program).sliced(start, end - start));
        if (!number.isEmpty()) {
            if (headerEnd < 0) headerEnd = start;
            if (withoutLeadingZeros(number) == wanted) return program.first(headerEnd) + program.sliced(start);
        }
        if (end + 1 < n && program[end] == '\r' && program[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return std::nullopt;
}
