#include "sim/simtransport.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace
{
// What may wait for a PC that does not read; beyond it writes are refused.
constexpr qsizetype MaxPending = 1 << 20;
} // namespace

PtyTransport::PtyTransport(QObject *parent) : SimTransport(parent)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    char name[256] = {};
    termios t{};
    if (m_master < 0 || ::grantpt(m_master) || ::unlockpt(m_master) ||
        ::ptsname_r(m_master, name, sizeof name) ||
        (m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK)) < 0 ||
        ::tcgetattr(m_master, &t)) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    // Raw until the PC opens the device and sets its own line up.
    ::cfmakeraw(&t);
    ::tcsetattr(m_master, TCSANOW, &t);
    m_slavePath = QString::fromLocal8Bit(name);
    watch();
}

PtyTransport::PtyTransport(int fd, const QString &path, const QString &error, QObject *parent)
    : SimTransport(parent), m_master(fd), m_slavePath(path), m_error(error)
{
    if (fd >= 0) watch();
}

void PtyTransport::watch()
{
    m_readable = new QSocketNotifier(qintptr(m_master), QSocketNotifier::Read, this);
    m_readable->setEnabled(false);
    connect(m_readable, &QSocketNotifier::activated, this, &PtyTransport::readSome);
    m_writable = new QSocketNotifier(qintptr(m_master), QSocketNotifier::Write, this);
    m_writable->setEnabled(false);
    connect(m_writable, &QSocketNotifier::activated, this, &PtyTransport::writeSome);
}

PtyTransport::~PtyTransport()
{
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
}

bool PtyTransport::write(const QByteArray &bytes)
{
    if (m_master < 0 || m_out.size() + bytes.size() > MaxPending) return false;
    m_out += bytes;
    writeSome();
    return true;
}

void PtyTransport::writeSome()
{
    while (!m_out.isEmpty()) {
        const ssize_t n = ::write(m_master, m_out.constData(), size_t(m_out.size()));
        if (n > 0) {
            m_out.remove(0, n);
        } else if (n < 0 && errno != EINTR) {
            break; // full (EAGAIN): the notifier says when there is room
        }
    }
    m_writable->setEnabled(!m_out.isEmpty());
}

void PtyTransport::setRoom(qsizetype room)
{
    m_room = room;
    if (m_readable) m_readable->setEnabled(room > 0);
}

void PtyTransport::readSome()
{
    char buf[4096];
    const ssize_t n = ::read(m_master, buf, size_t(qMin<qsizetype>(m_room, sizeof buf)));
    if (n > 0) emit received(QByteArray(buf, n));
}

qint64 PtyTransport::characterNs() const
{
    static const struct {
        speed_t code;
        int baud;
    } speeds[] = {{B300, 300},       {B600, 600},       {B1200, 1200},     {B2400, 2400},
                  {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
                  {B57600, 57600},   {B115200, 115200}, {B230400, 230400}};
    termios t{};
    int baud = 9600;
    if (m_master >= 0 && ::tcgetattr(m_master, &t) == 0)
        for (const auto &s : speeds)
            if (s.code == ::cfgetospeed(&t)) baud = s.baud;
    const tcflag_t size = t.c_cflag & CSIZE;
    const int bits = 1 + (size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8) +
                     ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1);
    return 1'000'000'000LL * bits / baud;
}

DeviceTransport::Opened DeviceTransport::open(const QString &path, int baud)
{
    static const QList<std::pair<int, speed_t>> speeds = {{300, B300}, {600, B600}, {1200, B1200}, {2400, B2400},
        {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    speed_t speed = B0;
    for (const auto &[b, code] : speeds)
        if (b == baud) speed = code;
    const int fd = ::open(qPrintable(path), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    QString error;
    if (fd < 0 || ::tcgetattr(fd, &t)) {
        error = QString::fromLocal8Bit(std::strerror(errno));
    } else if (speed == B0) {
        error = QStringLiteral("--baud %1 is no speed a serial device takes").arg(baud);
    } else {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::cfsetspeed(&t, speed);
        if (::tcsetattr(fd, TCSANOW, &t) == 0) return {fd, {}};
        error = QString::fromLocal8Bit(std::strerror(errno));
    }
    if (fd >= 0) ::close(fd);
    return {-1, error};
}

DeviceTransport::DeviceTransport(const QString &path, int baud, QObject *parent)
    : DeviceTransport(path, open(path, baud), parent)
{
}

bool DeviceTransport::hasModemLines() const
{
    int lines = 0;
    return m_master >= 0 && ::ioctl(m_master, TIOCMGET, &lines) == 0;
}

bool DeviceTransport::setDtrLow(bool low)
{
    int dtr = TIOCM_DTR;
    return m_master >= 0 && ::ioctl(m_master, low ? TIOCMBIC : TIOCMBIS, &dtr) == 0;
}

TcpTransport::TcpTransport(quint16 port, int baud, QObject *parent)
    : SimTransport(parent), m_server(new QTcpServer(this)), m_baud(qMax(1, baud))
{
    if (!m_server->listen(QHostAddress::LocalHost, port)) m_error = m_server->errorString();
    connect(m_server, &QTcpServer::newConnection, this, &TcpTransport::accept);
}

QString TcpTransport::deviceName() const
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_server->serverPort());
}

void TcpTransport::accept()
{
    while (QTcpSocket *s = m_server->nextPendingConnection()) {
        if (m_client) { // one PC at a time, as on a serial line
            emit message(QStringLiteral("Refused a second connection: one PC at a time."));
            s->abort();
            s->deleteLater();
            continue;
        }
        m_client = s;
        s->setReadBufferSize(4096); // unread bytes wait in the PC's buffers
        emit message(QStringLiteral("PC connected."));
        if (!m_greeting.isEmpty()) s->write(m_greeting);
        connect(s, &QTcpSocket::readyRead, this, &TcpTransport::readSome);
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            emit message(QStringLiteral("PC disconnected."));
            s->deleteLater();
            if (m_client == s) m_client = nullptr;
        });
    }
}

bool TcpTransport::write(const QByteArray &bytes)
{
    return m_client && m_client->bytesToWrite() + bytes.size() <= MaxPending &&
           m_client->write(bytes) == bytes.size();
}

void TcpTransport::setRoom(qsizetype room)
{
    m_room = room;
    readSome();
}

void TcpTransport::readSome()
{
    if (m_client && m_room > 0 && m_client->bytesAvailable() > 0)
        emit received(m_client->read(m_room));
}
