#pragma once

#include <QString>

#include <QStringList>

// "tavrin --serve": serves every served machine of each configuration (in
// the folders given on the command line, or where the window would find
// it when none is) without a window, one line per event on standard error,
// until SIGTERM or SIGINT. The status page is served on `http`
// ("[ADDRESS:]PORT", "off"; empty: 127.0.0.1 and its default port). Runs
// in the running QCoreApplication; returns the exit status.
int runService(const QStringList &given, const QString &http = {});
