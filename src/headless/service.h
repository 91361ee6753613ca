#pragma once

#include <QString>

#include <QStringList>

// "tavrin --serve": serves every served machine of each configuration (in
// the folders given on the command line, or where the window would find
// it when none is) without a window, one line per event on standard error,
// until SIGTERM or SIGINT. Runs in the running QCoreApplication; returns
// the exit status.
int runService(const QStringList &given);
