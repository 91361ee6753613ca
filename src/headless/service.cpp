#include "headless/service.h"

#include <cstdio>

int runService(const QString &folder)
{
    std::fprintf(stderr, "tavrin: serving %s is not built yet\n", qPrintable(folder));
    return 2;
}
