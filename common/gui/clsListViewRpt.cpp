#include "common/gui/clsListViewRpt.h"

#include "common/Twips.h"

#include <QHeaderView>

#include <cmath>

namespace {}  // namespace

int16_t clsListViewRpt::DefaultPercentage(int n)
{
    return static_cast<int16_t>(std::nearbyint(100.0 / n));
}

void clsListViewRpt::setLV(QTreeView* pLV)
{
    lv_ = pLV;
    tree_ = qobject_cast<QTreeWidget*>(pLV);
    if (tree_)
        tree_->setColumnCount(0);
    lv_->setRootIsDecorated(false);
    lv_->setItemsExpandable(false);
    lv_->setUniformRowHeights(true);
    lv_->setAllColumnsShowFocus(true);
    lv_->setSelectionMode(QAbstractItemView::SingleSelection);
    lv_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv_->header()->setStretchLastSection(false);  // widths come from Resize
}

void clsListViewRpt::setHeaders(const QStringList& pHeaders)
{
    const int first = Cols();
    if (tree_) {
        tree_->setColumnCount(first + static_cast<int>(pHeaders.size()));
        for (int i = 0; i < pHeaders.size(); ++i)
            tree_->headerItem()->setText(first + i, pHeaders[i]);
    } else if (!pHeaders.isEmpty()) {
        Model()->insertColumns(first, static_cast<int>(pHeaders.size()));
        for (int i = 0; i < pHeaders.size(); ++i)
            Model()->setHeaderData(first + i, Qt::Horizontal, pHeaders[i]);
    }
    widths_.assign(static_cast<std::size_t>(pHeaders.size()), DefaultPercentage(static_cast<int>(pHeaders.size())));
}

QStringList clsListViewRpt::Headers() const
{
    QStringList headers;
    for (int i = 0; i < Cols(); ++i)
        headers << Model()->headerData(i, Qt::Horizontal).toString();
    return headers;
}

void clsListViewRpt::setColumnWidths(const std::vector<int16_t>& pWidths)
{
    widths_ = pWidths;
}

void clsListViewRpt::setColumnHeader(int x, const QString& pHeader)
{
    if (tree_)
        tree_->headerItem()->setText(x, pHeader);
    else
        Model()->setHeaderData(x, Qt::Horizontal, pHeader);
}

void clsListViewRpt::setColumnWidth(int x, int16_t pWidth)
{
    if (x >= 0 && static_cast<std::size_t>(x) < widths_.size())
        widths_[static_cast<std::size_t>(x)] = pWidth;
}

void clsListViewRpt::ColumnHeaderWidth(int x, const QString& pHeader, int16_t pWidth)
{
    setColumnHeader(x, pHeader);
    setColumnWidth(x, pWidth);
}

int16_t clsListViewRpt::Rows() const
{
    return static_cast<int16_t>(Model()->rowCount());
}

void clsListViewRpt::setCols(int n)
{
    setHeaders(QStringList(n, QString()));
}

int16_t clsListViewRpt::Cols() const
{
    return static_cast<int16_t>(Model()->columnCount());
}

int16_t clsListViewRpt::SelectedRow() const
{
    if (tree_) {
        const auto selected = tree_->selectedItems();
        return selected.isEmpty() ? int16_t(-1) : static_cast<int16_t>(tree_->indexOfTopLevelItem(selected.front()));
    }
    const auto selected = lv_->selectionModel()->selectedRows();
    return selected.isEmpty() ? int16_t(-1) : static_cast<int16_t>(selected.front().row());
}

void clsListViewRpt::SelectRow(int row)
{
    if (tree_) {
        Select(row < 0 ? nullptr : tree_->topLevelItem(row));
        return;
    }
    QItemSelectionModel* sel = lv_->selectionModel();
    const QModelIndex index = row < 0 ? QModelIndex() : Model()->index(row, 0);
    if (!index.isValid()) {
        sel->clearSelection();
        sel->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        return;
    }
    sel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    lv_->scrollTo(index);
}

