#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <optional>

// EIA RS-244, the tape code of older controls, and ISO text. A row of tape
// has eight channels, one bit each (channel 1 the lowest). EIA gives every
// character an odd number of holes, channel 5 making it up; ISO gives every
// one an even number, channel 8 making it up. EIA has one case: its letter
// codes read as capitals, and a lower-case letter has no code (a control
// reading EIA takes its codes as address letters, which programs write in
// capitals). Blank tape is NUL in both; ISO's LF is EIA's end of block,
// channel 8 alone; ISO's "%" is EIA's end of record (rewind stop).
namespace EiaCode
{
inline constexpr uchar EndOfBlock = 0x80;
inline constexpr uchar EndOfRecord = 0x0B;

// The EIA row of an ISO character; nothing for one EIA has no code for.
std::optional<uchar> of(uchar iso);
// The ISO character of an EIA row; nothing for a row that is no EIA code
// (a wrong number of holes, or a pattern the code leaves free).
std::optional<uchar> isoOf(uchar eia);
bool hasCode(uchar iso);

// ISO text as EIA rows, byte for byte; a byte without a code goes as it is
// (a leader's DC2 for a punch, a character sent as asked).
QByteArray encode(QByteArrayView iso);
// EIA rows as ISO text, byte for byte; a row that is no code stays as it
// came, so that nothing read is lost.
QByteArray decode(QByteArrayView eia);

// Received bytes to ISO text, deciding for each burst (what comes between
// two quiet times on the line) which code it is in. Blank tape and the
// device controls DC1 to DC4 (a control's handshake, sent in ASCII whatever
// its tape code) pass before the decision without making it. The first
// other characters decide it: one with an even number of holes, or with no
// EIA code, makes the burst ISO (a 7-bit ISO text's "%" is EIA's "V", but
// the line end after it is no EIA code); EIA's end of record or end of
// block, or four characters that are all EIA codes or blank, make it EIA.
// The characters before the decision are held back, at most three, until
// it is made or the burst ends. So a machine set to EIA that punches ISO
// is heard as it punches.
class Decoder
{
public:
    // The ISO text of `bytes`, less what is held back for the decision.
    QByteArray feed(QByteArrayView bytes);
    // The burst is over (the line went quiet): what was held back, as EIA
    // when all of it is EIA codes, and the next burst decides anew.
    QByteArray endBurst();
    bool holding() const { return !m_held.isEmpty(); }

    static constexpr int Deciding = 4;

private:
    enum class Verdict { Open, Iso, Eia };
    Verdict judge() const;

    Verdict m_verdict = Verdict::Open;
    QByteArray m_held;
};
} // namespace EiaCode
