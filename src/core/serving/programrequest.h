#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// A program the operator asks for from the machine's control: a short
// punched program whose comment names it, "(SEND O1234)", "(/REQ 1234)",
// "(GET FLANGE.NC)", optionally with the block to start at,
// "(SEND O1234 N2310)". Everything is bytes, one byte per character.
struct ProgramRequest
{
    // A punch longer than this, in bytes or in lines other than leader and
    // blanks, is a program to keep, never a request: a real program that
    // happens to hold such a comment is not mistaken for one.
    static constexpr int MaxBytes = 512;
    static constexpr int MaxLines = 5;

    // The request a punch holds, if it is one: the first comment whose first
    // word is SEND, REQ or GET (any case, "/" before it allowed), then the
    // name, then at most a block number. A name that could leave the
    // machine's folder or break the reply's comment still makes a request,
    // one with a bad name: it is answered, never looked for.
    static std::optional<ProgramRequest> parse(const QByteArray &punch);

    QByteArray name;       // as punched: "O1234", "1234", "FLANGE.NC"
    // Not a safe name: `name` then shows it printable, "?" for each byte
    // outside "!" to "~", only to be told.
    bool badName = false;
    bool isNumber = false; // "O1234" or "1234"
    QByteArray number;     // its digits without leading zeros: "12" for O0012
    QByteArray block;      // "N2310" as punched, or empty: start there
    QByteArray ownNumber;  // the request's own O-number line, "O0001", or empty
};

// Why a request is not served, and the words its reply says it with.
enum class Refusal { NotFound, Ambiguous, Busy, NoBlock, TooLarge, BadName };
QByteArray refusalText(Refusal reason);

// The short program sent back instead: "%", the request's own O-number
// if it had one, "(NOT FOUND O1234)" (the block for NoBlock, nothing for
// BadName) and "%", each line ended by LF. Only a comment: nothing in it
// moves the machine, and no byte but printable ASCII, "%" only as the
// first and last line: a name that is not safe is never echoed.
QByteArray refusalReply(const ProgramRequest &request, Refusal reason);

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
