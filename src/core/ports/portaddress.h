#pragma once

#include <QString>

// What a machine's MCPORT names: a serial device as the system lists it, or
// a network serial server, "tcp://host:port" (raw bytes, the server's line
// settings fixed) or "rfc2217://host:port" (Telnet COM-PORT-OPTION: the
// line settings are set from the machine's).
struct PortAddress {
    enum class Kind { Device, RawTcp, Rfc2217, Invalid };
    Kind kind = Kind::Device;
    QString host;
    quint16 port = 0;

    static PortAddress parse(const QString &name);
    bool isNetwork() const { return kind == Kind::RawTcp || kind == Kind::Rfc2217; }
};

// True when `name` is a path ("/dev/ttyUSB0", "/dev/serial/by-id/usb-...",
// a link to one, a pseudo-terminal) that leads to a terminal device: a
// serial line the system knows as a tty. The device is not opened to find
// out, since opening a serial line raises its control lines.
bool isSerialDevicePath(const QString &name);
