#pragma once

#include <QString>

// The files the program keeps beside a configuration or in a machine's
// folder that are no programs: zoZad.ini with its backup and lock, the
// port claims, the transfer log and the one rolled over, the status page's
// token, and the half-written temporaries of its saves (NAME.tmp-XXXXXX).
// None of them is ever listed, found, or sent to a control or to the page,
// whatever the case of the name asked for, even where a machine's folder
// is the configuration's folder too.
bool isProgramsOwnFile(const QString &fileName);
