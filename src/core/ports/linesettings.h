#pragma once

#include <QString>
#include <QtGlobal>

class MachineConfig;

enum class Parity { None, Even };
enum class Handshake { None, XonXoff, RtsCts };

// What a serial port is set to: speed, data format and the handshake the
// port itself does.
struct LineSettings {
    qint32 speed = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;
    Handshake handshake = Handshake::None;

    // The settings a machine's stored values give. A speed the program does
    // not offer keeps `previousSpeed`. Seven data bits always go with even
    // parity, eight with none; the wait modes "3" and "4" leave the
    // handshake to the send itself.
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
    // "9600 8N1 XON/XOFF", for messages and logs.
    QString toString() const;

    bool operator==(const LineSettings &) const = default;
};
