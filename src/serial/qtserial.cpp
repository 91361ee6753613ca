#include "serial/qtserial.h"

#include <QSerialPort>
#include <QSerialPortInfo>

QtSerial::QtSerial(QObject *parent) : Serial(parent), m_port(new QSerialPort(this)) {}
QtSerial::~QtSerial() = default;

bool QtSerial::Open() { return false; }
void QtSerial::Close() {}
bool QtSerial::isOpen() const { return m_port->isOpen(); }
void QtSerial::Reset() {}
void QtSerial::Flush() {}
bool QtSerial::Write(const QByteArray &) { return false; }
qint64 QtSerial::BytesLeftToSend() const { return 0; }
qint64 QtSerial::BytesAvailable() const { return 0; }
QByteArray QtSerial::Read(qint64) { return {}; }
QByteArray QtSerial::ReadAll() { return {}; }

QStringList QtSerialPortList::names() const
{
    QStringList out;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        out << info.portName();
    return out;
}
