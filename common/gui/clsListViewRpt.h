#pragma once
// A report-style list (a tree view without tree decoration) used as a small
// table: rows and columns numbered from 0, row r being the list's item r,
// column 0 an item's first text. The list is a QTreeWidget holding its items,
// or any QTreeView over a table model that can insert, remove and move rows
// and insert columns (the editor's, over the data file's rows). Column widths are kept as percentages of the
// list's width and applied by Resize, by one of two rules chosen at
// construction:
//   Harvester: width = Int((W - 10) / 100) * percentage
//   Editor:    width = W * percentage / 100, the last column 10 less
// with W the list's width in twips (15 per pixel).
//
// A selected row of -1 means no row is selected.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <cstdint>
#include <vector>

class clsListViewRpt {
public:
    enum class Revision { Harvester, Editor };

    explicit clsListViewRpt(Revision revision = Revision::Harvester) : revision_(revision) {}

    // Must come first: takes the list (not owned) and sets it up as a report.
    // A view other than a QTreeWidget must have its model already.
    void setLV(QTreeView* pLV);
    QTreeWidget* LV() const { return tree_; }  // null for a view over a model
    QTreeView* View() const { return lv_; }

    void setHeaders(const QStringList& pHeaders);  // appends columns; default widths 100 / n
    QStringList Headers() const;
    void setColumnWidths(const std::vector<int16_t>& pWidths);
    std::vector<int16_t> ColumnWidths() const { return widths_; }
    void setColumnHeader(int x, const QString& pHeader);
    void setColumnWidth(int x, int16_t pWidth);  // takes effect at the next Resize
    void ColumnHeaderWidth(int x, const QString& pHeader, int16_t pWidth);

    int16_t Rows() const;
    void setCols(int n);  // appends n columns with empty headers
    int16_t Cols() const;

    int16_t SelectedRow() const;
    void setSelectedRow(int pRow);  // above the last row: the last row; -1: none

    QString Data(int pRow, int pCol) const;
    void setData(int pRow, int pCol, const QString& pText);

    void MoveUp();
    void MoveDown();
    void Clear();                           // rows only; columns, headers and widths stay
    void AddRow();                          // empty cells; the selection is not changed
    void AddRow(const QStringList& cells);  // the same, filled in one step
    void Del();
    void Resize();

    // Column widths in twips for a list W twips wide, by the given rule.
    static std::vector<double> ColumnWidthsTwips(Revision rule, double W, const std::vector<int16_t>& percentages);
    static int16_t DefaultPercentage(int n);  // 100 / n, halves to even

private:
    void Select(QTreeWidgetItem* item);
    void SelectRow(int row);  // -1: none
    QAbstractItemModel* Model() const { return lv_->model(); }

    Revision revision_;
    QPointer<QTreeView> lv_;
    QPointer<QTreeWidget> tree_;  // the same list when it holds its own items
    std::vector<int16_t> widths_;
};
