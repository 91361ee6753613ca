#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Bytes written as text a person can type and the configuration file can
// hold on one line: a control character by its ASCII name after a
// backslash (\NUL, \DC2, \ETX, \EOT ... \US, \DEL), any byte as \x and two
// hex digits (\x1A), a backslash as \\; every other character is the byte
// of the same code, so "%" is "%". Where one name starts another (\SO,
// \SOH) the longer is meant: \x0E writes SO before an "H".
namespace EscapedText
{
struct Decoded {
    QByteArray bytes;
    // The first piece that is no escape ("\FOO", "\x4", a lone "\") or no
    // byte (a character above 255); empty when the whole text is good.
    QString bad;
    bool ok() const { return bad.isEmpty(); }
};

Decoded decode(QStringView text);
// As decode(), but a bad piece stands for itself: a text edited into a file
// by hand is sent as it is written.
QByteArray leniently(QStringView text);
// The bytes as decode() takes them back: printable ASCII as itself, a
// backslash doubled, control characters by name, the rest as \xHH.
QString encode(QByteArrayView bytes);
// "\ETX" for byte 3, "\DEL" for 127; empty for any other byte.
QString controlName(uchar byte);
} // namespace EscapedText
