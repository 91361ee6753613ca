#include "core/tapecode/eiacode.h"

#include <QtAlgorithms>

#include <array>
#include <utility>

namespace
{
// Each ISO character EIA has a code for, and its row (channel 1 the lowest
// bit). Digits are binary on channels 1 to 4, "0" channel 6; the letters
// add channels 6 and 7 (A to I), channel 7 (J to R) or channel 6 (S to Z)
// to a digit; channel 5 makes every count odd.
constexpr std::pair<char, uchar> kTable[] = {
    {'\0', 0x00}, {'\n', 0x80}, {'%', 0x0B}, {'\t', 0x3E}, {'\b', 0x7A}, {'\x7F', 0x7F},
    {' ', 0x10},  {'+', 0x70},  {'-', 0x40}, {'.', 0x6B},  {',', 0x3B},  {'/', 0x31},
    {'(', 0x1A},  {')', 0x4A},  {'0', 0x20}, {'1', 0x01},  {'2', 0x02},  {'3', 0x13},
    {'4', 0x04},  {'5', 0x15},  {'6', 0x16}, {'7', 0x07},  {'8', 0x08},  {'9', 0x19},
    {'A', 0x61},  {'B', 0x62},  {'C', 0x73}, {'D', 0x64},  {'E', 0x75},  {'F', 0x76},
    {'G', 0x67},  {'H', 0x68},  {'I', 0x79}, {'J', 0x51},  {'K', 0x52},  {'L', 0x43},
    {'M', 0x54},  {'N', 0x45},  {'O', 0x46}, {'P', 0x57},  {'Q', 0x58},  {'R', 0x49},
    {'S', 0x32},  {'T', 0x23},  {'U', 0x34}, {'V', 0x25},  {'W', 0x26},  {'X', 0x37},
    {'Y', 0x38},  {'Z', 0x29},
};

// Both directions, 0x100 for "no code".
struct Tables {
    std::array<quint16, 256> toEia;
    std::array<quint16, 256> toIso;
};

const Tables &tables()
{
    static const Tables t = [] {
        Tables made;
        made.toEia.fill(0x100);
        made.toIso.fill(0x100);
        for (const auto &[iso, eia] : kTable) {
            made.toEia[uchar(iso)] = eia;
            made.toIso[eia] = uchar(iso);
        }
        return made;
    }();
    return t;
}

std::optional<uchar> looked(quint16 v)
{
    return v > 0xFF ? std::nullopt : std::optional<uchar>(uchar(v));
}

bool oddHoles(uchar b)
{
    return qPopulationCount(quint8(b)) % 2 == 1;
}

constexpr uchar kDc1 = 0x11, kDc4 = 0x14;
} // namespace

namespace EiaCode
{
std::optional<uchar> of(uchar iso)
{
    return looked(tables().toEia[iso]);
}

std::optional<uchar> isoOf(uchar eia)
{
    return looked(tables().toIso[eia]);
}

bool hasCode(uchar iso)
{
    return of(iso).has_value();
}

QByteArray encode(QByteArrayView iso)
{
    QByteArray out(iso.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < iso.size(); ++i)
        out[i] = char(of(uchar(iso[i])).value_or(uchar(iso[i])));
    return out;
}

QByteArray decode(QByteArrayView eia)
{
    QByteArray out(eia.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < eia.size(); ++i)
        out[i] = char(isoOf(uchar(eia[i])).value_or(uchar(eia[i])));
    return out;
}

Decoder::Verdict Decoder::judge() const
{
    for (const char c : m_held) {
        const uchar b = uchar(c);
        if (b == 0) continue; // blank tape says nothing
        if (!oddHoles(b) || !isoOf(b)) return Verdict::Iso;
        if (b == EndOfBlock || b == EndOfRecord) return Verdict::Eia;
    }
    // Blank tape among them counts here, so that no more is ever held.
    return m_held.size() >= Deciding ? Verdict::Eia : Verdict::Open;
}

QByteArray Decoder::feed(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        if (m_verdict == Verdict::Iso) {
            out += char(b);
        } else if (m_verdict == Verdict::Eia) {
            out += char(isoOf(b).value_or(b));
        } else if (m_held.isEmpty() && (b == 0 || (b >= kDc1 && b <= kDc4))) {
            out += char(b);
        } else {
            m_held += char(b);
            m_verdict = judge();
            if (m_verdict == Verdict::Open) continue;
            out += m_verdict == Verdict::Eia ? decode(m_held) : m_held;
            m_held.clear();
        }
    }
    return out;
}

QByteArray Decoder::endBurst()
{
    // Too little to decide: held bytes that are all EIA codes are read as
    // EIA (judge() would have said ISO at the first that is not).
    const QByteArray out = decode(m_held);
    m_held.clear();
    m_verdict = Verdict::Open;
    return out;
}
} // namespace EiaCode
