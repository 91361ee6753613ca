#include "process/instancelock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace
{
// Who holds a lock is a short text; a lock file grown by something else is
// read no further than this.
constexpr int kMaxHolderBytes = 256;

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

InstanceLock::~InstanceLock()
{
    release();
}

void InstanceLock::release()
{
#if defined(Q_OS_UNIX)
    if (m_fd >= 0) ::close(m_fd);
#endif
    m_fd = -1;
}

InstanceLock::Result InstanceLock::acquire(const QString &configPath, const QString &who)
{
    release();
    m_detail.clear();
    // The same folder reached by two paths (a link) is one lock. The file's
    // own link is not followed: the lock never lands beside whatever file
    // someone else's link points at.
    const QFileInfo info(configPath);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    m_lockPath = (folder.isEmpty() ? info.absolutePath() : folder) + u'/' + info.fileName() +
                 QStringLiteral(".lock");
#if defined(Q_OS_UNIX)
    // Never through a link: a lock file is the program's own.
    const int fd = ::open(QFile::encodeName(m_lockPath).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_detail = systemReason();
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        m_detail = systemReason();
        if (held) {
            char buf[kMaxHolderBytes];
            const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
            m_detail = QString::fromUtf8(buf, n > 0 ? qsizetype(n) : 0).trimmed();
        }
        ::close(fd);
        return held ? Result::Held : Result::Failed;
    }
    const QByteArray me =
        QStringLiteral("process %1, %2\n").arg(QCoreApplication::applicationPid()).arg(who).toUtf8();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, me.constData(), size_t(me.size()), 0) < 0) {
        // The lock is held all the same; only the name of its holder is lost.
    }
    m_fd = fd;
#else
    Q_UNUSED(who);
#endif
    return Result::Acquired;
}

QString InstanceLock::heldMessage(const QString &configPath) const
{
    const QString file = QDir::toNativeSeparators(configPath);
    // The service runs with nobody at the screen: the message says how it
    // is stopped, since no window of it can be closed.
    if (m_detail.endsWith(QLatin1String("tavrin --serve")))
        return QStringLiteral("The Tavrin service (%1) serves the machines of the "
                              "configuration file \"%2\", so this one ends: two programs on "
                              "one configuration would overwrite each other's changes. Stop the "
                              "service first (systemctl stop tavrin@%3, or Ctrl+C where it "
                              "runs).")
            .arg(m_detail, file, qEnvironmentVariable("USER", QStringLiteral("USER")));
    return QStringLiteral("Tavrin is already running with the configuration file \"%1\"%2. "
                          "Two programs on one configuration would overwrite each other's "
                          "changes, so this one ends.")
        .arg(file, m_detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m_detail));
}
