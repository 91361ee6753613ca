#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct stat;

// Who holds the system's advisory lock on a file, as the system itself
// tells it: a lock file's own text says who wrote it last, and anyone able
// to open the file may hold the lock without writing a word.

// The processes that hold a flock() lock on the file of device
// `major`:`minor` and inode `inode`, in the system's table of locks (the
// text of /proc/locks); waiters are not holders.
QList<qint64> lockHoldersIn(const QByteArray &table, quint32 major, quint32 minor, quint64 inode);
// The same from the running system for the file `st` tells of; `known`
// false when the system lists none (no /proc, or a file system whose files
// it lists under other numbers).
QList<qint64> lockHolders(const struct stat &st, bool *known);

// A process as the system names it: "process 4711 of user alice, tavrin
// --serve", its command line cut short; "process 4711" when it tells no more.
QString describeProcess(qint64 pid);

// The process a lock file's text names ("process 4711, tavrin --serve"),
// when that process runs as this user and, where the system tells, holds
// the lock itself; 0 otherwise. A process that ended leaves its text
// behind, and its number may be another's by now.
qint64 trustedHolder(const QString &text, const QList<qint64> &holders, bool known);
