#include "headless/commands.h"

#include <cstdio>

bool isCommand(const QString &firstArgument)
{
    return firstArgument == QLatin1String("send") || firstArgument == QLatin1String("receive") ||
           firstArgument == QLatin1String("machines");
}

int runCommand(const QStringList &arguments)
{
    std::fprintf(stderr, "tavrin: '%s' is not built yet\n", qPrintable(arguments.value(0)));
    return 2;
}
