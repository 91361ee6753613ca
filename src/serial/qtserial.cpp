#include "serial/qtserial.h"

#include <QMetaObject>
#include <QSerialPort>
#include <QSerialPortInfo>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif

namespace
{
QSerialPort::DataBits dataBitsFor(int code)
{
    return code == Serial::Bits7 ? QSerialPort::Data7 : QSerialPort::Data8;
}
QSerialPort::Parity parityFor(int code)
{
    return code == Serial::ParityEven ? QSerialPort::EvenParity : QSerialPort::NoParity;
}
QSerialPort::StopBits stopBitsFor(int code)
{
    return code == Serial::Stop2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
}
} // namespace

QtSerial::QtSerial(QObject *parent) : Serial(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, [this] {
        if (m_port->bytesAvailable() > 0) emit DataAvailable();
    });
    connect(m_port, &QSerialPort::bytesWritten, this, [this] { emit BytesWritten(); });
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });
}

QtSerial::~QtSerial() = default;

void QtSerial::applyLineSettings()
{
    qint32 bps = bitsPerSecond(Baud());
    if (bps == 0) bps = 9600;
    m_port->setBaudRate(bps);
    m_port->setDataBits(dataBitsFor(Bits()));
    m_port->setParity(parityFor(Parity()));
    m_port->setStopBits(stopBitsFor(Stop()));
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    if (CTS())
        flow = QSerialPort::HardwareControl;
    else if (XON())
        flow = QSerialPort::SoftwareControl;
    m_port->setFlowControl(flow);
}

void QtSerial::applyModemLines()
{
    m_port->setDataTerminalReady(true);
    if (!CTS()) m_port->setRequestToSend(true);
}

void QtSerial::restrictXonToDc1()
{
#if defined(Q_OS_UNIX)
    const int fd = int(m_port->handle());
    termios t{};
    if (fd < 0 || ::tcgetattr(fd, &t) != 0) return;
    t.c_iflag &= ~tcflag_t(IXANY);
    t.c_cc[VSTART] = 0x11; // DC1
    t.c_cc[VSTOP] = 0x13;  // DC3
    ::tcsetattr(fd, TCSANOW, &t);
#endif
}

bool QtSerial::Open()
{
    if (m_port->isOpen()) {
        if (m_openedName == portName()) return true;
        // Another device was named since: never go on talking to the old one.
        Close();
    }
    m_configuring = true;
    m_losing = false;
    m_port->setPortName(portName());
    applyLineSettings();
    const bool ok = m_port->open(QIODevice::ReadWrite);
    m_openedName = portName();
    if (ok) {
        restrictXonToDc1();
        m_port->clear(QSerialPort::AllDirections);
        applyModemLines();
    }
    m_port->clearError();
    m_configuring = false;
    return ok;
}

void QtSerial::Close()
{
    m_losing = false;
    // Closing a device that has gone restores its settings in vain; that
    // failure is no news.
    m_configuring = true;
    if (m_port->isOpen()) m_port->close();
    m_port->clearError();
    m_configuring = false;
}

bool QtSerial::isOpen() const
{
    return m_port->isOpen();
}

void QtSerial::Reset()
{
    if (!m_port->isOpen()) return;
    m_configuring = true;
    applyLineSettings();
    restrictXonToDc1();
    applyModemLines();
    m_port->clearError();
    m_configuring = false;
    // Setting the lines may itself have found the device gone.
    if (m_port->isOpen() && deviceGone()) lose();
}

void QtSerial::Flush()
{
    if (m_port->isOpen()) m_port->clear(QSerialPort::AllDirections);
}

bool QtSerial::Write(const QByteArray &bytes)
{
    if (!m_port->isOpen()) return false;
    if (bytes.isEmpty()) return true;
    return m_port->write(bytes) == bytes.size();
}

qint64 QtSerial::BytesLeftToSend() const
{
    if (!m_port->isOpen()) return 0;
    qint64 left = m_port->bytesToWrite();
#if defined(Q_OS_WIN)
    DWORD errors = 0;
    COMSTAT stat{};
    if (::ClearCommError(m_port->handle(), &errors, &stat)) left += stat.cbOutQue;
#elif defined(Q_OS_UNIX)
    int queued = 0;
    if (::ioctl(int(m_port->handle()), TIOCOUTQ, &queued) == 0 && queued > 0) left += queued;
#endif
    return left;
}

qint64 QtSerial::BytesAvailable() const
{
    return m_port->isOpen() ? m_port->bytesAvailable() : 0;
}

QByteArray QtSerial::Read(qint64 count)
{
    if (!m_port->isOpen() || count <= 0) return {};
    return m_port->read(count);
}

QByteArray QtSerial::ReadAll()
{
    if (!m_port->isOpen()) return {};
    return m_port->readAll();
}

bool QtSerial::deviceGone() const
{
#if defined(Q_OS_UNIX)
    const int fd = int(m_port->handle());
    if (fd < 0) return true;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return true;
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF;
    return false;
#else
    return false;
#endif
}

void QtSerial::onError(int error)
{
    if (m_configuring || m_losing || !m_port->isOpen()) return;
    switch (error) {
    case QSerialPort::ResourceError:
#if defined(Q_OS_WIN)
        lose();
        return;
#else
        [[fallthrough]];
#endif
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::UnknownError:
        // On Unix these say little: a write held by XOFF fails with EAGAIN,
        // which Qt reports as a resource error, and a hung-up terminal reads
        // as end-of-file, reported with a stale errno. Ask the device itself.
        if (deviceGone())
            lose();
        else
            m_port->clearError();
        return;
    default:
        return;
    }
}

void QtSerial::lose()
{
    if (m_losing) return;
    m_losing = true;
    // Close outside QSerialPort's own notification: it is still on the stack.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_losing) return;
            m_losing = false;
            if (m_port->isOpen()) m_port->close();
            m_port->clearError();
            emit Lost();
        },
        Qt::QueuedConnection);
}

QStringList QtSerialPortList::names() const
{
    QStringList out;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        out << info.portName();
    return out;
}
