#pragma once

#include "core/ports/serialport.h"

#include "core/base/clock.h"
class NetSerialPort;
class QtSerialPort;

// The program's one port: a serial device of the computer, or a device
// server on the network when the name is an address ("tcp://host:port",
// "rfc2217://host:port"). open() picks the kind the name asks for and
// closes the other; every call and signal goes to and comes from the one in
// use, so nothing above the port needs to know which it is.
class AnyPort : public SerialPort
{
    Q_OBJECT
public:
    explicit AnyPort(Clock &clock = Clock::system(), QObject *parent = nullptr);

    bool open(const QString &name, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override;
    QString name() const override;
    void apply(const LineSettings &settings) override;
    LineSettings settings() const override;
    void flush(Direction which = Direction::Both) override;
    bool write(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override;
    bool canChangeSettings() const override;
    QString errorString() const override;
    bool cts() const override;
    bool dsr() const override;
    void watchInputLines(bool on) override;

private:
    void forward(SerialPort *port);

    QtSerialPort *m_device;
    NetSerialPort *m_net;
    SerialPort *m_active;
};
