#include "RowModel.h"

#include "Rows.h"

#include <algorithm>

RowModel::RowModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

void RowModel::setVisibleText(VisibleText visible)
{
    beginResetModel();
    visible_ = std::move(visible);
    endResetModel();
}

void RowModel::setKeys(QList<qint32> keys)
{
    beginResetModel();
    keys_ = std::move(keys);
    endResetModel();
}

int RowModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(keys_.size());
}

QVariant RowModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= keys_.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return textAt(index.row());
    case Qt::AccessibleTextRole: {
        // A screen reader falls back to the whole text, key and all, when
        // this one is empty: a row with nothing visible is read as a blank.
        const QString visible = visibleTextAt(index.row());
        return visible.isEmpty() ? QStringLiteral(" ") : visible;
    }
    default:
        return {};
    }
}

QString RowModel::visibleTextAt(int row) const
{
    return visible_ ? visible_(keys_.at(row)) : QString();
}

QString RowModel::textAt(int row) const
{
    return Rows::withKey(visibleTextAt(row), keys_.at(row));
}

int RowModel::rowOf(qint32 key) const
{
    // Indexes only: no row text is made for the search.
    const auto at = std::find(keys_.cbegin(), keys_.cend(), key);
    return at == keys_.cend() ? -1 : int(at - keys_.cbegin());
}
