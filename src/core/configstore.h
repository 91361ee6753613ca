#pragma once

#include "core/machinetable.h"

#include <QObject>
#include <QString>

// The machine table and the file it lives in, zoZad.ini. Every change to a
// machine is made in the table and then written with save(); the file is
// always up to date, and nothing is saved at exit.
class ConfigStore : public QObject
{
    Q_OBJECT
public:
    // `folder` holds zoZad.ini; it is also what an unset machine folder
    // loads as.
    explicit ConfigStore(const QString &folder, QObject *parent = nullptr);

    // The folder for zoZad.ini: the executable's, or the user's
    // configuration folder when the executable's cannot be written.
    static QString folderFor(const QString &executableFolder);

    QString folder() const { return m_folder; }
    QString filePath() const { return m_folder + QStringLiteral("zoZad.ini"); }

    // Makes the file exist (empty) if it does not; false when it cannot be
    // made.
    bool ensureFile() const;
    // Reads every machine from the file into the table.
    void load();
    // Rewrites the file from the table, leaving machine `skip` out (0:
    // none). On failure the old file stays as it was, saveFailed() is
    // emitted and false returned.
    bool save(int skip = 0);

    const MachineTable &table() const { return m_table; }
    MachineTable &table() { return m_table; }

signals:
    void saveFailed(const QString &file, const QString &reason);

private:
    QString m_folder;
    MachineTable m_table;
};
