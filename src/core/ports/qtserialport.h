#pragma once

#include "core/base/clock.h"
#include "core/ports/serialport.h"

#include <QSerialPort>
#include <optional>

// What the port asks of its device for some line settings.
struct DeviceLine {
    qint32 baud = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    bool dtr = true;
    std::optional<bool> rts; // none: the RTS/CTS handshake drives it

    // DTR and RTS are raised unless held low; under DTR/DSR, DTR stays
    // raised (the computer may always receive) and the send watches DSR.
    static DeviceLine of(const LineSettings &settings);
    bool operator==(const DeviceLine &) const = default;
};

// The serial port of the computer, through QSerialPort. What the driver still
// holds counts as bytes to write, and under XON/XOFF only DC1 releases held
// output.
//
// After opening, stale bytes in both directions are discarded and the
// control lines are set (DeviceLine); a device without modem lines (a
// pseudo-terminal) still opens. A device that goes away while open is closed
// and reported by lost(). The system has no DTR/DSR handshake: while asked
// to watch its input lines, the port looks at them every WatchMs.
class QtSerialPort : public SerialPort
{
    Q_OBJECT
public:
    static constexpr int WatchMs = 5;

    explicit QtSerialPort(QObject *parent = nullptr, Clock &clock = Clock::system());
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
    bool cts() const override { return pinout() & QSerialPort::ClearToSendSignal; }
    bool dsr() const override { return pinout() & QSerialPort::DataSetReadySignal; }
    void watchInputLines(bool on) override;

protected:
    // Where what is asked of the device passes: the format and handshake,
    // and (while open) the control lines.
    virtual void setLine(const DeviceLine &line);
    virtual QSerialPort::PinoutSignals pinout() const;

private:
    void applyLineSettings();
    void checkInputLines();
    // Qt's software flow control lets any received byte release held
    // output; only DC1 may.
    void restrictXonToDc1();
    void onError(int error);
    // True when the open device has hung up or no longer answers.
    bool deviceGone() const;
    void lose();

    QSerialPort *m_port;
    Timer *m_watch;
    QSerialPort::PinoutSignals m_lines;
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
