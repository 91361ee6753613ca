#include "core/serving/programrequest.h"

#include "core/programs/program.h"

namespace
{
// The request in one comment's text, if it is one.
std::optional<ProgramRequest> requestIn(QByteArrayView comment)
{
    const QList<QByteArrayView> w = wordsOf(comment);
    if (w.isEmpty()) return std::nullopt;
    const QByteArray word = (w[0].startsWith('/') ? w[0].sliced(1) : w[0]).toByteArray().toUpper();
    if (word == "COMPARE" && w.size() == 1) {
        ProgramRequest r;
        r.kind = ProgramRequest::Kind::Compare;
        return r;
    }
    if (word == "LIST" && w.size() <= 2) {
        ProgramRequest r = ProgramRequest::named(w.size() == 2 ? w[1].toByteArray() : QByteArray());
        r.badName = w.size() == 2 && r.badName;
        r.isNumber = false;
        r.number.clear();
        r.kind = ProgramRequest::Kind::List;
        return r;
    }
    if ((word != "SEND" && word != "REQ" && word != "GET") || w.size() < 2 || w.size() > 3)
        return std::nullopt;
    ProgramRequest r = ProgramRequest::named(w[1].toByteArray());
    if (w.size() == 3) {
        if (letteredNumber(w[2], 'N').isEmpty()) return std::nullopt;
        r.block = w[2].toByteArray();
    }
    return r;
}

// The first request among a line's comments: text from "(" to ")", then
// what follows a ";" outside them (`semicolon` then set).
std::optional<ProgramRequest> requestInLine(QByteArrayView line, bool &semicolon)
{
    qsizetype open = line.indexOf('(');
    qsizetype from = 0;
    while (open >= 0) {
        if (const qsizetype semi = line.indexOf(';', from); semi >= 0 && semi < open) break;
        const qsizetype close = line.indexOf(')', open + 1);
        if (close < 0) return std::nullopt;
        if (auto r = requestIn(line.sliced(open + 1, close - open - 1))) return r;
        from = close + 1;
        open = line.indexOf('(', from);
    }
    const qsizetype semi = line.indexOf(';', from);
    if (semi < 0) return std::nullopt;
    semicolon = true;
    return requestIn(line.sliced(semi + 1));
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
    ProgramFrame frame;
    bool semicolon = false;
    int lines = 0;
    for (int i = 0; i < program.lineCount(); ++i) {
        const QByteArrayView line = program.line(i).trimmed();
        if (isLeader(line) || frame.read(line)) continue;
        if (++lines > MaxLines) return std::nullopt;
        if (!found) found = requestInLine(line, semicolon);
    }
    if (!found) return std::nullopt;
    if (semicolon && frame.syntax == ControlSyntax::Fanuc) frame.syntax = ControlSyntax::Semicolon;
    found->frame = frame;
    return found;
}

ProgramRequest ProgramRequest::named(QByteArray name)
{
    ProgramRequest r;
    r.name = std::move(name);
    if (!isSafeProgramName(r.name)) {
        r.badName = true;
        for (char &c : r.name)
            if (uchar(c) < 0x21 || uchar(c) > 0x7e) c = '?';
    }
    const QByteArrayView digits = letteredNumber(r.name, 'O');
    r.isNumber = !r.badName && (allDigits(r.name) || !digits.isEmpty());
    if (r.isNumber)
        r.number =
            withoutLeadingZeros(digits.isEmpty() ? QByteArrayView(r.name) : digits).toByteArray();
    return r;
}

QByteArray ProgramRequest::asked() const
{
    if (kind == Kind::Compare) return "COMPARE";
    if (kind == Kind::List) return name.isEmpty() ? "LIST" : "LIST " + name;
    return name;
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

QByteArray refusalLine(const ProgramRequest &request, Refusal reason)
{
    const bool block = reason == Refusal::NoBlock && !request.block.isEmpty();
    const QByteArray &said = block ? request.block : request.name;
    // A name that is not safe is never said back: a "%" in it would end the tape.
    const bool echo = reason != Refusal::BadName && !request.badName && isSafeProgramName(said);
    return refusalText(reason) + (echo ? ' ' + said : QByteArray());
}

QByteArray refusalReply(const ProgramRequest &request, Refusal reason)
{
    return commentProgram(request.frame, {refusalLine(request, reason)});
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
