#pragma once

#include <QList>

class ConfigStore;

// "tavrin machines": the machines of each configuration given, as aligned
// columns for people or, with `json`, as an array of objects for scripts.
// Returns the exit status.
int listMachines(const QList<const ConfigStore *> &configs, bool json);
