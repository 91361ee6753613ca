#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at `path` with `bytes` in one step: the new content is
// written to a temporary file beside it, checked, and renamed over the old
// one. A crash, a full disk or a refused write leaves the old file as it
// was. Returns an empty text on success, otherwise the reason it failed.
QString writeFileAtomically(const QString &path, const QByteArray &bytes);

// Reads a whole regular file without ever blocking (a FIFO or a device is
// refused, not opened). Returns an empty text on success, otherwise why it
// could not be read.
QString readRegularFile(const QString &path, QByteArray *bytes);
