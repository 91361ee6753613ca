#pragma once

#include "core/config/vocabulary.h"

#include <QString>
#include <QtGlobal>

class MachineConfig;

// In the order of Vocabulary::Parities.
enum class Parity { None, Even, Odd, Mark, Space };
// DtrDsr: the machine's DSR holds the output; no port does that itself, so
// the send watches DSR (SerialPort::dsr()) and the port keeps DTR raised.
enum class Handshake { None, XonXoff, RtsCts, DtrDsr };

// What a serial port is set to: speed, data format, the handshake and the
// control lines held where they are no handshake.
struct LineSettings {
    qint32 speed = 9600;
    int dataBits = 8; // 5 to 8
    Parity parity = Parity::None;
    int stopBits = 1;
    Handshake handshake = Handshake::None;
    HeldLine dtr = HeldLine::AsIs;
    HeldLine rts = HeldLine::AsIs;

    // The settings a machine's stored values give. A speed the program does
    // not offer keeps `previousSpeed`. Where no parity is stored the data
    // bits imply one (none with eight, even with fewer); the wait modes "3"
    // and "4", and XON/XOFF with a handshake delay, leave the handshake to
    // the send itself.
    static LineSettings forMachine(const MachineConfig &machine, qint32 previousSpeed);
    // The speed a stored text names, or 0 when it names none the program
    // offers.
    static qint32 speedOf(const QString &stored);

    // Start bit, data bits, parity bit and stop bits.
    int bitsPerCharacter() const { return 1 + dataBits + (parity == Parity::None ? 0 : 1) + stopBits; }
    // How long one character takes on the line.
    qint64 characterNs() const
    {
        return speed > 0 ? qint64(bitsPerCharacter()) * 1'000'000'000 / speed : 0;
    }
    // "7O1": data bits, parity, stop bits.
    QString format() const;
    // "9600 8N1 XON/XOFF", for messages and logs.
    QString toString() const;

    bool operator==(const LineSettings &) const = default;
};
