#include "editor/RowTableModel.h"

#include "editor/modCellText.h"

namespace tabwright {

void RowTableModel::setTable(std::vector<DatRow> rows, TextEncoding encoding)
{
    beginResetModel();
    rows_ = std::move(rows);
    encoding_ = encoding;
    endResetModel();
}

int RowTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int RowTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(headers_.size());
}

QVariant RowTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(rows_.size()) || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const std::string_view cell = rows_[size_t(index.row())].Cell(index.column());
    return CellText(std::string(cell), encoding_);
}

bool RowTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= int(rows_.size()) || (role != Qt::EditRole && role != Qt::DisplayRole))
        return false;
    std::string bytes;
    if (!CellBytes(value.toString(), encoding_, bytes))
        return false;
    rows_[size_t(index.row())].setCell(index.column(), bytes);
    ++changes_;
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

QVariant RowTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool RowTableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size() ||
        (role != Qt::EditRole && role != Qt::DisplayRole))
        return false;
    headers_[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

bool RowTableModel::insertRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || row > int(rows_.size()) || count < 1)
        return false;
    beginInsertRows({}, row, row + count - 1);
    rows_.insert(rows_.begin() + row, size_t(count), DatRow());
    endInsertRows();
    ++changes_;
    return true;
}

bool RowTableModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count < 1 || row + count > int(rows_.size()))
        return false;
    beginRemoveRows({}, row, row + count - 1);
    rows_.erase(rows_.begin() + row, rows_.begin() + row + count);
    endRemoveRows();
    ++changes_;
    return true;
}

bool RowTableModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                             const QModelIndex& destinationParent, int destinationChild)
{
    const int n = int(rows_.size());
    if (sourceParent.isValid() || destinationParent.isValid() || count != 1 || sourceRow < 0 || sourceRow >= n ||
        destinationChild < 0 || destinationChild > n)
        return false;
    if (destinationChild == sourceRow || destinationChild == sourceRow + 1)
        return false;
    if (!beginMoveRows({}, sourceRow, sourceRow, {}, destinationChild))
        return false;
    const int to = destinationChild > sourceRow ? destinationChild - 1 : destinationChild;
    DatRow moving = std::move(rows_[size_t(sourceRow)]);
    rows_.erase(rows_.begin() + sourceRow);
    rows_.insert(rows_.begin() + to, std::move(moving));
    endMoveRows();
    ++changes_;
    return true;
}

bool RowTableModel::insertColumns(int column, int count, const QModelIndex& parent)
{
    if (parent.isValid() || column < 0 || column > headers_.size() || count < 1)
        return false;
    beginInsertColumns({}, column, column + count - 1);
    for (int i = 0; i < count; ++i)
        headers_.insert(column, QString());
    endInsertColumns();
    return true;
}

}  // namespace tabwright
