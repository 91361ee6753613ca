#pragma once

#include <QString>

struct stat;

// Keeps a second Tavrin off a configuration file that one is already using:
// two programs on one zoZad.ini would overwrite each other's changes. The
// port claims are such locks too, one per device.
//
// The lock is the system's advisory lock on "<file>.lock" beside the file.
// The system drops it when the holding process ends, however it ends, so a
// program that died never keeps the next one out. The lock file also says
// who holds it, for the message the next start shows.
//
// Anyone who can open a lock file can hold its lock, and a program run as
// root in a shared folder would write wherever a planted link led: a lock
// file is the user's own, for the user only (0600), and taken only when it
// is a regular file of the user's with one name. Another's, a link or a
// hard link is refused, never emptied nor locked.
class InstanceLock
{
public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;
    ~InstanceLock();

    // Failed: the folder takes no lock file (it cannot be written), so
    // there is nothing to lock there. Refused: the lock file there is not
    // the program's own, or cannot be locked.
    enum class Result { Acquired, Held, Failed, Refused };
    // Takes the lock for the configuration file at `configPath`, naming this
    // process as `who` (for example "tavrin --serve").
    Result acquire(const QString &configPath, const QString &who);
    void release();

    // The lock file, once acquire() has worked it out.
    QString lockPath() const { return m_lockPath; }
    // After Held: who holds it ("process 4711, tavrin" for a Tavrin of this
    // user, "process 4711 of user bob, flock ..." for another process as the
    // system names it, or empty); after Failed or Refused: why the lock
    // could not be taken.
    QString detail() const { return m_detail; }

    // What the user is told when acquire() found the lock held, or refused.
    QString heldMessage(const QString &configPath) const;
    QString refusedMessage(const QString &configPath) const;

private:
    bool heldElsewhere(const struct stat &st);
    Result unopened(const QByteArray &path, int error);
    Result refuse(const struct stat &st, const QString &why);

    int m_fd = -1;
    QString m_lockPath;
    QString m_detail;
    bool m_tavrin = false; // held by a Tavrin of this user
};
