#pragma once

#include "core/config/machineconfig.h"

#include <QList>

// The machines on the panel, numbered 1 to count() without gaps; at most
// MaxMachines of them.
class MachineTable
{
public:
    static constexpr int MaxMachines = 9;

    int count() const { return int(m_machines.size()); }
    bool isFull() const { return count() >= MaxMachines; }
    bool contains(int index) const { return index >= 1 && index <= count(); }
    // Machine `index` (1-based); an empty configuration for any other index.
    const MachineConfig &at(int index) const;
    void set(int index, const MachineConfig &machine);
    // False when the table is full.
    bool append(const MachineConfig &machine);
    // Removes machine `index`; the ones after it move down by one.
    void remove(int index);
    void clear() { m_machines.clear(); }

    bool operator==(const MachineTable &) const = default;

private:
    QList<MachineConfig> m_machines;
};
