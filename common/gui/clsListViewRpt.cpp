#include "common/gui/clsListViewRpt.h"

#include <QHeaderView>

#include <cmath>

namespace {

constexpr int TwipsPerPixel = 15;

}  // namespace

int16_t clsListViewRpt::DefaultPercentage(int n)
{
    return static_cast<int16_t>(std::nearbyint(100.0 / n));
}

void clsListViewRpt::setLV(QTreeWidget* pLV)
{
    lv_ = pLV;
    lv_->setColumnCount(0);
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
    const int first = lv_->columnCount();
    lv_->setColumnCount(first + static_cast<int>(pHeaders.size()));
    for (int i = 0; i < pHeaders.size(); ++i)
        lv_->headerItem()->setText(first + i, pHeaders[i]);
    widths_.assign(static_cast<std::size_t>(pHeaders.size()), DefaultPercentage(static_cast<int>(pHeaders.size())));
}

QStringList clsListViewRpt::Headers() const
{
    QStringList headers;
    for (int i = 0; i < lv_->columnCount(); ++i)
        headers << lv_->headerItem()->text(i);
    return headers;
}

void clsListViewRpt::setColumnWidths(const std::vector<int16_t>& pWidths) { widths_ = pWidths; }

void clsListViewRpt::setColumnHeader(int x, const QString& pHeader) { lv_->headerItem()->setText(x, pHeader); }

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

int16_t clsListViewRpt::Rows() const { return static_cast<int16_t>(lv_->topLevelItemCount()); }

void clsListViewRpt::setCols(int n)
{
    setHeaders(QStringList(n, QString()));
}

int16_t clsListViewRpt::Cols() const { return static_cast<int16_t>(lv_->columnCount()); }

int16_t clsListViewRpt::SelectedRow() const
{
    const auto selected = lv_->selectedItems();
    return selected.isEmpty() ? int16_t(-1) : static_cast<int16_t>(lv_->indexOfTopLevelItem(selected.front()));
}

void clsListViewRpt::Select(QTreeWidgetItem* item)
{
    if (!item) {
        lv_->clearSelection();
        lv_->setCurrentItem(nullptr);
        return;
    }
    lv_->setCurrentItem(item);
    item->setSelected(true);
    lv_->scrollToItem(item);
}

void clsListViewRpt::setSelectedRow(int pRow)
{
    const int n = Rows();
    if (pRow >= n)
        pRow = n - 1;
    Select(pRow < 0 ? nullptr : lv_->topLevelItem(pRow));
}

QString clsListViewRpt::Data(int pRow, int pCol) const
{
    const QTreeWidgetItem* item = lv_->topLevelItem(pRow);
    return item ? item->text(pCol) : QString();
}

void clsListViewRpt::setData(int pRow, int pCol, const QString& pText)
{
    if (QTreeWidgetItem* item = lv_->topLevelItem(pRow); item && pCol >= 0)
        item->setText(pCol, pText);
}

// Moving re-inserts the item itself; the neighbours exchange places and the
// moved row stays selected.
void clsListViewRpt::MoveUp()
{
    const int row = SelectedRow();
    if (row < 1)
        return;
    QTreeWidgetItem* item = lv_->takeTopLevelItem(row);
    lv_->insertTopLevelItem(row - 1, item);
    Select(item);
}

void clsListViewRpt::MoveDown()
{
    const int row = SelectedRow();
    if (row < 0 || row >= Rows() - 1)
        return;
    QTreeWidgetItem* item = lv_->takeTopLevelItem(row);
    lv_->insertTopLevelItem(row + 1, item);
    Select(item);
}

void clsListViewRpt::Clear() { lv_->clear(); }

void clsListViewRpt::AddRow() { AddRow({}); }

void clsListViewRpt::AddRow(const QStringList& cells)
{
    QStringList texts = cells;
    while (texts.size() < lv_->columnCount())
        texts << QString();
    lv_->addTopLevelItem(new QTreeWidgetItem(texts));
}

// As the list control did: the row that moves into the removed row's place
// becomes the selected one.
void clsListViewRpt::Del()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    delete lv_->takeTopLevelItem(row);
    Select(lv_->topLevelItem(row));
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
    const int count = std::min<int>(lv_->columnCount(), static_cast<int>(widths_.size()));
    std::vector<int16_t> used(widths_.begin(), widths_.begin() + count);
    const auto widths = ColumnWidthsTwips(revision_, lv_->width() * TwipsPerPixel, used);
    for (int i = 0; i < count; ++i)
        lv_->setColumnWidth(i, std::max(0, static_cast<int>(std::nearbyint(widths[static_cast<std::size_t>(i)] / TwipsPerPixel))));
}
