#pragma once

#include <QString>

// "tavrin --serve": serves every served machine of the configuration in
// `folder` without a window, one line per event on standard error, until
// SIGTERM or SIGINT. Runs in the running QCoreApplication; returns the exit
// status.
int runService(const QString &folder);
