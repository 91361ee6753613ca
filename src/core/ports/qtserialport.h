#pragma once

#include "core/ports/serialport.h"

class QSerialPort;

// The serial port of the computer, through QSerialPort. What the driver still
// holds counts as bytes to write, and under XON/XOFF only DC1 releases held
// output.
//
// After opening, stale bytes in both directions are discarded, DTR is raised
// and RTS too unless the RTS/CTS handshake drives it; a device without modem
// lines (a pseudo-terminal) still opens. A device that goes away while open
// is closed and reported by lost().
class QtSerialPort : public SerialPort
{
    Q_OBJECT
public:
    explicit QtSerialPort(QObject *parent = nullptr);
    ~QtSerialPort() override;

    bool open(const QString &name, const LineSettings &settings) override;
    void close() override;
    bool isOpen() const override;
    QString name() const override { return m_name; }
    void apply(const LineSettings &settings) override;
    LineSettings settings() const override { return m_settings; }
    void flush(Direction which = Direction::Both) override;
    bool write(const QByteArray &bytes) override;
    qint64 bytesToWrite() const override;

private:
    void applyLineSettings();
    // Raises DTR, and RTS unless the handshake owns it.
    void applyModemLines();
    // Qt's software flow control lets any received byte release held
    // output; only DC1 may.
    void restrictXonToDc1();
    void onError(int error);
    // True when the open device has hung up or no longer answers.
    bool deviceGone() const;
    void lose();

    QSerialPort *m_port;
    QString m_name;
    LineSettings m_settings;
    // Errors raised while we configure the port are expected (a device
    // without modem lines) and must not count as a lost device.
    bool m_configuring = false;
    bool m_losing = false;
};

// The ports QSerialPortInfo reports.
class QtPortList : public PortList
{
public:
    QStringList names() const override;
};