void clsListViewRpt::Select(QTreeWidgetItem* item)
{
    if (!item) {
        tree_->clearSelection();
        tree_->setCurrentItem(nullptr);
        return;
    }
    tree_->setCurrentItem(item);
    item->setSelected(true);
    tree_->scrollToItem(item);
}

void clsListViewRpt::setSelectedRow(int pRow)
{
    const int n = Rows();
    if (pRow >= n)
        pRow = n - 1;
    SelectRow(pRow);
}

QString clsListViewRpt::Data(int pRow, int pCol) const
{
    if (tree_) {
        const QTreeWidgetItem* item = tree_->topLevelItem(pRow);
        return item ? item->text(pCol) : QString();
    }
    return Model()->data(Model()->index(pRow, pCol)).toString();
}

void clsListViewRpt::setData(int pRow, int pCol, const QString& pText)
{
    if (!tree_) {
        Model()->setData(Model()->index(pRow, pCol), pText);
        return;
    }
    if (QTreeWidgetItem* item = tree_->topLevelItem(pRow); item && pCol >= 0)
        item->setText(pCol, pText);
}

// Moving re-inserts the item itself; the neighbours exchange places and the
// moved row stays selected.
void clsListViewRpt::MoveUp()
{
    const int row = SelectedRow();
    if (row < 1)
        return;
    if (!tree_) {
        Model()->moveRow({}, row, {}, row - 1);
        SelectRow(row - 1);
        return;
    }
    QTreeWidgetItem* item = tree_->takeTopLevelItem(row);
    tree_->insertTopLevelItem(row - 1, item);
    Select(item);
}

void clsListViewRpt::MoveDown()
{
    const int row = SelectedRow();
    if (row < 0 || row >= Rows() - 1)
        return;
    if (!tree_) {
        Model()->moveRow({}, row, {}, row + 2);  // before the row after the next
        SelectRow(row + 1);
        return;
    }
    QTreeWidgetItem* item = tree_->takeTopLevelItem(row);
    tree_->insertTopLevelItem(row + 1, item);
    Select(item);
}

void clsListViewRpt::Clear()
{
    if (tree_)
        tree_->clear();
    else if (const int n = Rows())
        Model()->removeRows(0, n);
}

void clsListViewRpt::AddRow()
{
    AddRow({});
}

void clsListViewRpt::AddRow(const QStringList& cells)
{
    if (!tree_) {
        const int row = Rows();
        Model()->insertRow(row);
        for (int c = 0; c < cells.size() && c < Cols(); ++c)
            Model()->setData(Model()->index(row, c), cells[c]);
        return;
    }
    QStringList texts = cells;
    while (texts.size() < tree_->columnCount())
        texts << QString();
    tree_->addTopLevelItem(new QTreeWidgetItem(texts));
}

// As the list control did: the row that moves into the removed row's place
// becomes the selected one.
void clsListViewRpt::Del()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    if (!tree_) {
        Model()->removeRow(row);
        SelectRow(row < Rows() ? row : -1);
        return;
    }
    delete tree_->takeTopLevelItem(row);
    Select(tree_->topLevelItem(row));
}

std::vector<double> clsListViewRpt::ColumnWidthsTwips(Revision rule, double W, const std::vector<int16_t>& percentages)
{
    std::vector<double> widths;
    for (const int16_t p : percentages) {
        if (rule == Revision::Harvester)
            widths.push_back(std::floor((W - 10) / 100) * p);
        else
            widths.push_back(W * (p / 100.0));
    }
    if (rule == Revision::Editor && !widths.empty())
        widths.back() -= 10;
    return widths;
}

void clsListViewRpt::Resize()
{
    const int count = std::min<int>(Cols(), static_cast<int>(widths_.size()));
    std::vector<int16_t> used(widths_.begin(), widths_.begin() + count);
    const auto widths = ColumnWidthsTwips(revision_, lv_->width() * kTwipsPerPixel, used);
    for (int i = 0; i < count; ++i)
        lv_->setColumnWidth(
            i, std::max(0, static_cast<int>(std::nearbyint(widths[static_cast<std::size_t>(i)] / kTwipsPerPixel))));
}
