#pragma once

#include <QString>

class ConfigStore;
class InstanceLock;

// Where the program's zoZad.ini is: the folder given on the command line
// (--config); otherwise, run from its build or a folder of its own, beside
// the program; installed, in the user's folder.
QString configFolder(const QString &given = {});
// The user's configuration folder, which takes the configuration where its
// own folder cannot be written; none for a folder given on the command
// line, which is used as it is.
QString userConfigFolder(const QString &given = {});

// Takes the one-program-per-configuration lock for the configuration file
// `configPath` as `who`. Where the file's folder takes no lock file (a
// read-only share), the user's file, which then takes every change, is the
// one locked; `lockedFile` says which file was locked (or found held, or
// refused). Failed: no folder took a lock file, and the program goes on
// without; Refused: a lock file is not the program's own, and it ends.
enum class LockResult { Acquired, Held, Failed, Refused };
LockResult lockConfiguration(InstanceLock &lock, const QString &configPath,
                             const QString &userFolder, const QString &who, QString *lockedFile);
// Whether the program may go on after lockConfiguration() gave `result`: 0
// when it may, otherwise the status it ends with (ExitStatus) and the
// `message` it tells first.
int lockEnding(const InstanceLock &lock, LockResult result, const QString &lockedFile,
               QString *message);
