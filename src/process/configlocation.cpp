#include "process/configlocation.h"

#include "core/config/configstore.h"
#include "process/exitstatus.h"
#include "process/instancelock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString configFolder(const QString &given)
{
    if (!given.isEmpty()) return QDir(given).absolutePath();
    const QDir here(QCoreApplication::applicationDirPath());
    return QFileInfo::exists(here.filePath(QStringLiteral(TAVRIN_INSTALLED_MARKER)))
               ? ConfigStore::defaultUserFolder()
               : here.path();
}

QString userConfigFolder(const QString &given)
{
    return given.isEmpty() ? ConfigStore::defaultUserFolder() : QString();
}

LockResult lockConfiguration(InstanceLock &lock, const QString &configPath,
                             const QString &userFolder, const QString &who, QString *lockedFile)
{
    *lockedFile = configPath;
    InstanceLock::Result locked = lock.acquire(configPath, who);
    if (locked == InstanceLock::Result::Failed && !userFolder.isEmpty()) {
        QDir().mkpath(userFolder);
        *lockedFile = QDir(userFolder).filePath(QStringLiteral("zoZad.ini"));
        locked = lock.acquire(*lockedFile, who);
    }
    switch (locked) {
    case InstanceLock::Result::Acquired:
        return LockResult::Acquired;
    case InstanceLock::Result::Held:
        return LockResult::Held;
    case InstanceLock::Result::Refused:
        return LockResult::Refused;
    case InstanceLock::Result::Failed:
        break;
    }
    return LockResult::Failed;
}

int lockEnding(const InstanceLock &lock, LockResult result, const QString &lockedFile,
               QString *message)
{
    switch (result) {
    case LockResult::Acquired:
    case LockResult::Failed:
        break;
    case LockResult::Held:
        *message = lock.heldMessage(lockedFile);
        return StatusHeld;
    case LockResult::Refused:
        // Never unlocked: a second program would go unnoticed.
        *message = lock.refusedMessage(lockedFile);
        return StatusRefused;
    }
    return StatusDone;
}
