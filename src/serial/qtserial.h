#pragma once

#include "serial/serial.h"

class QSerialPort;

// The production port: QSerialPort, plus what the driver still holds when
// counting bytes left to send, and XON/XOFF that only DC1 releases.
//
// Line settings given through the setters take effect on Open() and Reset().
// After opening, stale bytes in both directions are discarded, DTR is raised
// and RTS too unless the RTS/CTS handshake drives it; a device without modem
// lines (a pseudo-terminal) still opens. A device that goes away while open
// is closed and reported by Lost().
class QtSerial : public Serial
{
    Q_OBJECT
public:
    explicit QtSerial(QObject *parent = nullptr);
    ~QtSerial() override;

    bool Open() override;
    void Close() override;
    bool isOpen() const override;
    void Reset() override;
    void Flush() override;
    bool Write(const QByteArray &bytes) override;
    qint64 BytesLeftToSend() const override;
    qint64 BytesAvailable() const override;
    QByteArray Read(qint64 count) override;
    QByteArray ReadAll() override;

private:
    // Hands the stored codes to QSerialPort (applied at once when open).
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
    // Errors raised while we configure the port are expected (a device
    // without modem lines) and must not count as a lost device.
    bool m_configuring = false;
    bool m_losing = false;
    QString m_openedName; // the name the open device was opened by
};

// The ports QSerialPortInfo reports.
class QtSerialPortList : public SerialPortList
{
public:
    QStringList names() const override;
};
