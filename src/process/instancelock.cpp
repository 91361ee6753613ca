#include "process/instancelock.h"

#include "core/base/atomicfile.h"
#include "process/lockholder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
// Who holds a lock is a short text; a lock file grown by something else is
// read no further than this.
constexpr int kMaxHolderBytes = 256;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

InstanceLock::~InstanceLock()
{
    release();
}

void InstanceLock::release()
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool InstanceLock::heldElsewhere(const struct stat &st)
{
    // Another user's lock file is in use when a program of theirs holds it,
    // and the system says by whom.
    if (!S_ISREG(st.st_mode) || st.st_uid == ::geteuid() || st.st_nlink != 1) return false;
    bool known = false;
    const QList<qint64> holders = lockHolders(st, &known);
    if (known) m_detail = describeProcess(holders.first());
    return known;
}

InstanceLock::Result InstanceLock::refuse(const struct stat &st, const QString &why)
{
    if (heldElsewhere(st)) return Result::Held;
    m_detail = QStringLiteral("\"%1\" is not the program's own lock file: %2")
                   .arg(QDir::toNativeSeparators(m_lockPath), why);
    return Result::Refused;
}

InstanceLock::Result InstanceLock::unopened(const QByteArray &path, int error)
{
    struct stat st = {};
    const bool exists = ::lstat(path.constData(), &st) == 0;
    const bool denied = error == EACCES || error == EPERM;
    if (exists && denied && heldElsewhere(st)) return Result::Held;
    // Where the folder cannot be written there is no lock file to take (a
    // read-only share: the caller locks the user's own file instead, or
    // goes on without); nor can anyone else make one there.
    const QByteArray folder = QFile::encodeName(QFileInfo(m_lockPath).path());
    if (error == EROFS || (!exists && (denied || error == ENOENT)) ||
        (exists && ::faccessat(AT_FDCWD, folder.constData(), W_OK, AT_EACCESS) != 0)) {
        m_detail = systemReason(error);
        return Result::Failed;
    }
    if (const QString why = exists ? notOwnReason(st, S_IFREG) : QString(); !why.isEmpty())
        return refuse(st, why);
    m_detail = QStringLiteral("\"%1\" cannot be opened: %2")
                   .arg(QDir::toNativeSeparators(m_lockPath), systemReason(error));
    return Result::Refused;
}

InstanceLock::Result InstanceLock::acquire(const QString &configPath, const QString &who)
{
    release();
    m_detail.clear();
    m_tavrin = false;
    // The same folder reached by two paths (a link) is one lock. The file's
    // own link is not followed: the lock never lands beside whatever file
    // someone else's link points at.
    const QFileInfo info(configPath);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    m_lockPath = (folder.isEmpty() ? info.absolutePath() : folder) + u'/' + info.fileName() +
                 QStringLiteral(".lock");
    const QByteArray path = QFile::encodeName(m_lockPath);
    // Never through a link, and never emptied before it is known to be the
    // program's own.
    const int fd =
        ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return unopened(path, errno);
    struct stat st = {};
    const QString why = ::fstat(fd, &st) != 0 ? systemReason(errno) : notOwnReason(st, S_IFREG);
    if (!why.isEmpty()) {
        ::close(fd);
        return refuse(st, why);
    }
    // Opened by this user only from now on; whoever opened it before, when
    // it was open to more, still may, and is named below.
    if ((st.st_mode & 07777) != 0600) static_cast<void>(::fchmod(fd, 0600));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK) {
            ::close(fd);
            m_detail = QStringLiteral("\"%1\" cannot be locked: %2")
                           .arg(QDir::toNativeSeparators(m_lockPath), systemReason(error));
            return Result::Refused;
        }
        char buf[kMaxHolderBytes];
        const ssize_t n = ::pread(fd, buf, sizeof buf, 0);
        ::close(fd);
        const QString text = QString::fromUtf8(buf, n > 0 ? qsizetype(n) : 0).trimmed();
        bool known = false;
        const QList<qint64> holders = lockHolders(st, &known);
        m_tavrin = trustedHolder(text, holders, known) > 0;
        m_detail = m_tavrin ? text : known ? describeProcess(holders.first()) : QString();
        return Result::Held;
    }
    const QByteArray me =
        QStringLiteral("process %1, %2\n").arg(QCoreApplication::applicationPid()).arg(who).toUtf8();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, me.constData(), size_t(me.size()), 0) < 0) {
        // The lock is held all the same; only the name of its holder is lost.
    }
    m_fd = fd;
    return Result::Acquired;
}

QString InstanceLock::heldMessage(const QString &configPath) const
{
    const QString file = QDir::toNativeSeparators(configPath);
    if (!m_tavrin)
        return QStringLiteral("The lock on \"%1\" is held by another process%2, not by a Tavrin of "
                              "this user, so this one ends: two programs on one configuration "
                              "would overwrite each other's changes.")
            .arg(QDir::toNativeSeparators(m_lockPath),
                 m_detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m_detail));
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

QString InstanceLock::refusedMessage(const QString &configPath) const
{
    return QStringLiteral("The configuration file \"%1\" cannot be locked against a second "
                          "program, so this one ends: %2.")
        .arg(QDir::toNativeSeparators(configPath), m_detail);
}
