#include "core/controls/controlfamily.h"

namespace Controls
{
namespace
{
// In the order their starts are tried; a line only one of them claims.
const Family *const all[] = {&siemens, &percentTape, &okuma, &heidenhain, &plainBlocks};

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}
} // namespace

const Family *familyStarting(QByteArrayView line, bool complete, Verdict *verdict)
{
    bool more = false;
    for (const Family *family : all) {
        const Verdict v = family->starts(line, complete);
        if (v == Verdict::Yes) {
            *verdict = Verdict::Yes;
            return family;
        }
        more = more || v == Verdict::NeedMore;
    }
    *verdict = more && !complete && line.size() < MaxJudged ? Verdict::NeedMore : Verdict::No;
    return nullptr;
}

QByteArray programName(QByteArrayView program)
{
    const QByteArrayView line = firstLine(program);
    Verdict verdict = Verdict::No;
    const Family *family = familyStarting(line.first(qMin(line.size(), MaxJudged)), true, &verdict);
    return family ? family->name(program.sliced(line.data() - program.data())) : QByteArray();
}

QByteArrayList savedNamesOf(QByteArrayView asked)
{
    QByteArrayList names;
    for (const Family *family : all) {
        if (!family->savedAs) continue;
        for (const QByteArray &name : family->savedAs(asked))
            if (isSavableName(name) && !names.contains(name)) names << name;
    }
    return names;
}

bool isSavableName(QByteArrayView name)
{
    if (name.isEmpty() || name.size() > MaxName) return false;
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

QByteArray savable(QByteArrayView name)
{
    return isSavableName(name) ? name.toByteArray() : QByteArray();
}

Verdict startsWith(QByteArrayView line, QByteArrayView head, bool complete)
{
    if (line.startsWith(head)) return Verdict::Yes;
    return !complete && head.startsWith(line) ? Verdict::NeedMore : Verdict::No;
}

QByteArrayView skipBlanks(QByteArrayView line)
{
    qsizetype i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    return line.sliced(i);
}

QByteArrayView firstLine(QByteArrayView program)
{
    qsizetype i = 0;
    while (i < program.size() &&
           (program[i] == '\0' || (program[i] >= 17 && program[i] <= 20) || isLineEnd(program[i])))
        ++i;
    qsizetype end = i;
    while (end < program.size() && !isLineEnd(program[end]))
        ++end;
    return program.sliced(i, end - i);
}

QByteArrayView wordAt(QByteArrayView text, QByteArrayView stops)
{
    qsizetype end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t' && !isLineEnd(text[end]) &&
           !stops.contains(text[end]))
        ++end;
    return text.first(end);
}
} // namespace Controls
