#include "core/serving/punchstore.h"

#include "core/base/atomicfile.h"
#include "core/controls/controlfamily.h"
#include "core/serving/programextension.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

static bool taken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

PunchStore::PunchStore(Now now)
    : m_now(now ? std::move(now) : Now([] { return QDateTime::currentDateTime(); }))
{
}

QString PunchStore::fileName(const QByteArray &program, const QString &extension,
                             const QDateTime &when, bool whole)
{
    const QByteArray name = Controls::programName(program);
    const QString base = name.isEmpty() ? QStringLiteral("punch-") +
                                              when.toString(QStringLiteral("yyyyMMdd-HHmmss"))
                                        : QString::fromLatin1(name);
    return base + (whole ? QString() : QStringLiteral(".partial")) + ProgramExtension::of(extension);
}

bool PunchStore::isEarlierVersion(const QString &fileName)
{
    const QStringList parts = fileName.split(u'.');
    if (parts.size() < 3 || parts[1].isEmpty()) return false;
    for (const QChar c : parts[1])
        if (c < u'0' || c > u'9') return false;
    return true;
}

bool PunchStore::isIncomplete(const QString &fileName)
{
    return fileName.section(u'.', 1, 1) == u"partial";
}

PunchStore::Result PunchStore::save(const QString &folder, const QString &extension,
                                    const QByteArray &program, bool whole)
{
    const Punch punch{++m_sequence, QDir(folder).filePath(fileName(program, extension, m_now(), whole)),
                      ProgramExtension::of(extension), program, {}};
    if (!noRoomFor(punch).isEmpty()) pass();
    if (const QString full = noRoomFor(punch); !full.isEmpty()) {
        const QString why = write(punch);
        if (why.isEmpty()) return {punch.path, {}, {}};
        return {punch.path, QStringLiteral("%1; it is not kept: %2").arg(why, full), {}};
    }
    m_pending.append(punch);
    Result result{punch.path, {}, pass()};
    result.earlier.removeOne(punch.path);
    for (const Punch &waiting : std::as_const(m_pending)) {
        if (waiting.id == punch.id) result.error = waiting.why;
    }
    return result;
}

QString PunchStore::noRoomFor(const Punch &punch) const
{
    if (m_pending.size() >= MaxPending)
        return QStringLiteral("%1 punches already wait to be saved").arg(MaxPending);
    qint64 bytes = punch.program.size();
    for (const Punch &waiting : m_pending)
        bytes += waiting.program.size();
    if (bytes > MaxPendingBytes)
        return QStringLiteral("with it, more than %1 MB of punches would wait to be saved")
            .arg(MaxPendingBytes / (1024 * 1024));
    return {};
}

QString PunchStore::retry(QStringList *saved)
{
    const QStringList paths = pass();
    if (saved) *saved = paths;
    return m_pending.isEmpty() ? QString() : m_pending.first().why;
}

void PunchStore::moveWaitingTo(const QString &folder)
{
    for (Punch &punch : m_pending)
        punch.path = QDir(folder).filePath(QFileInfo(punch.path).fileName());
}

QString PunchStore::saveWaitingIn(const QString &folder, QStringList *saved)
{
    moveWaitingTo(folder);
    return retry(saved);
}

QStringList PunchStore::pass()
{
    QStringList saved;
    QHash<QString, QString> failed; // folder -> why
    for (qsizetype i = 0; i < m_pending.size();) {
        Punch &punch = m_pending[i];
        const QString folder = QFileInfo(punch.path).path();
        punch.why = failed.contains(folder) ? failed.value(folder) : write(punch);
        if (punch.why.isEmpty()) {
            saved << punch.path;
            m_pending.removeAt(i);
            continue;
        }
        failed.insert(folder, punch.why);
        ++i;
    }
    return saved;
}

QString PunchStore::write(const Punch &punch)
{
    if (taken(punch.path)) {
        // The number goes before the whole extension: O3003.1.tap.nc.
        const QString stem = punch.path.chopped(punch.extension.size()) + u'.';
        QString older;
        for (int n = 1; older.isEmpty() || taken(older); ++n)
            older = stem + QString::number(n) + punch.extension;
        // QFile::rename never replaces a file that exists.
        QFile file(punch.path);
        if (!file.rename(older)) return file.errorString();
    }
    return writeFileAtomically(punch.path, punch.program);
}
