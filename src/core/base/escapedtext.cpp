#include "core/base/escapedtext.h"

#include <utility>

namespace
{
// The names of bytes 0 to 31, then DEL's.
const char *const kNames[33] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",  "DEL",
};
constexpr uchar kDel = 127;
// The longest escape that is a name: what a bad one is shown with.
constexpr qsizetype kLongestName = 3;

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9') return c.unicode() - '0';
    if (c >= u'A' && c <= u'F') return c.unicode() - 'A' + 10;
    if (c >= u'a' && c <= u'f') return c.unicode() - 'a' + 10;
    return -1;
}

// The byte the name at the start of `text` stands for, and its length;
// the longest name that fits wins.
std::pair<int, qsizetype> nameAt(QStringView text)
{
    std::pair<int, qsizetype> best{-1, 0};
    for (int i = 0; i < 33; ++i) {
        const qsizetype n = qsizetype(qstrlen(kNames[i]));
        if (n > best.second && text.startsWith(QLatin1String(kNames[i], n)))
            best = {i == 32 ? kDel : i, n};
    }
    return best;
}

// What a bad escape at `at` (its backslash) is shown as: the backslash and
// the letters and digits after it, as many as the longest name has.
QString badEscape(QStringView text, qsizetype at)
{
    qsizetype end = at + 1;
    while (end < text.size() && end - at <= kLongestName && text[end].isLetterOrNumber())
        ++end;
    return text.sliced(at, end - at).toString();
}

// Strict, decoding stops at the first bad piece; else a bad piece stands
// for itself, its characters as UTF-8.
EscapedText::Decoded decoded(QStringView text, bool strict)
{
    EscapedText::Decoded out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.unicode() > 0xFF) {
            // A character beyond the first plane is two of QString's.
            const QStringView piece =
                text.sliced(i, c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1);
            if (strict) {
                out.bad = piece.toString();
                return out;
            }
            out.bytes += piece.toUtf8();
            i += piece.size() - 1;
            continue;
        }
        if (c != u'\\') {
            out.bytes += char(c.unicode());
            continue;
        }
        const QStringView rest = text.sliced(i + 1);
        if (rest.startsWith(u'\\')) {
            out.bytes += '\\';
            ++i;
        } else if (rest.size() >= 3 && rest[0] == u'x' && hexDigit(rest[1]) >= 0 &&
                   hexDigit(rest[2]) >= 0) {
            out.bytes += char(hexDigit(rest[1]) * 16 + hexDigit(rest[2]));
            i += 3;
        } else if (const auto [byte, length] = nameAt(rest); byte >= 0) {
            out.bytes += char(byte);
            i += length;
        } else if (strict) {
            out.bad = badEscape(text, i);
            return out;
        } else {
            out.bytes += '\\';
        }
    }
    return out;
}
} // namespace

EscapedText::Decoded EscapedText::decode(QStringView text)
{
    return decoded(text, true);
}

QByteArray EscapedText::leniently(QStringView text)
{
    return decoded(text, false).bytes;
}

QString EscapedText::encode(QByteArrayView bytes)
{
    const auto hex = [](uchar b) {
        return QStringLiteral("\\x") + QString::number(b + 0x100, 16).right(2).toUpper();
    };
    QString out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        if (b == '\\') {
            out += QStringLiteral("\\\\");
        } else if (b < 32 || b == kDel) {
            // SO before an "H" would read back as SOH.
            const QString name = controlName(b);
            const QString longer =
                name.mid(1) + QLatin1Char(i + 1 < bytes.size() ? bytes[i + 1] : ' ');
            out += nameAt(longer).second >= longer.size() ? hex(b) : name;
        } else {
            out += b < kDel ? QString(QChar(b)) : hex(b);
        }
    }
    return out;
}

QString EscapedText::controlName(uchar byte)
{
    if (byte >= 32 && byte != kDel) return {};
    return u'\\' + QLatin1String(kNames[byte == kDel ? 32 : byte]);
}
