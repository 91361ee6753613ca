#include "sim/simlinecode.h"

#include <array>
#include <bit>

namespace
{
// Channel 5 set when the other holes are even in number.
constexpr uchar odd(uchar holes)
{
    return std::popcount(holes) % 2 ? holes : uchar(holes | 0x10);
}

// The EIA code of each ISO character, 0 for none.
constexpr std::array<uchar, 128> eiaCodes()
{
    std::array<uchar, 128> t{};
    t['0'] = 0x20;
    for (int d = 1; d <= 9; ++d) {
        t['0' + d] = odd(uchar(d));
        t['A' + d - 1] = t['a' + d - 1] = odd(uchar(0x60 | d));             // channels 6 and 7
        t['J' + d - 1] = t['j' + d - 1] = odd(uchar(0x40 | d));             // channel 7
        if (d >= 2) t['S' + d - 2] = t['s' + d - 2] = odd(uchar(0x20 | d)); // channel 6
    }
    t[' '] = 0x10;
    t['.'] = 0x6b;
    t[','] = 0x3b;
    t['-'] = 0x40;
    t['+'] = 0x70;
    t['/'] = 0x31;
    t['\t'] = 0x3e;
    t['('] = 0x1a; // control out: a comment begins
    t[')'] = 0x4a; // control in
    t['%'] = 0x0b; // rewind stop
    t['\b'] = 0x2a;
    t['\n'] = 0x80;
    return t;
}
constexpr std::array<uchar, 128> Eia = eiaCodes();

bool evenBits(uchar c)
{
    return std::popcount(c) % 2 == 0;
}
} // namespace

bool SimLineCode::setFormat(const QString &format)
{
    const QString f = format.toUpper();
    if (f != QLatin1String("8N1") && f != QLatin1String("7E1") && f != QLatin1String("7O1"))
        return false;
    parity = f == QLatin1String("7E1")   ? Parity::Even
             : f == QLatin1String("7O1") ? Parity::Odd
                                         : Parity::None;
    return true;
}

QByteArray SimLineCode::toLine(const QByteArray &bytes) const
{
    if (parity == Parity::None) return bytes;
    QByteArray out = bytes;
    for (char &c : out) {
        const uchar low = uchar(c) & 0x7f;
        c = char(low | ((evenBits(low) == (parity == Parity::Odd)) ? 0x80 : 0));
    }
    return out;
}

QByteArray SimLineCode::fromLine(const QByteArray &bytes, int *wrong) const
{
    if (parity == Parity::None) return bytes;
    QByteArray out = bytes;
    for (char &c : out) {
        if ((uchar(c) & 0x80) && evenBits(uchar(c)) != (parity == Parity::Even)) ++*wrong;
        c = char(uchar(c) & 0x7f);
    }
    return out;
}

QByteArray SimLineCode::toEia(const QByteArray &iso, QByteArray *missing)
{
    QByteArray out;
    out.reserve(iso.size());
    for (const char c : iso) {
        if (c == '\r') continue;
        if (c == '\0')
            out += '\0';
        else if (uchar(c) < 0x80 && Eia[uchar(c)])
            out += char(Eia[uchar(c)]);
        else if (!missing->contains(c))
            *missing += c;
    }
    return out;
}

QByteArray SimLineCode::fromEia(const QByteArray &eia, int *bad)
{
    static const std::array<char, 256> iso = [] {
        std::array<char, 256> t{};
        for (int c = 127; c > 0; --c) // upper case wins
            if (Eia[c]) t[Eia[c]] = char(c >= 'a' && c <= 'z' ? c - 32 : c);
        return t;
    }();
    QByteArray out;
    out.reserve(eia.size());
    for (const char c : eia) {
        if (c == '\0' || c == '\x7f') continue;
        if (iso[uchar(c)])
            out += iso[uchar(c)];
        else
            ++*bad;
    }
    return out;
}
