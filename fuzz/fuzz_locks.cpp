// The system's table of locks (/proc/locks), any bytes: the holders named
// are processes (numbers above 0), each once; a holder's line added after
// whatever came before is always found, and adds only itself.

#include "check.h"
#include "process/lockholder.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray table(reinterpret_cast<const char *>(bytes), qsizetype(size));
    const QList<qint64> holders = lockHoldersIn(table, 0xfe, 0, 1234);
    for (qsizetype i = 0; i < holders.size(); ++i)
        FUZZ_CHECK(holders[i] > 0 && holders.indexOf(holders[i]) == i);
    const QList<qint64> more =
        lockHoldersIn(table + "\n9: FLOCK  ADVISORY  WRITE 4711 fe:00:1234 0 EOF\n", 0xfe, 0, 1234);
    FUZZ_CHECK(more.contains(4711) && more.size() <= holders.size() + 1);
    return 0;
}
