#include "core/ports/qtserialport.h"

#include <QMetaObject>
#include <QSerialPortInfo>
#include <utility>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#endif

DeviceLine DeviceLine::of(const LineSettings &s)
{
    static constexpr QSerialPort::Parity parities[] = {
        QSerialPort::NoParity, QSerialPort::EvenParity, QSerialPort::OddParity,
        QSerialPort::MarkParity, QSerialPort::SpaceParity};
    DeviceLine l;
    l.baud = s.speed > 0 ? s.speed : 9600;
    l.dataBits = QSerialPort::DataBits(qBound(5, s.dataBits, 8));
    l.parity = parities[size_t(s.parity)];
    l.stopBits = s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
    l.flow = s.handshake == Handshake::RtsCts    ? QSerialPort::HardwareControl
             : s.handshake == Handshake::XonXoff ? QSerialPort::SoftwareControl
                                                 : QSerialPort::NoFlowControl;
    l.dtr = s.handshake == Handshake::DtrDsr || s.dtr != HeldLine::Low;
    if (s.handshake != Handshake::RtsCts) l.rts = s.rts != HeldLine::Low;
    return l;
}

QtSerialPort::QtSerialPort(QObject *parent, Clock &clock)
    : SerialPort(parent), m_port(new QSerialPort(this)), m_watch(clock.createTimer(this))
{
    connect(m_watch, &Timer::timeout, this, &QtSerialPort::checkInputLines);
    connect(m_port, &QSerialPort::readyRead, this, [this] {
        const QByteArray bytes = m_port->readAll();
        if (!bytes.isEmpty()) emit received(bytes);
    });
    connect(m_port, &QSerialPort::bytesWritten, this, &SerialPort::bytesWritten);
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });
}

QtSerialPort::~QtSerialPort() = default;

void QtSerialPort::setLine(const DeviceLine &l)
{
    m_port->setBaudRate(l.baud);
    m_port->setDataBits(l.dataBits);
    m_port->setParity(l.parity);
    m_port->setStopBits(l.stopBits);
    m_port->setFlowControl(l.flow);
    if (!m_port->isOpen()) return;
    m_port->setDataTerminalReady(l.dtr);
    if (l.rts) m_port->setRequestToSend(*l.rts);
}

QSerialPort::PinoutSignals QtSerialPort::pinout() const
{
    return m_port->isOpen() ? m_port->pinoutSignals() : QSerialPort::NoSignal;
}

void QtSerialPort::applyLineSettings()
{
    setLine(DeviceLine::of(m_settings));
    if (m_port->isOpen()) restrictXonToDc1();
}

void QtSerialPort::watchInputLines(bool on)
{
    if (!on) return m_watch->stop();
    m_lines = pinout();
    m_watch->start(WatchMs);
}

void QtSerialPort::checkInputLines()
{
    const auto mask = QSerialPort::ClearToSendSignal | QSerialPort::DataSetReadySignal;
    const QSerialPort::PinoutSignals now = pinout();
    m_watch->start(WatchMs);
    if ((now & mask) == (std::exchange(m_lines, now) & mask)) return;
    emit inputLinesChanged();
}

void QtSerialPort::restrictXonToDc1()
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

bool QtSerialPort::open(const QString &name, const LineSettings &settings)
{
    if (m_port->isOpen()) {
        if (name == m_name) {
            if (settings != m_settings) apply(settings);
            return true;
        }
        // Another device was named: never go on talking to the old one.
        close();
    }
    m_name = name;
    m_settings = settings;
    m_configuring = true;
    m_losing = false;
    m_port->setPortName(name);
    applyLineSettings();
    const bool ok = m_port->open(QIODevice::ReadWrite);
    if (ok) {
        applyLineSettings();
        m_port->clear(QSerialPort::AllDirections);
    }
    m_port->clearError();
    m_configuring = false;
    return ok;
}

void QtSerialPort::close()
{
    m_losing = false;
    m_watch->stop();
    // Closing a device that has gone restores its settings in vain; that
    // failure is no news.
    m_configuring = true;
    if (m_port->isOpen()) m_port->close();
    m_port->clearError();
    m_configuring = false;
}

bool QtSerialPort::isOpen() const
{
    return m_port->isOpen();
}

void QtSerialPort::apply(const LineSettings &settings)
{
    m_settings = settings;
    if (!m_port->isOpen()) return;
    m_configuring = true;
    applyLineSettings();
    m_port->clearError();
    m_configuring = false;
    // Setting the lines may itself have found the device gone.
    if (m_port->isOpen() && deviceGone()) lose();
}

void QtSerialPort::flush(Direction which)
{
    if (!m_port->isOpen()) return;
    m_port->clear(which == Direction::Both    ? QSerialPort::AllDirections
                  : which == Direction::Input ? QSerialPort::Input
                                              : QSerialPort::Output);
}

bool QtSerialPort::write(const QByteArray &bytes)
{
    if (!m_port->isOpen()) return false;
    if (bytes.isEmpty()) return true;
    return m_port->write(bytes) == bytes.size();
}

qint64 QtSerialPort::bytesToWrite() const
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

bool QtSerialPort::deviceGone() const
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

void QtSerialPort::onError(int error)
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

void QtSerialPort::lose()
{
    if (m_losing) return;
    m_losing = true;
    // Close outside QSerialPort's own notification: it is still on the stack.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_losing) return;
            m_losing = false;
            m_watch->stop();
            if (m_port->isOpen()) m_port->close();
            m_port->clearError();
            emit lost();
        },
        Qt::QueuedConnection);
}

QStringList QtPortList::names() const
{
    QStringList out;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        out << info.portName();
    return out;
}
