#include "core/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile f(path);
    // Unbuffered, so that a short write (a full disk) shows in write()'s
    // count: a buffered QSaveFile can lose that error at commit and rename a
    // truncated file over the good one.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return f.errorString();
    const qint64 written = f.write(bytes);
    if (written != bytes.size()) {
        const QString reason =
            f.error() != QFileDevice::NoError
                ? f.errorString()
                : QStringLiteral("only %1 of %2 bytes could be written (is the disk full?)")
                      .arg(qMax<qint64>(written, 0))
                      .arg(bytes.size());
        f.cancelWriting();
        return reason;
    }
    if (!f.commit()) {
        const QString reason = f.errorString();
        return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
    }
    return {};
}

QString readRegularFile(const QString &path, QByteArray *bytes)
{
#if defined(Q_OS_UNIX)
    // Opened without blocking, then checked: a FIFO would otherwise wait for
    // a writer for ever.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return QStringLiteral("it is not a regular file");
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return f.errorString();
    }
#else
    if (!QFileInfo(path).isFile()) return QStringLiteral("it is not a regular file");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return f.errorString();
#endif
    *bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) return f.errorString();
    return {};
}
