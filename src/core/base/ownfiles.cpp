#include "core/base/ownfiles.h"

bool isProgramsOwnFile(const QString &fileName)
{
    for (const QLatin1String own : {QLatin1String("zoZad.ini"), QLatin1String("zoZad-port-"),
                                    QLatin1String("transfers.log"), QLatin1String("status-token")})
        if (fileName.startsWith(own, Qt::CaseInsensitive)) return true;
    return false;
}
