#include "common/gui/clsListViewRpt.h"

#include <QtTest>

using Rule = clsListViewRpt::Revision;

namespace {

// Rows named by the texts in column 0; column c holds the name followed by c.
struct List {
    QTreeWidget widget;
    clsListViewRpt rpt;

    explicit List(const QStringList& rows = {}, int cols = 1, Rule rule = Rule::Harvester) : rpt(rule)
    {
        rpt.setLV(&widget);
        rpt.setCols(cols);
        for (const auto& r : rows) {
            rpt.AddRow();
            for (int c = 0; c < cols; ++c)
                rpt.setData(rpt.Rows() - 1, c, c == 0 ? r : r + QString::number(c));
        }
    }
    QStringList Column(int c = 0) const
    {
        QStringList texts;
        for (int r = 0; r < rpt.Rows(); ++r)
            texts << rpt.Data(r, c);
        return texts;
    }
    // Column 0 joined, then the selected row and how many rows the widget shows selected.
    QString State() const
    {
        return QString("%1 %2/%3").arg(Column().join("")).arg(rpt.SelectedRow()).arg(widget.selectedItems().size());
    }
};

const QStringList ABCD = {"A", "B", "C", "D"};

}  // namespace

class TestListViewRpt : public QObject {
    Q_OBJECT

private slots:
    // The rules in twips for a list 5000 twips wide, then the widths a resize sets for 9000 twips, in pixels.
    void columnWidths()
    {
        const std::tuple<Rule, std::vector<int16_t>, std::vector<double>> cases[] = {
            {Rule::Harvester, {85, 15}, {4165, 735}},
            {Rule::Editor, {33, 33, 33}, {1650, 1650, 1640}},
            {Rule::Editor, {}, {}},
        };
        for (const auto& [rule, percentages, twips] : cases)
            QCOMPARE(clsListViewRpt::ColumnWidthsTwips(rule, 5000, percentages), twips);

        List harvester({}, 2), editor({}, 0, Rule::Editor);
        harvester.rpt.ColumnHeaderWidth(0, "File", 85);
        harvester.rpt.ColumnHeaderWidth(1, "Status", 15);
        editor.rpt.setHeaders({"Name", "Reference"});
        editor.rpt.setColumnWidth(0, 30);
        editor.rpt.setColumnWidth(1, 70);
        QList<int> pixels;
        for (List* list : {&harvester, &editor}) {
            list->widget.resize(600, 300);
            list->rpt.Resize();
            pixels << list->widget.columnWidth(0) << list->widget.columnWidth(1);
        }
        QCOMPARE(pixels, (QList{504, 89, 180, 419}));  // 7565 and 1335 twips; 2700 and 6290
        QCOMPARE(harvester.rpt.Headers(), (QStringList{"File", "Status"}));
    }

    void headersAreAppendedWithTheDefaultPercentageAndClearKeepsThem()
    {
        for (auto [n, percent] : {std::pair{1, 100}, {3, 33}, {6, 17}, {8, 12}, {40, 2}}) {
            List list;
            list.rpt.setHeaders(QStringList(n, "h"));
            QCOMPARE(list.rpt.ColumnWidths(), std::vector<int16_t>(std::size_t(n), int16_t(percent)));
        }
        List list(ABCD, 2);
        list.rpt.setHeaders({"a", "b", "c"});
        QCOMPARE(list.rpt.Headers(), (QStringList{"", "", "a", "b", "c"}));
        QCOMPARE(list.rpt.ColumnWidths(), (std::vector<int16_t>{33, 33, 33}));  // recreated, not extended
        list.rpt.Clear();
        QVERIFY(list.rpt.Rows() == 0 && list.rpt.Cols() == 5);
    }

    void selectMoveAndDel()
    {
        // rows, row selected (clamped; -1: none, after row 0 was), Up, dowN, Del or only Selected, rows after,
        // row selected after: after Del the row that moved into the place of the deleted one, none after the last
        const std::tuple<int, int, char, QString, int> cases[] = {
            {0, 0, 'S', "", -1},      {0, 5, 'S', "", -1},      {3, 3, 'S', "ABC", 2},    {3, 1, 'S', "ABC", 1},
            {3, 0, 'S', "ABC", 0},    {3, -1, 'S', "ABC", -1},  {4, 2, 'U', "ACBD", 1},   {4, 1, 'N', "ACBD", 2},
            {4, 0, 'U', "ABCD", 0},   {4, 3, 'N', "ABCD", 3},   {4, 3, 'U', "ABDC", 2},   {4, 0, 'N', "BACD", 1},
            {4, -1, 'U', "ABCD", -1}, {4, -1, 'N', "ABCD", -1}, {4, -1, 'D', "ABCD", -1}, {4, 1, 'D', "ACD", 1},
            {4, 3, 'D', "ABC", -1},
        };
        for (const auto& [rows, row, key, after, selected] : cases) {
            List list(ABCD.mid(0, rows), 3);
            QCOMPARE(list.rpt.SelectedRow(), -1);
            if (rows > 0)
                list.rpt.setSelectedRow(0);  // so that -1 has something to clear
            list.rpt.setSelectedRow(row);
            key == 'U' ? list.rpt.MoveUp() : key == 'N' ? list.rpt.MoveDown() : key == 'D' ? list.rpt.Del() : void();
            QCOMPARE(list.State(), QString("%1 %2/%3").arg(after).arg(selected).arg(selected < 0 ? 0 : 1));
            QCOMPARE(list.Column(2).join("").remove('2'), list.Column(0).join(""));  // every cell travels with its row
        }
    }

    void addRowGivesEveryColumnACell()
    {
        List list({"A", "B"}, 4);
        list.rpt.setSelectedRow(0);
        list.rpt.AddRow();
        list.rpt.AddRow({"x", "y"});
        QCOMPARE(list.State(), QStringLiteral("ABx 0/1"));
        QVERIFY(list.widget.topLevelItem(2)->columnCount() == 4 && list.widget.topLevelItem(3)->columnCount() == 4);
        QCOMPARE((QStringList{list.rpt.Data(2, 3), list.widget.topLevelItem(3)->text(1), list.rpt.Data(5, 0)}),
                 (QStringList{"", "y", ""}));  // the last: no such row
    }
};

QTEST_MAIN(TestListViewRpt)
#include "tst_clsListViewRpt.moc"
