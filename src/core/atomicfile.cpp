#include "core/atomicfile.h"

#include <QSaveFile>

QString writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile f(path);
    // Unbuffered, so that a short write (a full disk) shows in write()'s
    // count: a buffered QSaveFile can lose that error at commit and rename a
    // truncated file over the good one.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return f.errorString();
    const qint64 written = f.write(bytes);
    if (written != bytes.size()) {
        const QString reason =
            f.error() != QFileDevice::NoError
                ? f.errorString()
                : QStringLiteral("only %1 of %2 bytes could be written (is the disk full?)")
                      .arg(qMax<qint64>(written, 0))
                      .arg(bytes.size());
        f.cancelWriting();
        return reason;
    }
    if (!f.commit()) {
        const QString reason = f.errorString();
        return reason.isEmpty() ? QStringLiteral("unknown error") : reason;
    }
    return {};
}
