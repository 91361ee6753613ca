#include "core/programs/programqueue.h"

#include "core/base/atomicfile.h"

#include <QFileInfo>

ProgramFile ProgramFile::read(const QString &path, qint64 maxBytes)
{
    ProgramFile out;
    out.reason = readRegularFile(path, &out.bytes, maxBytes, &out.tooLarge);
    return out;
}

int ProgramQueue::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int ProgramQueue::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ProgramQueue::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count() || role != Qt::DisplayRole) return {};
    const QString &p = m_paths.at(index.row());
    return index.column() == PathColumn ? p : QFileInfo(p).fileName();
}

void ProgramQueue::add(const QString &path)
{
    // A file handed over again is already there.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (m_paths.contains(absolute)) return;
    beginInsertRows({}, count(), count());
    m_paths.append(absolute);
    endInsertRows();
}

void ProgramQueue::remove(int row)
{
    if (row < 0 || row >= count()) return;
    beginRemoveRows({}, row, row);
    m_paths.removeAt(row);
    endRemoveRows();
}

void ProgramQueue::clear()
{
    if (m_paths.isEmpty()) return;
    beginResetModel();
    m_paths.clear();
    endResetModel();
}

void ProgramQueue::setLoadedName(const QString &name)
{
    if (name == m_loadedName) return;
    m_loadedName = name;
    emit loadedNameChanged(name);
}

void ProgramQueue::takeFrom(ProgramQueue &other)
{
    beginResetModel();
    m_paths = other.m_paths;
    endResetModel();
    setLoadedName(other.m_loadedName);
    other.clear();
    other.setLoadedName(QString());
}
