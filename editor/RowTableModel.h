#pragma once
// The rows of the open data file as the list shows them. The model owns the
// data table's rows (moved in on opening, lent back for saving), keeps every
// cell as the file's bytes, and makes text only of the cells the list asks
// for, so that opening, editing and saving a full table cost no copy of it.
#include "common/DatRow.h"
#include "common/modCodePage.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace tabwright {

class RowTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RowTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // New rows, in the encoding of their file.
    void setTable(std::vector<DatRow> rows, TextEncoding encoding);
    TextEncoding Encoding() const { return encoding_; }
    // The rows for saving, and back afterwards; nothing may ask the model in
    // between.
    std::vector<DatRow> LendRows() { return std::exchange(rows_, {}); }
    void ReturnRows(std::vector<DatRow> rows) { rows_ = std::move(rows); }
    const std::vector<DatRow>& Rows() const { return rows_; }

    // Grows with every change of the rows; equal counts mean equal rows.
    uint64_t Changes() const { return changes_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Text the encoding cannot hold is refused (false); the caller checks first.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    bool insertRows(int row, int count, const QModelIndex& parent = {}) override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count, const QModelIndex& destinationParent,
                  int destinationChild) override;
    bool insertColumns(int column, int count, const QModelIndex& parent = {}) override;

private:
    std::vector<DatRow> rows_;
    QStringList headers_;
    TextEncoding encoding_ = TextEncoding::Utf8;
    uint64_t changes_ = 0;
};

}  // namespace tabwright
