#include "core/serving/punchstore.h"

#include "core/base/atomicfile.h"
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

// "O" and its digits at the start of the first line with something on it.
static QByteArray programNumber(const QByteArray &program)
{
    static const QByteArray before("\0\x11\x12\x13\x14\r\n \t%", 10);
    qsizetype i = 0;
    while (i < program.size() && before.contains(program.at(i)))
        ++i;
    if (i == program.size() || program.at(i) != 'O') return {};
    qsizetype digits = 0;
    while (i + 1 + digits < program.size() && digits <= PunchStore::MaxDigits &&
           QChar::isDigit(uchar(program.at(i + 1 + digits))))
        ++digits;
    return (digits == 0 || digits > PunchStore::MaxDigits) ? QByteArray()
                                                           : program.mid(i, 1 + digits);
}

PunchStore::PunchStore(Now now)
    : m_now(now ? std::move(now) : Now([] { return QDateTime::currentDateTime(); }))
{
}

QString PunchStore::fileName(const QByteArray &program, const QString &extension,
                             const QDateTime &when)
{
    const QByteArray number = programNumber(program);
    const QString base = number.isEmpty() ? QStringLiteral("punch-") +
                                                when.toString(QStringLiteral("yyyyMMdd-HHmmss"))
                                          : QString::fromLatin1(number);
    return base + ProgramExtension::of(extension);
}

bool PunchStore::isEarlierVersion(const QString &fileName)
{
    const QStringList parts = fileName.split(u'.');
    if (parts.size() < 3 || parts[1].isEmpty()) return false;
    for (const QChar c : parts[1])
        if (c < u'0' || c > u'9') return false;
    return true;
}

PunchStore::Result PunchStore::save(const QString &folder, const QString &extension,
                                    const QByteArray &program)
{
    const Punch punch{++m_sequence, QDir(folder).filePath(fileName(program, extension, m_now())),
                      ProgramExtension::of(extension), program, {}};
    if (m_pending.size() >= MaxPending) pass();
    if (m_pending.size() >= MaxPending) {
        const QString why = write(punch);
        if (why.isEmpty()) return {punch.path, {}};
        return {punch.path,
                QStringLiteral("%1; it is not kept: %2 punches already wait to be saved")
                    .arg(why, QString::number(MaxPending))};
    }
    m_pending.append(punch);
    pass();
    for (const Punch &waiting : std::as_const(m_pending)) {
        if (waiting.id == punch.id) return {punch.path, waiting.why};
    }
    return {punch.path, {}};
}

QString PunchStore::retry(QStringList *saved)
{
    const QStringList paths = pass();
    if (saved) *saved = paths;
    return m_pending.isEmpty() ? QString() : m_pending.first().why;
}

QString PunchStore::saveWaitingIn(const QString &folder, QStringList *saved)
{
    for (Punch &punch : m_pending)
        punch.path = QDir(folder).filePath(QFileInfo(punch.path).fileName());
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
