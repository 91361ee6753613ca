#pragma once

#include <QString>

// The files the program keeps beside a configuration: zoZad.ini with its
// backup and lock, the port claims, the transfer log and the one rolled
// over, the status page's token. Where a machine's folder is the
// configuration's folder too, none of them is a program: never listed,
// found, sent to a control or to the page, whatever the case of the name
// asked for.
bool isProgramsOwnFile(const QString &fileName);
