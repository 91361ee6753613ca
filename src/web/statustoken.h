#pragma once

#include <QString>

// The token the status page's actions (and, off loopback, its reading)
// need: 32 hex digits in "status-token" beside zoZad.ini, readable by its
// owner only. Whoever can read the configuration's folder as its user may
// send programs from the office; nobody else on the network can.
namespace StatusToken
{
inline constexpr int Length = 32;
// The file in `configFolder`.
QString filePath(const QString &configFolder);
// The token kept there, made (and kept) when the file is missing or holds
// none. Empty, `why` set, when it cannot be read or written.
QString ensure(const QString &configFolder, QString *why);
// True when `given` is `token` (compared in constant time; an empty token
// matches nothing).
bool matches(const QString &token, const QString &given);
} // namespace StatusToken
