#pragma once

#include "core/machines/registry.h"

#include <QString>
#include <functional>
#include <memory>

class ClaimedPort;
class ConfigStore;

// Ports that claim their devices (ClaimedPort) beside the configuration
// file in use, as `who` ("tavrin", "tavrin --serve"): for the window and
// the service, so that the command line never takes a port they hold.
MachineRegistry::PortFactory claimedPorts(const ConfigStore &config, const QString &who);
// One such port, claiming in the folder `folder` gives at each open.
std::shared_ptr<ClaimedPort> claimedPort(std::function<QString()> folder, const QString &who);
