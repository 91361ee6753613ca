#pragma once

#include <QString>

// Keeps a second Tavrin off a configuration file that one is already using:
// two programs on one zoZad.ini would overwrite each other's changes.
//
// The lock is the system's advisory lock on "<file>.lock" beside the file.
// The system drops it when the holding process ends, however it ends, so a
// program that died never keeps the next one out. The lock file also says
// who holds it, for the message the next start shows.
class InstanceLock
{
public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;
    ~InstanceLock();

    enum class Result { Acquired, Held, Failed };
    // Takes the lock for the configuration file at `configPath`, naming this
    // process as `who` (for example "tavrin --serve").
    Result acquire(const QString &configPath, const QString &who);
    void release();

    // The lock file, once acquire() has worked it out.
    QString lockPath() const { return m_lockPath; }
    // After Held: who holds it ("process 4711, tavrin"); after Failed: why
    // the lock could not be taken.
    QString detail() const { return m_detail; }

    // What the user is told when acquire() found the lock held.
    QString heldMessage(const QString &configPath) const;

private:
    int m_fd = -1;
    QString m_lockPath;
    QString m_detail;
};
