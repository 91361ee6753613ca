#pragma once

#include <QByteArray>
#include <QByteArrayView>

// XMODEM's bytes and the framing of one block, shared by its sender and
// receiver: SOH, the block number, its complement, 128 bytes of data and
// an 8-bit sum, or a CRC-16 (high byte first) when the receiver asked with
// "C". Block numbers start at 1 and wrap at 255 to 0.
namespace Xmodem
{
inline constexpr char Soh = 0x01;
inline constexpr char Stx = 0x02; // a 1024-byte block, which some senders use
inline constexpr char Eot = 0x04;
inline constexpr char Ack = 0x06;
inline constexpr char Nak = 0x15;
inline constexpr char Can = 0x18;
inline constexpr char Sub = 0x1a; // the last block's padding
inline constexpr char Crc = 'C';
inline constexpr int BlockBytes = 128;
inline constexpr int LongBlockBytes = 1024;
inline constexpr int MaxRetries = 10;
// How long a side waits for the other's next word within a transfer.
inline constexpr int AnswerMs = 10'000;

quint16 crc16(QByteArrayView data);
quint8 checksum(QByteArrayView data);
// One block numbered `number` (mod 256), `data` padded with SUB to 128.
QByteArray block(int number, QByteArrayView data, bool crc);
// What ends a transfer from either side: CAN twice.
inline QByteArray cancel() { return QByteArray(2, Can); }
} // namespace Xmodem
