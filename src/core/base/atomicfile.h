#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct stat;

// Every file is reached through a symbolic link only when the link, and
// every link it leads through, belongs to the user running the program:
// someone else's link in a shared folder could otherwise make a program run
// as root overwrite or copy any file of the system. A refused file counts as
// one that cannot be read or written; the reason says why.

// The file a path leads to under that rule: empty and `target` set, or why
// it may not be followed.
QString followOwnLinks(const QString &path, QByteArray *target);

// Replaces the file at `path` with `bytes` in one step: the new content is
// written to a temporary file beside it, flushed to the disk and renamed
// over the old one. A crash, a full disk or a refused write leaves the old
// file as it was. The file gets the permissions (and, where it can, the
// group) of `permissionsOf`, by default of the file it replaces; a new file
// gets the usual ones. Returns an empty text on success, otherwise the
// reason it failed.
[[nodiscard]] QString writeFileAtomically(const QString &path, const QByteArray &bytes,
                            const QString &permissionsOf = {});

// Appends `bytes` to the file at `path` (created if missing) in one write;
// a write cut short is undone, so the file holds all of them or none.
QString appendToFile(const QString &path, const QByteArray &bytes);

// Why writeFileAtomically(path, ...) would be refused, as far as can be told
// without writing: someone else's link on the way, a folder or other file
// that is not a regular one at `path`, a folder to hold it that is missing
// or not writable. Empty when nothing stands in the way.
QString whyNotWritable(const QString &path);
// The same for new files in `folder`: someone else's link on the way, not
// a folder, or one that is not writable.
QString whyFolderNotWritable(const QString &folder);

// Reads a whole regular file without ever blocking (a FIFO or a device is
// refused, not opened). A file larger than `maxBytes` (if not negative) is
// refused without being read, `tooLarge` (if given) then set; a file that
// grows past it while it is read is refused the same way. Returns an empty
// text on success, otherwise why it could not be read.
QString readRegularFile(const QString &path, QByteArray *bytes, qint64 maxBytes = -1,
                        bool *tooLarge = nullptr);

// Removes the temporary files that writes to `path` left beside it when the
// program was killed: regular files of the running user with the names
// writeFileAtomically uses, or those earlier versions used ("NAME.XXXXXX").
void removeLeftoverTemporaries(const QString &path);

// True for a name writeFileAtomically gives its temporary files
// ("O3003.nc.tmp-x3Kq9Z"): never a file of anyone's own.
bool isWriteTemporary(const QString &fileName);
// Removes from `folder` the temporary files writeFileAtomically left there
// when the program was killed: regular files of the running user, with
// names isWriteTemporary() accepts; never a link, nor what it leads to.
// Returns the paths removed.
QStringList removeLeftoverTemporariesIn(const QString &folder);

// Why the file `st` (from lstat or fstat) tells of is not one the program
// may take as its own in a folder others can write: a symbolic link, not of
// the type `type` (S_IFREG, S_IFDIR), another user's, or a regular file with
// a second name (a hard link), which may be a file anywhere. Empty when it
// may.
QString notOwnReason(const struct stat &st, unsigned type);

// Makes the folder `path` for the user only (0700) unless it is there, and
// never through a symbolic link. Empty when it is a folder of the user's
// own; otherwise why not, naming it ("\"/x/unsaved-punches\" is not the
// program's own folder: it belongs to another user").
QString makeOwnFolder(const QString &path);
