#include "core/log/transferlog.h"

#include "core/base/atomicfile.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace
{
// A tab or line break inside a name would split the line's fields.
QByteArray field(const QString &text)
{
    QByteArray out = text.toUtf8();
    out.replace('\t', ' ').replace('\r', ' ').replace('\n', ' ');
    return out.isEmpty() ? QByteArray("-") : out;
}

// At RollOverBytes the log moves to "transfers.log.1", replacing the one
// before; the links to them, if any, stay. A refusal names its file.
QString rollOver(QString *file, qint64 adding)
{
    QByteArray log, rolled;
    if (const QString why = followOwnLinks(*file, &log); !why.isEmpty()) return why;
    struct stat st = {};
    if (::stat(log.constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size + adding <= TransferLog::RollOverBytes)
        return {};
    const QString old = *file + QStringLiteral(".1");
    if (const QString why = followOwnLinks(old, &rolled); !why.isEmpty()) {
        *file = old;
        return why;
    }
    if (::rename(log.constData(), rolled.constData()) == 0) return {};
    return QStringLiteral("it could not be rolled over to \"%1\": %2")
        .arg(QDir::toNativeSeparators(old), QString::fromLocal8Bit(std::strerror(errno)));
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
    // Served machines' lines say what the control asked for.
    if (!requested.isEmpty()) out += '\t' + field(requested);
    return out + '\n';
}

bool TransferLog::append(const QString &folder, const TransferRecord &record)
{
    QString file = QDir(folder).filePath(QStringLiteral("transfers.log"));
    const QByteArray line = record.line();
    QString reason = rollOver(&file, line.size());
    if (reason.isEmpty()) reason = appendToFile(file, line);
    if (reason.isEmpty()) return true;
    if (!m_told) {
        m_told = true;
        emit failed(file, reason);
    }
    return false;
}
