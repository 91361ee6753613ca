#pragma once

#include "serial/serial.h"

class QSerialPort;

// The production port: QSerialPort, plus what the driver still holds when
// counting bytes left to send, and XON/XOFF that only DC1 releases.
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
    QSerialPort *m_port;
};

// The ports QSerialPortInfo reports.
class QtSerialPortList : public SerialPortList
{
public:
    QStringList names() const override;
};
