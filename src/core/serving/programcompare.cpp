#include "core/serving/programcompare.h"

#include "core/controls/commentprogram.h"
#include "core/programs/program.h"
#include "core/programs/programqueue.h"
#include "core/serving/programextension.h"
#include "core/serving/programlookup.h"
#include "core/serving/punchstore.h"

namespace
{
struct Line {
    QByteArray counted; // what counts of it
    QByteArrayView text;
    int number; // its line in the program, from 1
};

// The lines that count, each with what counts of it.
QList<Line> countedLines(const Program &program)
{
    QList<Line> out;
    for (int i = 0; i < program.lineCount(); ++i) {
        const QByteArrayView text = program.line(i);
        QByteArray counted;
        for (char c : text)
            if (c != ' ' && c != '\t' && c != '\0' && !(c >= 17 && c <= 20)) counted += c;
        if (!counted.isEmpty() && counted.count('%') != counted.size())
            out.append({counted, text, i + 1});
    }
    return out;
}

QByteArray shown(QByteArrayView text)
{
    QByteArray line = commentText(text.trimmed());
    if (line.size() > Comparison::MaxShown) line = line.first(Comparison::MaxShown - 3) + "...";
    return line;
}

// "N120" of the line; none for a number no control writes, so that the
// answer stays short.
QByteArray blockOf(const QList<Line> &lines, qsizetype i)
{
    const QByteArrayView digits = i < lines.size() ? blockNumber(lines[i].text) : QByteArrayView();
    return digits.isEmpty() || digits.size() > 9 ? QByteArray() : 'N' + digits.toByteArray();
}
} // namespace

Comparison comparePrograms(const QByteArray &punch, const QByteArray &program)
{
    const Program p = Program::fromFile(punch), f = Program::fromFile(program);
    const QList<Line> got = countedLines(p), kept = countedLines(f);
    qsizetype i = 0;
    while (i < got.size() && i < kept.size() && got[i].counted == kept[i].counted)
        ++i;
    if (i == got.size() && i == kept.size()) return {"SAME", {}};
    if (i == got.size()) return {"DIFFERS AT END: MISSING " + shown(kept[i].text), {}};
    QByteArray where = blockOf(got, i);
    if (where.isEmpty()) where = blockOf(kept, i);
    if (where.isEmpty()) where = "LINE " + QByteArray::number(got[i].number);
    return {"DIFFERS AT " + where + ": " + shown(got[i].text), {}};
}

Comparison compareWithFolder(const QString &folder, const QString &extension,
                             const QByteArray &punch, qint64 maxBytes)
{
    // A name that changes with the time is no program's own.
    const QDateTime one(QDate(2000, 1, 1), QTime(0, 0)), other = one.addSecs(61);
    const QString name = PunchStore::fileName(punch, extension, one);
    if (name != PunchStore::fileName(punch, extension, other)) return {"NO NAME", {}};
    const QString ext = ProgramExtension::of(extension);
    const ProgramRequest request = ProgramRequest::named(
        name.endsWith(ext) ? name.chopped(ext.size()).toLatin1() : name.toLatin1());
    const ProgramLookup found = findProgram(folder, request, extension);
    if (found.outcome != ProgramLookup::Outcome::Found)
        return {refusalLine(request, found.outcome == ProgramLookup::Outcome::Ambiguous
                                         ? Refusal::Ambiguous
                                         : Refusal::NotFound),
                {}};
    const ProgramFile file = ProgramFile::read(found.path, maxBytes);
    if (!file.reason.isEmpty())
        return {refusalLine(request, file.tooLarge ? Refusal::TooLarge : Refusal::NotFound), {}};
    Comparison c = comparePrograms(punch, file.bytes);
    c.file = found.path;
    return c;
}
