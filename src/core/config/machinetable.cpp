#include "core/config/machinetable.h"

const MachineConfig &MachineTable::at(int index) const
{
    static const MachineConfig none;
    return contains(index) ? m_machines.at(index - 1) : none;
}

void MachineTable::set(int index, const MachineConfig &machine)
{
    if (contains(index)) m_machines[index - 1] = machine;
}

bool MachineTable::append(const MachineConfig &machine)
{
    if (isFull()) return false;
    m_machines.append(machine);
    return true;
}

void MachineTable::remove(int index)
{
    if (contains(index)) m_machines.removeAt(index - 1);
}
