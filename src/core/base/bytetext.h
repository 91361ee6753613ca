#pragma once

#include <QByteArray>
#include <QString>

// Program text is bytes: every byte becomes the character of the same code
// and back, so nothing is added, dropped or changed on the way between a
// file, the serial line and the text fields.
inline QString bytesToText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

// Characters above 255 cannot come from a file or the line; they can only be
// typed, and are sent as '?'.
inline QByteArray textToBytes(const QString &text)
{
    return text.toLatin1();
}
