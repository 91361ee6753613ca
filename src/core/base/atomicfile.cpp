#include "core/base/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
QString reasonFor(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The folder part of a path, with its slash; empty for a bare name.
QByteArray folderOf(const QByteArray &path)
{
    return path.left(path.lastIndexOf('/') + 1);
}

// Writes all of `bytes`, or returns the system's error number (a disk that
// takes nothing more without saying why counts as full).
int writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        done += n;
    }
    return 0;
}

// A new file beside `target`, only ever reachable by this call: created, never
// opened through a link, with no more permissions than `mode`.
int createTemporary(const QByteArray &target, mode_t mode, QByteArray *name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = target + ".tmp-";
        for (int i = 0; i < 6; ++i)
            *name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        const int fd =
            ::open(name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The permission bits `fd` is to have to be no more open than `like`: its
// group too, where the system lets it; otherwise the group gets nothing.
int copyPermissions(int fd, const struct stat &like)
{
    mode_t mode = like.st_mode & 0777;
    struct stat own = {};
    if (::fstat(fd, &own) != 0) return errno;
    if (own.st_gid != like.st_gid && ::fchown(fd, uid_t(-1), like.st_gid) != 0) mode &= ~0070;
    return ::fchmod(fd, mode) == 0 ? 0 : errno;
}

// Removes `path` if it is a regular file of the running user: a link, or
// someone else's file, stays.
bool removeOwnFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    return ::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
           ::unlink(name.constData()) == 0;
}

// Flushes a rename to the disk; a folder that cannot be opened just stays
// as the system keeps it.
void syncFolder(const QByteArray &file)
{
    const QByteArray folder = folderOf(file);
    const int fd =
        ::open(folder.isEmpty() ? "." : folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
} // namespace

QString followOwnLinks(const QString &path, QByteArray *target)
{
    QByteArray p = QFile::encodeName(path);
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st = {};
        // A path that cannot be examined is left to the open or rename that
        // follows, which gives its reason.
        if (::lstat(p.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = p;
            return {};
        }
        if (st.st_uid != ::geteuid())
            return hop == 0 ? QStringLiteral("it is a symbolic link that belongs to another user")
                            : QStringLiteral("it leads through \"%1\", a symbolic link that "
                                             "belongs to another user")
                                  .arg(QFile::decodeName(p));
        QByteArray next(PATH_MAX, '\0');
        const ssize_t n = ::readlink(p.constData(), next.data(), size_t(next.size()));
        if (n < 0) return reasonFor(errno);
        if (n >= next.size()) return reasonFor(ENAMETOOLONG);
        next.truncate(n);
        p = next.startsWith('/') ? next : folderOf(p) + next;
    }
    return reasonFor(ELOOP);
}

QString writeFileAtomically(const QString &path, const QByteArray &bytes,
                            const QString &permissionsOf)
{
    QByteArray target;
    if (const QString why = followOwnLinks(path, &target); !why.isEmpty()) return why;
    struct stat old = {};
    bool copy = ::lstat(target.constData(), &old) == 0;
    if (copy && !S_ISREG(old.st_mode)) return QStringLiteral("it is not a regular file");
    if (!permissionsOf.isEmpty()) {
        QByteArray like;
        if (const QString why = followOwnLinks(permissionsOf, &like); !why.isEmpty()) return why;
        if (::stat(like.constData(), &old) != 0) return reasonFor(errno);
        copy = true;
    }

    QByteArray temporary;
    // A copy starts with its owner's permissions only and gets the rest
    // after its group is settled; a new file gets the usual ones.
    const int fd = createTemporary(target, copy ? old.st_mode & 0700 : 0666, &temporary);
    if (fd < 0) return reasonFor(errno);
    int error = copy ? copyPermissions(fd, old) : 0;
    if (!error) error = writeAll(fd, bytes);
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    // rename() replaces a link planted at the target since the check; it
    // never writes through it.
    if (!error && ::rename(temporary.constData(), target.constData()) != 0) error = errno;
    if (error) {
        ::unlink(temporary.constData());
        return reasonFor(error);
    }
    syncFolder(target);
    return {};
}

QString appendToFile(const QString &path, const QByteArray &bytes)
{
    QByteArray target;
    if (const QString why = followOwnLinks(path, &target); !why.isEmpty()) return why;
    // Not blocking: a FIFO without a reader is refused, not waited for.
    const int fd =
        ::open(target.constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return reasonFor(errno);
    struct stat st = {};
    int error = ::fstat(fd, &st) != 0 ? errno : 0;
    if (!error && !S_ISREG(st.st_mode)) {
        ::close(fd);
        return QStringLiteral("it is not a regular file");
    }
    if (!error) {
        error = writeAll(fd, bytes);
        // Part of the bytes must not stay: the next append would continue them.
        if (error) static_cast<void>(::ftruncate(fd, st.st_size));
    }
    ::close(fd);
    return error ? reasonFor(error) : QString();
}

QString whyNotWritable(const QString &path)
{
    QByteArray target;
    if (const QString why = followOwnLinks(path, &target); !why.isEmpty()) return why;
    struct stat st = {};
    const bool exists = ::lstat(target.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return QStringLiteral("it is a folder");
    if (exists && !S_ISREG(st.st_mode)) return QStringLiteral("it is not a regular file");
    // The temporary file is made in the folder, and renamed there.
    const QByteArray folder = folderOf(target);
    if (::faccessat(AT_FDCWD, folder.isEmpty() ? "." : folder.constData(), W_OK | X_OK,
                    AT_EACCESS) != 0)
        return reasonFor(errno);
    return {};
}

QString whyFolderNotWritable(const QString &folder)
{
    QByteArray target;
    if (const QString why = followOwnLinks(folder, &target); !why.isEmpty()) return why;
    struct stat st = {};
    if (::stat(target.constData(), &st) != 0) return reasonFor(errno);
    if (!S_ISDIR(st.st_mode)) return QStringLiteral("it is not a folder");
    if (::faccessat(AT_FDCWD, target.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return reasonFor(errno);
    return {};
}

QString readRegularFile(const QString &path, QByteArray *bytes, qint64 maxBytes, bool *tooLarge)
{
    if (tooLarge) *tooLarge = false;
    QByteArray target;
    if (const QString why = followOwnLinks(path, &target); !why.isEmpty()) return why;
    // Opened without blocking, then checked: a FIFO would otherwise wait for
    // a writer for ever.
    const int fd = ::open(target.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return reasonFor(errno);
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return QStringLiteral("it is not a regular file");
    }
    const QString larger =
        maxBytes % (1024 * 1024) == 0
            ? QStringLiteral("it is larger than %1 MB").arg(maxBytes / (1024 * 1024))
            : QStringLiteral("it is larger than %1 bytes").arg(maxBytes);
    if (maxBytes >= 0 && st.st_size > maxBytes) {
        if (tooLarge) *tooLarge = true;
        ::close(fd);
        return larger;
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return f.errorString();
    }
    // Bounded even when the file grows while it is read.
    *bytes = maxBytes >= 0 ? f.read(maxBytes + 1) : f.readAll();
    if (f.error() != QFileDevice::NoError) return f.errorString();
    if (maxBytes < 0 || bytes->size() <= maxBytes) return {};
    // It grew while it was read.
    if (tooLarge) *tooLarge = true;
    bytes->clear();
    return larger;
}

QString notOwnReason(const struct stat &st, unsigned type)
{
    if (S_ISLNK(st.st_mode)) return QStringLiteral("it is a symbolic link");
    if ((st.st_mode & S_IFMT) != type)
        return type == S_IFDIR ? QStringLiteral("it is not a folder")
                               : QStringLiteral("it is not a regular file");
    if (st.st_uid != ::geteuid()) return QStringLiteral("it belongs to another user");
    if (type == S_IFREG && st.st_nlink != 1)
        return QStringLiteral("it has another name too (a hard link)");
    return {};
}

QString makeOwnFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const QString shown = QDir::toNativeSeparators(path);
    // mkdir() never follows a link in the folder's place: it finds it there.
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("\"%1\" cannot be made: %2").arg(shown, reasonFor(errno));
    struct stat st = {};
    if (::lstat(name.constData(), &st) != 0)
        return QStringLiteral("\"%1\" cannot be examined: %2").arg(shown, reasonFor(errno));
    const QString why = notOwnReason(st, S_IFDIR);
    return why.isEmpty()
               ? why
               : QStringLiteral("\"%1\" is not the program's own folder: %2").arg(shown, why);
}

void removeLeftoverTemporaries(const QString &path)
{
    const QFileInfo file(path);
    const QString name = QRegularExpression::escape(file.fileName());
    // Earlier versions' random part is six letters (and digits); six of one
    // case are more likely a word ("NAME.backup"), someone's copy, and stay.
    static const QRegularExpression word(QStringLiteral("^([a-z]{6}|[A-Z]{6})$"));
    const QRegularExpression ours(QStringLiteral("^%1\\.(tmp-)?([A-Za-z0-9]{6})$").arg(name));
    const QDir folder = file.dir();
    for (const QString &entry : folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch m = ours.match(entry);
        if (!m.hasMatch() || (m.captured(1).isEmpty() && word.match(m.captured(2)).hasMatch()))
            continue;
        removeOwnFile(folder.filePath(entry));
    }
}

bool isWriteTemporary(const QString &fileName)
{
    static const QRegularExpression temporary(
        QRegularExpression::anchoredPattern(QStringLiteral(".+\\.tmp-[A-Za-z0-9]{6}")));
    return temporary.match(fileName).hasMatch();
}

QStringList removeLeftoverTemporariesIn(const QString &folder)
{
    QStringList removed;
    // An empty setting is no folder, not the working one.
    if (folder.isEmpty()) return removed;
    const QDir dir(folder);
    for (const QString &entry : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System)) {
        if (isWriteTemporary(entry) && removeOwnFile(dir.filePath(entry)))
            removed << dir.filePath(entry);
    }
    return removed;
}
