#pragma once

#include <QString>

// "tavrin --serve": serves every served machine of the configuration (in
// the folder `given` on the command line, or where the window would find
// it) without a window, one line per event on standard error, until
// SIGTERM or SIGINT. Runs in the running QCoreApplication; returns the exit
// status.
int runService(const QString &given);
