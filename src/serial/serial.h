#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

// The serial-port component the program talks to. Line settings are given as
// codes; they are stored by the setters and take effect on Open() and Reset().
// Data in and out is raw bytes, with no encoding conversion.
class Serial : public QObject
{
    Q_OBJECT
public:
    // Baud codes. 150 bit/s has a code of its own so that a machine set to
    // 150 bit/s really runs at 150 bit/s.
    enum BaudCode {
        Baud300 = 0,
        Baud600 = 1,
        Baud1200 = 2,
        Baud2400 = 4,
        Baud4800 = 6,
        Baud9600 = 8,
        Baud19200 = 10,
        Baud38400 = 12,
        Baud57600 = 13,
        Baud115200 = 14,
        Baud150 = 15,
    };
    enum BitsCode { Bits7 = 2, Bits8 = 3 };
    enum ParityCode { ParityNone = 0, ParityEven = 2 };
    enum StopCode { Stop1 = 0, Stop2 = 2 };

    // Bits per second of a baud code; 0 for an unknown code.
    static qint32 bitsPerSecond(int baudCode);
    // Baud code of a speed; -1 when there is none.
    static int baudCodeFor(qint32 bitsPerSecond);
    // Bits one character takes on the line with the current settings
    // (start bit, data bits, parity bit, stop bits).
    int bitsPerCharacter() const;

    explicit Serial(QObject *parent = nullptr) : QObject(parent) {}

    QString portName() const { return m_portName; }
    virtual void setPortName(const QString &name) { m_portName = name; }

    int Baud() const { return m_baud; }
    int Bits() const { return m_bits; }
    int Parity() const { return m_parity; }
    int Stop() const { return m_stop; }
    bool XON() const { return m_xon; }
    bool CTS() const { return m_cts; }
    bool DataTerminalReady() const { return m_dtr; }
    bool RequestToSend() const { return m_rts; }

    virtual void setBaud(int code) { m_baud = code; }
    virtual void setBits(int code) { m_bits = code; }
    virtual void setParity(int code) { m_parity = code; }
    virtual void setStop(int code) { m_stop = code; }
    virtual void setXON(bool on) { m_xon = on; }
    virtual void setCTS(bool on) { m_cts = on; }
    virtual void setDataTerminalReady(bool on) { m_dtr = on; }
    virtual void setRequestToSend(bool on) { m_rts = on; }

    // True when the device is open; true again when already open.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool isOpen() const = 0;
    // Makes the settings given before it take effect on the open port.
    virtual void Reset() = 0;
    // Discards everything buffered in both directions.
    virtual void Flush() = 0;
    // Queues bytes for sending; false when the port is not open.
    virtual bool Write(const QByteArray &bytes) = 0;
    // Bytes queued and not yet on the line, counting the driver's queue.
    virtual qint64 BytesLeftToSend() const = 0;
    virtual qint64 BytesAvailable() const = 0;
    virtual QByteArray Read(qint64 count) = 0;
    virtual QByteArray ReadAll() = 0;

signals:
    // Received bytes are waiting.
    void DataAvailable();
    // Some queued bytes moved on towards the line.
    void BytesWritten();
    // The device went away while open (a USB adapter pulled out); the port
    // has been closed.
    void Lost();

private:
    QString m_portName;
    int m_baud = Baud9600;
    int m_bits = Bits8;
    int m_parity = ParityNone;
    int m_stop = Stop1;
    bool m_xon = false;
    bool m_cts = false;
    bool m_dtr = false;
    bool m_rts = false;
};

// The serial ports the platform reports, in its order.
class SerialPortList
{
public:
    virtual ~SerialPortList() = default;
    virtual QStringList names() const = 0;
    int SerialPortCount() const { return int(names().size()); }
    QString Name(int index) const { return names().value(index); }
};
