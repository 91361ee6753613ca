#include "core/config/configstore.h"

#include "core/base/atomicfile.h"
#include "core/config/inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <utility>

namespace
{
const QString kFileName = QStringLiteral("zoZad.ini");

QString withSlash(const QString &folder)
{
    return folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/';
}
} // namespace

ConfigStore::ConfigStore(const QString &folder, const QString &userFolder, QObject *parent)
    : QObject(parent), m_folder(withSlash(folder)), m_userFolder(withSlash(userFolder)),
      m_write(writeFileAtomically)
{
    // The user's own file, once there is one, is the one in use.
    m_path = QFileInfo::exists(userPath()) ? userPath() : m_folder + kFileName;
}

QString ConfigStore::defaultUserFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString ConfigStore::userPath() const
{
    return m_userFolder.isEmpty() ? QString() : m_userFolder + kFileName;
}

bool ConfigStore::ensureFile()
{
    for (const QString &folder : {m_folder, m_userFolder}) {
        if (folder.isEmpty()) continue;
        removeLeftoverTemporaries(folder + kFileName);
        removeLeftoverTemporaries(folder + kFileName + QStringLiteral(".bak"));
    }
    const QFileInfo info(m_path);
    if (info.exists() || info.isSymLink()) return true;
    // A folder that cannot take it still lets the program run: the first
    // change goes to the user's file.
    return m_write(m_path, {}, {}).isEmpty() || !m_userFolder.isEmpty();
}

void ConfigStore::load()
{
    QByteArray content;
    m_readError.clear();
    if (QFileInfo::exists(m_path) || QFileInfo(m_path).isSymLink())
        m_readError = readRegularFile(m_path, &content, MaxFileBytes);
    m_table = IniFile::parse(m_readError.isEmpty() ? content : QByteArray(), m_folder);
}

QString ConfigStore::replace(const QString &path, const QByteArray &bytes)
{
    // The file as it was is kept, one generation, so that a rewrite that
    // drops what the reader did not understand can be undone by hand.
    // It is never readable by more users than the file.
    if (QFileInfo::exists(path)) {
        const QString backup = path + QStringLiteral(".bak");
        QByteArray old;
        QString reason = readRegularFile(path, &old, MaxFileBytes);
        if (reason.isEmpty()) reason = m_write(backup, old, path);
        if (!reason.isEmpty())
            return QStringLiteral("its backup \"%1\" could not be kept: %2")
                .arg(QDir::toNativeSeparators(backup), reason);
    }
    return m_write(path, bytes, {});
}

bool ConfigStore::save(int skip)
{
    if (!m_readError.isEmpty()) {
        emit saveFailed(m_path, QStringLiteral("it could not be read (%1), and so it is not "
                                               "replaced")
                                    .arg(m_readError));
        return false;
    }
    const QByteArray bytes = IniFile::serialise(m_table, skip);
    const QString reason = replace(m_path, bytes);
    if (reason.isEmpty()) return true;
    // The executable's folder cannot be written: from now on the user's
    // file holds the configuration, all of it.
    if (!m_userFolder.isEmpty() && m_path != userPath() && QDir().mkpath(m_userFolder) &&
        replace(userPath(), bytes).isEmpty()) {
        const QString old = std::exchange(m_path, userPath());
        emit fileMoved(old, reason, m_path);
        return true;
    }
    emit saveFailed(m_path, reason);
    return false;
}

QString ConfigStore::unsavedPunchFolder() const
{
    return QFileInfo(m_path).absoluteDir().filePath(QStringLiteral("unsaved-punches"));
}
