#pragma once

#include <QString>

// Every control carries the name the program has always given it, and an
// accessible name (its caption, or what its picture stands for): screen
// readers and end-to-end checks find controls by them. Array members are
// named "name(i)".
inline QString member(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

template <typename W> W *named(W *w, const QString &name, const QString &accessible)
{
    w->setObjectName(name);
    w->setAccessibleName(accessible);
    return w;
}
