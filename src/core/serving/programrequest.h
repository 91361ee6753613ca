#pragma once

#include "core/controls/commentprogram.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// What the operator asks for from the machine's control: a short punched
// program whose comment, "( … )" or after ";", names a program,
// "(SEND O1234)", "(/REQ 1234)", "(GET FLANGE.NC)", ";SEND SHAFT123",
// optionally with the block to start at, "(SEND O1234 N2310)"; asks for a
// listing of the folder, "(LIST)", "(LIST O1*)"; or marks the next punch to
// be compared, "(COMPARE)". It may come in any family's framing, a Siemens
// "%_N_REQ_MPF" file, a Heidenhain BEGIN PGM … END PGM program: its answer
// goes back in the same. Everything is bytes, one byte per character.
struct ProgramRequest
{
    // A punch longer than this, in bytes or in lines other than leader,
    // blanks and the framing's own lines (a Siemens header and path,
    // Heidenhain's BEGIN PGM and END PGM, Okuma's name line), is a program to
    // keep, never a request: a real program that happens to hold such a
    // comment is not mistaken for one.
    static constexpr int MaxBytes = 512;
    static constexpr int MaxLines = 5;

    enum class Kind { Send, List, Compare };

    // The request a punch holds, if it is one: the first comment whose first
    // word is SEND, REQ or GET (any case, "/" before it allowed), then the
    // name, then at most a block number; or LIST and at most a pattern; or
    // COMPARE alone. A name (or pattern) that could leave the machine's
    // folder or break the reply's comment still makes a request, one with a
    // bad name: it is answered, never looked for.
    static std::optional<ProgramRequest> parse(const QByteArray &punch);
    // A request for `name` as if punched, "(GET name)".
    static ProgramRequest named(QByteArray name);

    Kind kind = Kind::Send;
    // As punched: "O1234", "1234", "FLANGE.NC"; a listing's pattern, "O1*",
    // or empty for all.
    QByteArray name;
    // Not a safe name: `name` then shows it printable, "?" for each byte
    // outside "!" to "~", only to be told.
    bool badName = false;
    bool isNumber = false; // "O1234" or "1234"
    QByteArray number;     // its digits without leading zeros: "12" for O0012
    QByteArray block;      // "N2310" as punched, or empty: start there
    // How it came (its own name: "O0001", "<REQ>", "REQ_MPF"): the answer
    // goes back the same way.
    ProgramFrame frame;

    // What was asked, for the log: "O1234", "LIST O1*", "LIST", "COMPARE".
    QByteArray asked() const;
};

// Why a request is not served, and the words its reply says it with.
enum class Refusal { NotFound, Ambiguous, Busy, NoBlock, TooLarge, BadName };
QByteArray refusalText(Refusal reason);

// The short program sent back instead, in the request's framing (see
// commentProgram): "%", the request's own O-number if it had one,
// "(NOT FOUND O1234)" (the block for NoBlock, nothing for BadName) and "%";
// ";NOT FOUND SHAFT123" in a Siemens file. Only a comment: nothing in it
// moves the machine, and no byte but printable ASCII: a name that is not
// safe is never echoed.
QByteArray refusalReply(const ProgramRequest &request, Refusal reason);
// The words of a refusal: "NOT FOUND O1234".
QByteArray refusalLine(const ProgramRequest &request, Refusal reason);

// A name from the machine that stays inside the folder and that a reply's
// comment can hold: printable ASCII only ("!" to "~"), no "/", "\", "..",
// "(" or ")", and no "%", which a control reads as the end of the tape.
bool isSafeProgramName(const QByteArray &name);

// The words of a program number or a block number, read the same way by the
// request, the folder's lookup and the restart.
inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
// Digits of "O0012" read with letter 'O' (either case): "0012"; empty when
// the word is not that letter followed by digits only.
QByteArrayView letteredNumber(QByteArrayView word, char letter);
bool allDigits(QByteArrayView text);
// "0012" -> "12", "000" -> "0": numbers compared without their zeros, so
// N02310 is N2310 however many digits either has.
QByteArrayView withoutLeadingZeros(QByteArrayView digits);
