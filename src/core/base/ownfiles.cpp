#include "core/base/ownfiles.h"

#include "core/base/atomicfile.h"

bool isProgramsOwnFile(const QString &fileName)
{
    if (isWriteTemporary(fileName)) return true;
    for (const QLatin1String own :
         {QLatin1String("zoZad.ini"), QLatin1String("zoZad-port-"), QLatin1String("transfers.log"),
          QLatin1String("status-token")})
        if (fileName.startsWith(own, Qt::CaseInsensitive)) return true;
    return false;
}
