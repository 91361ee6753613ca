#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>

// How each family of controls frames and names the programs it punches:
// which line starts a program, what ends it, and the name it is saved
// under. Everything is bytes; nothing here changes one.
//
// A program starts only at the start of a line (after leader, DC codes and
// line ends, or where the program before it ended), and only with a line a
// family claims:
//   "%_N_NAME_TYPE"       Siemens: a header per program, no closing "%"
//   "%"                   most controls: the next "%" closes it
//   "$NAME.MIN%"          Okuma: its "%" line closes it, "%%" the transfer
//   "0 BEGIN PGM 100 MM"  Heidenhain: to its "END PGM 100" line
//   "(", ";", ":", "<", "/", "#", or an address letter (A-Z) followed by a
//   digit, sign, "." or "#" (an NC word: "O1234", "G0", "N10", "X-1.")
//                         any other program: ends only at the end code or
//                         silence
// Any other line (a network serial server's greeting, line noise) starts
// nothing.
namespace Controls
{
enum class Verdict { No, Yes, NeedMore };

// No judgement needs more of a line than this: what is still undecided
// then is No.
inline constexpr qsizetype MaxJudged = 64;
// How much of a line a family looks at to find its end.
inline constexpr qsizetype MaxLineKept = 160;
// The longest name a program is saved under.
inline constexpr qsizetype MaxName = 64;

// One family, as a row of functions. `line` is a line from its first byte
// as far as it has come, without its line end; `complete` says its line end
// came (or nothing more will). A complete line is never NeedMore.
struct Family {
    // Does a program of this family start with `line`?
    Verdict (*starts)(QByteArrayView line, bool complete);
    // Inside one of its programs: does `line` start the next one, which
    // ends this one before it? Null: no line does. A family that has this
    // ends a program only at a complete line (never with endsAt).
    Verdict (*startsNext)(QByteArrayView line, bool complete);
    // Inside one of its programs: does this byte, the last of `line` (its
    // first MaxLineKept bytes), end it, inclusive? Null: no byte does. Never
    // asked of a program's first byte.
    bool (*endsAt)(char c, QByteArrayView line);
    // Inside one of its programs, `program` its first MaxLineKept bytes:
    // does this complete line end it, with its line end? Null: none does.
    bool (*endsWith)(QByteArrayView line, QByteArrayView program);
    // The name a program of the family is saved under, from its first
    // bytes (its first line on); empty when it has none or none safe.
    QByteArray (*name)(QByteArrayView program);
    // Other names a program asked for as `asked` would have been saved
    // under by this family's naming (Siemens: "SHAFT123" -> SHAFT123_MPF).
    QByteArrayList (*savedAs)(QByteArrayView asked);
    // After one of its programs, any "%" before the next program is the
    // mark that ends the transfer (Okuma's "%%").
    bool percentEndsTransfer;
};

extern const Family siemens, percentTape, okuma, heidenhain, plainBlocks;

// The family whose program `line` starts, with `verdict` Yes; or null,
// with `verdict` No or (while the line may still turn out one) NeedMore.
const Family *familyStarting(QByteArrayView line, bool complete, Verdict *verdict);
// The name `program` is saved under, by the family its first line (after
// leader, DC codes and line ends) starts; empty for none.
QByteArray programName(QByteArrayView program);
// Other names a program asked for by `asked` may have been saved under,
// each family's in turn.
QByteArrayList savedNamesOf(QByteArrayView asked);

// A name a program may be saved under: letters, digits, "_" and "-" only,
// 1 to MaxName of them. A "." would read as an earlier version's number or
// an extension; every such name is also one a request may ask for.
bool isSavableName(QByteArrayView name);
// The name if savable, otherwise empty.
QByteArray savable(QByteArrayView name);
// Yes when `line` starts with `head`; NeedMore when it is shorter and a
// start of it (and not complete); No otherwise.
Verdict startsWith(QByteArrayView line, QByteArrayView head, bool complete);
// `line` without the blanks (space, tab) at its start.
QByteArrayView skipBlanks(QByteArrayView line);
// The first line of `program` with something on it, from its first byte
// that is not leader, a DC code or a line end, without its line end.
QByteArrayView firstLine(QByteArrayView program);
// The word at the start of `text`: up to a blank, a line end or `stop`.
QByteArrayView wordAt(QByteArrayView text, QByteArrayView stops = {});
} // namespace Controls
