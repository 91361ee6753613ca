#include "process/lockholder.h"

#include <QFile>
#include <QRegularExpression>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace
{
// A busy system's table of locks is long; one that goes on past this is
// read no further (a holder beyond it is simply not known).
constexpr qint64 kMaxTableBytes = 1024 * 1024;
// A command line is named by its start: enough to tell the program and
// its first arguments.
constexpr int kMaxCommandBytes = 160;

QByteArray readProc(const QByteArray &path, qint64 maxBytes)
{
    QFile f(QString::fromLatin1(path));
    return f.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ? f.read(maxBytes) : QByteArray();
}

QString userName(uid_t uid)
{
    struct passwd entry = {}, *found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}
} // namespace

QList<qint64> lockHoldersIn(const QByteArray &table, quint32 major, quint32 minor, quint64 inode)
{
    // "1: FLOCK  ADVISORY  WRITE 4711 fe:00:1234 0 EOF"; a waiter's line
    // has "->" after the number.
    QList<qint64> holders;
    for (const QByteArray &line : table.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 6 || f[1] != "FLOCK") continue;
        const QList<QByteArray> file = f[5].split(':');
        bool ok[4] = {};
        const qint64 pid = f[4].toLongLong(&ok[0]);
        if (file.size() != 3 || file[0].toUInt(&ok[1], 16) != major ||
            file[1].toUInt(&ok[2], 16) != minor || file[2].toULongLong(&ok[3]) != inode)
            continue;
        if (ok[0] && ok[1] && ok[2] && ok[3] && pid > 0 && !holders.contains(pid)) holders << pid;
    }
    return holders;
}

QList<qint64> lockHolders(const struct stat &st, bool *known)
{
    const QList<qint64> holders =
        lockHoldersIn(readProc("/proc/locks", kMaxTableBytes), major(st.st_dev), minor(st.st_dev),
                      quint64(st.st_ino));
    *known = !holders.isEmpty();
    return holders;
}

QString describeProcess(qint64 pid)
{
    const QByteArray folder = "/proc/" + QByteArray::number(pid);
    QString out = QStringLiteral("process %1").arg(pid);
    struct stat st = {};
    if (::stat(folder.constData(), &st) != 0) return out;
    out += QStringLiteral(" of user ") + userName(st.st_uid);
    QByteArray command = readProc(folder + "/cmdline", kMaxCommandBytes + 1);
    if (command.endsWith('\0')) command.chop(1);
    // The program by its name, not its folder; any byte that could upset
    // a terminal or a journal shown as '?'.
    const qsizetype name = command.left(command.indexOf('\0')).lastIndexOf('/');
    command = command.mid(name + 1).replace('\0', ' ');
    for (char &c : command)
        if (uchar(c) < 0x20 || uchar(c) == 0x7f) c = '?';
    if (command.size() > kMaxCommandBytes) command = command.left(kMaxCommandBytes) + "...";
    return command.trimmed().isEmpty() ? out
                                       : out + QStringLiteral(", ") + QString::fromUtf8(command);
}

qint64 trustedHolder(const QString &text, const QList<qint64> &holders, bool known)
{
    static const QRegularExpression named(QStringLiteral("^process (\\d{1,9}), "));
    const qint64 pid = named.match(text).captured(1).toLongLong();
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0) return 0;
    if (known && !holders.contains(pid)) return 0;
    // Root may signal every process: whose it is, /proc tells.
    struct stat st = {};
    const QByteArray folder = "/proc/" + QByteArray::number(pid);
    if (::stat(folder.constData(), &st) == 0 && st.st_uid != ::geteuid()) return 0;
    return pid;
}
