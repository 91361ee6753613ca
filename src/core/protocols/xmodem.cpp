#include "core/protocols/xmodem.h"

namespace Xmodem
{
quint16 crc16(QByteArrayView data)
{
    quint16 crc = 0;
    for (const char c : data) {
        crc ^= quint16(uchar(c)) << 8;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

quint8 checksum(QByteArrayView data)
{
    quint8 sum = 0;
    for (const char c : data) sum = quint8(sum + uchar(c));
    return sum;
}

QByteArray block(int number, QByteArrayView data, bool crc)
{
    QByteArray out;
    out.reserve(BlockBytes + 5);
    out += Soh;
    out += char(number & 0xff);
    out += char(~number & 0xff);
    out += data.first(qMin<qsizetype>(data.size(), BlockBytes));
    const QByteArrayView payload = QByteArrayView(out).sliced(3);
    out += QByteArray(BlockBytes - payload.size(), Sub);
    const QByteArrayView full = QByteArrayView(out).sliced(3);
    if (crc) {
        const quint16 c = crc16(full);
        out += char(c >> 8);
        out += char(c & 0xff);
    } else {
        out += char(checksum(full));
    }
    return out;
}
} // namespace Xmodem
