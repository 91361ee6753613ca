#include "core/transferlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{
// A tab or line break inside a name would split the line's fields.
QByteArray field(const QString &text)
{
    QByteArray out = text.toUtf8();
    out.replace('\t', ' ').replace('\r', ' ').replace('\n', ' ');
    return out.isEmpty() ? QByteArray("-") : out;
}
} // namespace

QByteArray TransferRecord::line() const
{
    const QList<QByteArray> fields = {field(when),
                                      send ? "send" : "receive",
                                      field(machine),
                                      field(port),
                                      field(file),
                                      QByteArray::number(bytes),
                                      QByteArray::number(lines),
                                      QByteArray::number(durationMs / 1000.0, 'f', 3),
                                      field(outcome)};
    QByteArray out;
    for (const QByteArray &f : fields)
        out += (out.isEmpty() ? "" : "\t") + f;
    return out + '\n';
}

bool TransferLog::append(const QString &folder, const TransferRecord &record)
{
    const QString path = QDir(folder).filePath(QStringLiteral("transfers.log"));
    const QByteArray line = record.line();
    QString reason;
    if (QFileInfo(path).size() + line.size() > RollOverBytes) {
        const QString old = path + QStringLiteral(".1");
        QFile::remove(old);
        if (!QFile::rename(path, old)) reason = QStringLiteral("it could not be rolled over");
    }
    QFile f(path);
    // One unbuffered write, so the line reaches the file whole or not at all.
    if (reason.isEmpty() && !f.open(QIODevice::Append | QIODevice::Unbuffered))
        reason = f.errorString();
    else if (reason.isEmpty() && f.write(line) != line.size())
        reason = f.errorString();
    if (reason.isEmpty()) return true;
    if (!m_told) {
        m_told = true;
        emit failed(path, reason);
    }
    return false;
}
