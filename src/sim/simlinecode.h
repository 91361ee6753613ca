#pragma once

#include <QByteArray>
#include <QString>

// How the control's characters look on the line. ISO with 8 data bits as
// they are; ISO with 7 data bits and a parity bit the control computes
// itself (a pseudo-terminal carries whole bytes and no parity, so the PC
// sees the parity bit as the eighth, as Port Scan sees it on a real line
// read with 8 bits); or EIA RS-244 tape code, where every character has an
// odd number of holes (channel 5 makes it odd) and channel 8 alone ends a
// block.
struct SimLineCode {
    enum class Parity { None, Even, Odd };
    Parity parity = Parity::None;
    bool eia = false;

    // "8N1", "7E1" or "7O1" (any case): false for anything else.
    bool setFormat(const QString &format);
    // Every byte to the PC, its parity bit set as the format wants.
    QByteArray toLine(const QByteArray &bytes) const;
    // Bytes from the PC without their parity bit; `wrong` counts those
    // whose bit 8 is set but is no right parity bit.
    QByteArray fromLine(const QByteArray &bytes, int *wrong) const;

    // The EIA codes for ISO text: LF is the end of block, CR is left out,
    // letters are taken in either case. Characters with no EIA code are
    // collected in `missing` and left out.
    static QByteArray toEia(const QByteArray &iso, QByteArray *missing);
    // ISO text for EIA codes: blank tape and delete are passed over, every
    // code with an even number of holes or no meaning is counted in `bad`
    // and dropped.
    static QByteArray fromEia(const QByteArray &eia, int *bad);
};
