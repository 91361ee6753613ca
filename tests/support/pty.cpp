#include "pty.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTest>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty(QObject *parent) : QObject(parent)
{
    // posix_openpt rather than openpty: the system's <pty.h> would be
    // shadowed by this file's own header on the include path.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return;
    char name[PATH_MAX] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) {
        ::close(master);
        return;
    }
    for (int fd : {master, slave}) {
        termios t{};
        if (::tcgetattr(fd, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd, TCSANOW, &t);
        }
    }
    const int flags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
    m_master = master;
    m_slave = slave;
    m_slavePath = QString::fromLocal8Bit(name);
    m_notifier = new QSocketNotifier(qintptr(m_master), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Pty::onActivated);
}

Pty::~Pty()
{
    closeMaster();
    if (m_slave >= 0) ::close(m_slave);
}

bool Pty::write(const QByteArray &bytes, int timeoutMs)
{
    qsizetype done = 0;
    const QDeadlineTimer deadline(timeoutMs);
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        if (deadline.hasExpired()) return false;
        // The program has not read yet: let it run, then try again.
        QTest::qWait(1);
    }
    return done == bytes.size();
}

bool Pty::pull()
{
    if (m_master < 0) return false;
    bool any = false;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            m_in.append(buf, n);
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // EAGAIN: nothing more now. EIO: no slave open at the moment.
        break;
    }
    return any;
}

void Pty::onActivated()
{
    if (pull()) {
        emit readyRead();
        return;
    }
    // Readable but nothing to read: the slave side has no open fd (EIO).
    // Cannot happen while the pair keeps its own slave fd, but never spin.
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) m_notifier->setEnabled(false);
}

QByteArray Pty::readAll()
{
    pull();
    QByteArray out;
    out.swap(m_in);
    return out;
}

QByteArray Pty::readFor(qsizetype n, int timeoutMs)
{
    pull();
    if (m_in.size() < n)
        (void)QTest::qWaitFor(
            [&] {
                pull();
                return m_in.size() >= n;
            },
            timeoutMs);
    const QByteArray out = m_in.left(n);
    m_in.remove(0, out.size());
    return out;
}

void Pty::closeMaster()
{
    if (m_master < 0) return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_master);
    m_master = -1;
}
