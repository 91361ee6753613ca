#include "core/configstore.h"

#include "core/atomicfile.h"
#include "core/inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

ConfigStore::ConfigStore(const QString &folder, QObject *parent) : QObject(parent), m_folder(folder)
{
    if (!m_folder.endsWith(u'/')) m_folder += u'/';
}

QString ConfigStore::folderFor(const QString &executableFolder)
{
    const QFileInfo info(executableFolder);
    if (info.isDir() && info.isWritable()) return QDir(executableFolder).absolutePath() + u'/';
    // An installed program cannot write beside itself: keep the
    // configuration in the user's configuration folder instead.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(dir);
    return QDir(dir).absolutePath() + u'/';
}

bool ConfigStore::ensureFile() const
{
    return QFile::exists(filePath()) || writeFileAtomically(filePath(), {}).isEmpty();
}

void ConfigStore::load()
{
    QFile f(filePath());
    const QByteArray content = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    m_table = IniFile::parse(content, m_folder);
}

bool ConfigStore::save(int skip)
{
    const QString reason = writeFileAtomically(filePath(), IniFile::serialise(m_table, skip));
    if (reason.isEmpty()) return true;
    emit saveFailed(filePath(), reason);
    return false;
}
