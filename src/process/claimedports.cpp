#include "process/claimedports.h"

#include "core/ports/anyport.h"
#include "process/claimedport.h"
#include "core/base/clock.h"
#include "core/config/configstore.h"

#include <QFileInfo>

std::shared_ptr<ClaimedPort> claimedPort(std::function<QString()> folder, const QString &who)
{
    auto port = std::make_shared<ClaimedPort>(std::make_shared<AnyPort>(Clock::system()),
                                              std::move(folder), who);
    port->setObjectName(QStringLiteral("s1"));
    return port;
}

MachineRegistry::PortFactory claimedPorts(const ConfigStore &config, const QString &who)
{
    // The configuration may move to the user's folder while the program
    // runs: the claims follow it, where the command line looks for them.
    return [&config, who] {
        return claimedPort([&config] { return QFileInfo(config.filePath()).absolutePath(); }, who);
    };
}
