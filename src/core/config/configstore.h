#pragma once

#include "core/config/machinetable.h"

#include <QObject>
#include <QString>
#include <functional>

// The machine table and the file it lives in, zoZad.ini. Every change to a
// machine is made in the table and then written with save(); the file is
// always up to date, and nothing is saved at exit.
//
// The file lives beside the executable. Where that folder cannot be written
// (an installed program, a share), the user's own file is used once it
// exists; until then the file beside the executable is read, and the first
// change writes the whole table to the user's file. Before each rewrite the
// file as it was is kept as zoZad.ini.bak, with the same permissions. A
// file that exists but cannot be read (or is larger than MaxFileBytes, or is
// someone else's symbolic link) is never replaced.
class ConfigStore : public QObject
{
    Q_OBJECT
public:
    // Writes `bytes` over the file at `path` with the permissions of
    // `permissionsOf` (empty: its own); empty, or the reason it failed.
    using Writer = std::function<QString(const QString &path, const QByteArray &bytes,
                                         const QString &permissionsOf)>;

    // Far more than nine machines could ever need; a larger file is not read.
    static constexpr qint64 MaxFileBytes = 1024 * 1024;

    // `folder` is the executable's; `userFolder` (may be empty) the user's
    // configuration folder. An unset machine folder loads as `folder`.
    explicit ConfigStore(const QString &folder, const QString &userFolder = {},
                         QObject *parent = nullptr);

    // The user's configuration folder (Qt's AppConfigLocation).
    static QString defaultUserFolder();

    QString folder() const { return m_folder; }
    // The file in use.
    QString filePath() const { return m_path; }
    // Where punches a served machine's folder would not take are kept when
    // the machine or the program ends: "unsaved-punches" beside the file.
    QString unsavedPunchFolder() const;
    // Why the file in use could not be read at the last load; empty if it was.
    QString readError() const { return m_readError; }

    // Removes what a save killed half-way left, then makes the file exist
    // (empty) beside the executable if there is none anywhere and the
    // folder can take it; false when there is nowhere to keep the
    // configuration.
    bool ensureFile();
    // Reads every machine from the file into the table; a file that cannot
    // be read (a directory, a FIFO or device, no permission, an I/O error)
    // loads no machine and is never replaced.
    void load();
    // Rewrites the file from the table, leaving machine `skip` out (0:
    // none). On failure the old file stays as it was, saveFailed() is
    // emitted and false returned.
    [[nodiscard]] bool save(int skip = 0);

    const MachineTable &table() const { return m_table; }
    MachineTable &table() { return m_table; }

    // How files are written (the checked atomic write; tests inject faults).
    void setWriter(Writer writer) { m_write = std::move(writer); }

signals:
    void saveFailed(const QString &file, const QString &reason);
    // `file` could not be written (`reason`); `now` holds the machines and
    // is the file in use from now on.
    void fileMoved(const QString &file, const QString &reason, const QString &now);

private:
    QString userPath() const;
    QString replace(const QString &path, const QByteArray &bytes);

    QString m_folder;
    QString m_userFolder;
    QString m_path;
    QString m_readError;
    MachineTable m_table;
    Writer m_write;
};
