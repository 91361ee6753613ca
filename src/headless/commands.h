#pragma once

#include <QStringList>

// The forms of the command line that run without a window, for scripts and
// CAM systems: "send", "receive" and "machines".
bool isCommand(const QString &firstArgument);
// Runs the command in `arguments` (everything after the program's name) in
// the running QCoreApplication; returns the exit status.
int runCommand(const QStringList &arguments);
