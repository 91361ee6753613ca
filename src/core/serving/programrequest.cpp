#include "core/serving/programrequest.h"

#include "core/programs/program.h"

namespace
{
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QList<QByteArrayView> words(QByteArrayView text)
{
    QList<QByteArrayView> out;
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(text[i])) ++i;
        const qsizetype start = i;
        while (i < text.size() && !isBlank(text[i])) ++i;
        if (i > start) out.append(text.sliced(start, i - start));
    }
    return out;
}

bool isRequestWord(QByteArrayView word)
{
    if (word.startsWith('/')) word = word.sliced(1);
    const QByteArray upper = word.toByteArray().toUpper();
    return upper == "SEND" || upper == "REQ" || upper == "GET";
}

// The request in one comment's text, if it is one.
std::optional<ProgramRequest> requestIn(QByteArrayView comment)
{
    const QList<QByteArrayView> w = words(comment);
    if (w.size() < 2 || w.size() > 3 || !isRequestWord(w[0])) return std::nullopt;
    ProgramRequest r;
    r.name = w[1].toByteArray();
    if (!isSafeProgramName(r.name)) {
        r.badName = true;
        for (char &c : r.name)
            if (uchar(c) < 0x21 || uchar(c) > 0x7e) c = '?';
    }
    const QByteArrayView digits = letteredNumber(r.name, 'O');
    r.isNumber = !r.badName && (allDigits(r.name) || !digits.isEmpty());
    if (r.isNumber) r.number = withoutLeadingZeros(digits.isEmpty() ? QByteArrayView(r.name) : digits).toByteArray();
    if (w.size() == 3) {
        if (letteredNumber(w[2], 'N').isEmpty()) return std::nullopt;
        r.block = w[2].toByteArray();
    }
    return r;
}

// The first request among a line's comments: text from "(" to ")".
std::optional<ProgramRequest> requestInLine(QByteArrayView line)
{
    qsizetype open = line.indexOf('(');
    while (open >= 0) {
        const qsizetype close = line.indexOf(')', open + 1);
        if (close < 0) return std::nullopt;
        if (auto r = requestIn(line.sliced(open + 1, close - open - 1))) return r;
        open = line.indexOf('(', close + 1);
    }
    return std::nullopt;
}

// The O-word a line starts with: "O0001" of "O0001 (SEND O12)".
QByteArray leadingProgramNumber(QByteArrayView line)
{
    if (line.size() < 2 || (line[0] != 'O' && line[0] != 'o')) return {};
    qsizetype end = 1;
    while (end < line.size() && isDigit(line[end])) ++end;
    return end > 1 ? line.first(end).toByteArray() : QByteArray();
}

bool isLeader(QByteArrayView line)
{
    for (char c : line)
        if (c != '%') return false;
    return true;
}
} // namespace

std::optional<ProgramRequest> ProgramRequest::parse(const QByteArray &punch)
{
    if (punch.size() > MaxBytes) return std::nullopt;
    const Program program = Program::fromFile(punch);
    std::optional<ProgramRequest> found;
    QByteArray own;
    int lines = 0;
    for (int i = 0; i < program.lineCount(); ++i) {
        const QByteArrayView line = program.line(i).trimmed();
        if (isLeader(line)) continue;
        if (++lines > MaxLines) return std::nullopt;
        if (own.isEmpty()) own = leadingProgramNumber(line);
        if (!found) found = requestInLine(line);
    }
    if (found) found->ownNumber = own;
    return found;
}

QByteArray refusalText(Refusal reason)
{
    switch (reason) {
    case Refusal::NotFound: return "NOT FOUND";
    case Refusal::Ambiguous: return "MORE THAN ONE";
    case Refusal::Busy: return "BUSY";
    case Refusal::NoBlock: return "NO BLOCK";
    case Refusal::TooLarge: return "TOO LARGE";
    case Refusal::BadName: return "BAD NAME";
    }
    return {};
}

QByteArray refusalReply(const ProgramRequest &request, Refusal reason)
{
    QByteArray reply = "%\n";
    if (!letteredNumber(request.ownNumber, 'O').isEmpty()) reply += request.ownNumber + '\n';
    const bool block = reason == Refusal::NoBlock && !request.block.isEmpty();
    const QByteArray &said = block ? request.block : request.name;
    // A name that is not safe is never said back: a "%" in it would end the tape.
    const bool echo = reason != Refusal::BadName && !request.badName && isSafeProgramName(said);
    return reply + '(' + refusalText(reason) + (echo ? ' ' + said : QByteArray()) + ")\n%\n";
}

bool isSafeProgramName(const QByteArray &name)
{
    if (name.isEmpty() || name.contains("..")) return false;
    for (char c : name) {
        const uchar u = uchar(c);
        if (u < 0x21 || u > 0x7e || c == '/' || c == '\\' || c == '(' || c == ')' || c == '%')
            return false;
    }
    return true;
}

QByteArrayView letteredNumber(QByteArrayView word, char letter)
{
    if (word.size() < 2 || (word[0] != letter && word[0] != letter + ('a' - 'A'))) return {};
    return allDigits(word.sliced(1)) ? word.sliced(1) : QByteArrayView();
}

bool allDigits(QByteArrayView text)
{
    if (text.isEmpty()) return false;
    for (char c : text)
        if (!isDigit(c)) return false;
    return true;
}

QByteArrayView withoutLeadingZeros(QByteArrayView digits)
{
    qsizetype i = 0;
    while (i + 1 < digits.size() && digits[i] == '0') ++i;
    return digits.sliced(i);
}
