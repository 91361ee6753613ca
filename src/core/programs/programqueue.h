#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <QStringList>

// A program file read whole (never blocking on a FIFO or device), or why
// it could not be: `reason` is empty when it was. One larger than
// `maxBytes` (if not negative) is not read: `tooLarge` says so.
struct ProgramFile {
    QByteArray bytes;
    QString reason;
    bool tooLarge = false;

    static ProgramFile read(const QString &path, qint64 maxBytes = -1);
};

// One machine's queue of program files: the files handed to it, to pick
// from. Column 0 holds each file's name, column 1 its absolute path. The
// queue also keeps the name the file-name field shows: the path of the
// entry loaded last, or "Unknown" for text that came from elsewhere.
class ProgramQueue : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn, PathColumn };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    int count() const { return int(m_paths.size()); }
    QString path(int row) const { return m_paths.value(row); }
    QStringList paths() const { return m_paths; }
    // Adds a file, unless it is queued already.
    void add(const QString &path);
    // Takes entry `row` off the queue (the file stays where it is).
    void remove(int row);
    void clear();

    // The loaded name of text that came from elsewhere (RX-Edit): no file.
    static QString unnamed() { return QStringLiteral("Unknown"); }
    QString loadedName() const { return m_loadedName; }
    void setLoadedName(const QString &name);

    // Takes over another queue's entries and name, leaving it empty.
    void takeFrom(ProgramQueue &other);

signals:
    void loadedNameChanged(const QString &name);

private:
    QStringList m_paths;
    QString m_loadedName;
};
