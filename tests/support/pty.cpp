#include "pty.h"

#include "core/base/clock.h"
#include "sim/simcontrol.h"

#include <QSocketNotifier>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

Pty::Pty(QObject *parent) : QObject(parent)
{
    // posix_openpt rather than openpty: this header hides the system's <pty.h>.
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    char name[256] = {};
    if (m_master < 0 || ::grantpt(m_master) || ::unlockpt(m_master) ||
        ::ptsname_r(m_master, name, sizeof name)) {
        closeMaster();
        return;
    }
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    termios t{}; // one set of settings for both ends
    ::tcgetattr(m_slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(m_slave, TCSANOW, &t);
    m_slavePath = QString::fromLocal8Bit(name);
    m_notifier = new QSocketNotifier(qintptr(m_master), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        if (pull()) emit readyRead();
    });
}

Pty::~Pty()
{
    closeMaster();
    if (m_slave >= 0) ::close(m_slave);
}

bool Pty::write(const QByteArray &bytes, int timeoutMs)
{
    qsizetype done = 0;
    (void)QTest::qWaitFor( // the program may not have read yet
        [&] {
            const ssize_t n =
                ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            done += qMax<ssize_t>(0, n);
            return done == bytes.size() || (n < 0 && errno != EAGAIN && errno != EINTR);
        },
        timeoutMs);
    return done == bytes.size();
}

bool Pty::pull()
{
    const qsizetype before = m_in.size();
    char buf[4096];
    ssize_t n = 0;
    while (m_master >= 0 &&
           ((n = ::read(m_master, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)))
        if (n > 0) m_in.append(buf, n);
    return m_in.size() > before;
}

QByteArray Pty::readAll()
{
    pull();
    return std::exchange(m_in, {});
}

QByteArray Pty::readFor(qsizetype n, int timeoutMs)
{
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
    delete std::exchange(m_notifier, nullptr);
    ::close(std::exchange(m_master, -1));
}

void Pty::attach(SimControl &control)
{
    control.toPc = [this](const QByteArray &bytes, qint64) { write(bytes); };
    connect(this, &Pty::readyRead, &control, [this, &control] {
        for (const char b : readAll()) {
            toControl += b;
            control.receive(b, Clock::system().nowNs());
        }
    });
}
