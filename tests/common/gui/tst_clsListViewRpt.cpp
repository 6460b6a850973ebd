#include "common/gui/clsListViewRpt.h"

#include <QtTest>

using Rule = clsListViewRpt::Revision;
Q_DECLARE_METATYPE(Rule)
Q_DECLARE_METATYPE(std::vector<int16_t>)
Q_DECLARE_METATYPE(std::vector<double>)

namespace {

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
};

const QStringList ABCD = {"A", "B", "C", "D"};

}  // namespace

class TestListViewRpt : public QObject {
    Q_OBJECT

private slots:
    void defaultPercentage_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("percent");
        for (auto [n, p] : {std::pair{1, 100}, {2, 50}, {3, 33}, {4, 25}, {6, 17}, {7, 14}, {8, 12}, {40, 2}})
            QTest::addRow("%d columns", n) << n << p;
    }
    void defaultPercentage()
    {
        QFETCH(int, n);
        QFETCH(int, percent);
        List list;
        list.rpt.setHeaders(QStringList(n, "h"));
        QCOMPARE(list.rpt.ColumnWidths(), std::vector<int16_t>(static_cast<std::size_t>(n), static_cast<int16_t>(percent)));
    }

    void columnWidths_data()
    {
        QTest::addColumn<Rule>("rule");
        QTest::addColumn<double>("W");
        QTest::addColumn<std::vector<int16_t>>("percentages");
        QTest::addColumn<std::vector<double>>("twips");
        QTest::newRow("harvester 9000") << Rule::Harvester << 9000.0 << std::vector<int16_t>{85, 15} << std::vector<double>{7565, 1335};
        QTest::newRow("harvester 5000") << Rule::Harvester << 5000.0 << std::vector<int16_t>{85, 15} << std::vector<double>{4165, 735};
        QTest::newRow("editor 9000") << Rule::Editor << 9000.0 << std::vector<int16_t>{30, 70} << std::vector<double>{2700, 6290};
        QTest::newRow("editor 5000") << Rule::Editor << 5000.0 << std::vector<int16_t>{33, 33, 33} << std::vector<double>{1650, 1650, 1640};
        QTest::newRow("editor none") << Rule::Editor << 5000.0 << std::vector<int16_t>{} << std::vector<double>{};
    }
    void columnWidths()
    {
        QFETCH(Rule, rule);
        QFETCH(double, W);
        QFETCH(std::vector<int16_t>, percentages);
        QFETCH(std::vector<double>, twips);
        QCOMPARE(clsListViewRpt::ColumnWidthsTwips(rule, W, percentages), twips);
    }

    void resizeSetsTheColumnsInPixels()
    {
        List harvester({}, 0);
        harvester.rpt.setCols(2);
        harvester.rpt.ColumnHeaderWidth(0, "File", 85);
        harvester.rpt.ColumnHeaderWidth(1, "Status", 15);
        harvester.widget.resize(600, 300);  // 9000 twips
        harvester.rpt.Resize();
        QCOMPARE(harvester.widget.columnWidth(0), 504);  // 7565 twips
        QCOMPARE(harvester.widget.columnWidth(1), 89);   // 1335 twips
        QCOMPARE(harvester.rpt.Headers(), (QStringList{"File", "Status"}));

        List editor({}, 0, Rule::Editor);
        editor.rpt.setHeaders({"Name", "Reference"});
        editor.rpt.setColumnWidth(0, 30);
        editor.rpt.setColumnWidth(1, 70);
        editor.widget.resize(600, 300);
        editor.rpt.Resize();
        QCOMPARE(editor.widget.columnWidth(0), 180);  // 2700 twips
        QCOMPARE(editor.widget.columnWidth(1), 419);  // 6290 twips
    }

    void columnsAreAppended()
    {
        List list({}, 2);
        list.rpt.setHeaders({"a", "b", "c"});
        QCOMPARE(list.rpt.Cols(), 5);
        QCOMPARE(list.rpt.Headers(), (QStringList{"", "", "a", "b", "c"}));
        QCOMPARE(list.rpt.ColumnWidths(), (std::vector<int16_t>{33, 33, 33}));  // recreated, not extended
        list.rpt.setColumnWidths({10, 20, 30, 40, 0});
        QCOMPARE(list.rpt.ColumnWidths(), (std::vector<int16_t>{10, 20, 30, 40, 0}));
    }

    void selectedRow_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("selected");
        QTest::newRow("empty, 0") << 0 << 0 << -1;
        QTest::newRow("empty, 5") << 0 << 5 << -1;
        QTest::newRow("3 rows, 7") << 3 << 7 << 2;
        QTest::newRow("3 rows, 3") << 3 << 3 << 2;
        QTest::newRow("3 rows, 1") << 3 << 1 << 1;
        QTest::newRow("3 rows, 0") << 3 << 0 << 0;
        QTest::newRow("3 rows, -1") << 3 << -1 << -1;
    }
    void selectedRow()
    {
        QFETCH(int, rows);
        QFETCH(int, set);
        QFETCH(int, selected);
        List list(ABCD.mid(0, rows));
        QCOMPARE(list.rpt.SelectedRow(), -1);
        if (rows > 0)
            list.rpt.setSelectedRow(0);  // so that -1 has something to clear
        list.rpt.setSelectedRow(set);
        QCOMPARE(list.rpt.SelectedRow(), selected);
        QCOMPARE(list.widget.selectedItems().size(), selected < 0 ? 0 : 1);
    }

    void move_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("selected");
        QTest::newRow("up from 2") << 2 << true << QStringList{"A", "C", "B", "D"} << 1;
        QTest::newRow("down from 1") << 1 << false << QStringList{"A", "C", "B", "D"} << 2;
        QTest::newRow("up from the top") << 0 << true << ABCD << 0;
        QTest::newRow("down from the bottom") << 3 << false << ABCD << 3;
        QTest::newRow("up from the bottom") << 3 << true << QStringList{"A", "B", "D", "C"} << 2;
        QTest::newRow("down from the top") << 0 << false << QStringList{"B", "A", "C", "D"} << 1;
    }
    void move()
    {
        QFETCH(int, row);
        QFETCH(bool, up);
        QFETCH(QStringList, after);
        QFETCH(int, selected);
        List list(ABCD, 3);
        list.rpt.setSelectedRow(row);
        up ? list.rpt.MoveUp() : list.rpt.MoveDown();
        QCOMPARE(list.Column(0), after);
        QStringList others;
        for (const auto& a : after)
            others << a + "2";
        QCOMPARE(list.Column(2), others);  // every cell travels with its row
        QCOMPARE(list.rpt.SelectedRow(), selected);
    }

    void moveWithoutSelectionDoesNothing()
    {
        List list(ABCD);
        list.rpt.MoveUp();
        list.rpt.MoveDown();
        QCOMPARE(list.Column(), ABCD);
        QCOMPARE(list.rpt.SelectedRow(), -1);
    }

    void addRowGivesEveryColumnACell()
    {
        List list({"A", "B"}, 4);
        list.rpt.setSelectedRow(0);
        list.rpt.AddRow();
        QCOMPARE(list.rpt.Rows(), 3);
        QCOMPARE(list.rpt.Data(2, 3), QString(""));
        QCOMPARE(list.widget.topLevelItem(2)->columnCount(), 4);
        QCOMPARE(list.rpt.SelectedRow(), 0);
        list.rpt.AddRow({"x", "y"});
        QCOMPARE(list.rpt.Data(3, 1), QString("y"));
        QCOMPARE(list.widget.topLevelItem(3)->columnCount(), 4);
    }

    void del()
    {
        List list(ABCD);
        list.rpt.Del();  // nothing selected
        QCOMPARE(list.Column(), ABCD);
        list.rpt.setSelectedRow(1);
        list.rpt.Del();
        QCOMPARE(list.Column(), (QStringList{"A", "C", "D"}));
        QCOMPARE(list.rpt.SelectedRow(), 1);  // the row that moved into its place
        list.rpt.setSelectedRow(2);
        list.rpt.Del();
        QCOMPARE(list.Column(), (QStringList{"A", "C"}));
        QCOMPARE(list.rpt.SelectedRow(), -1);
    }

    void clearKeepsTheColumns()
    {
        List list(ABCD, 2);
        list.rpt.setHeaders({"x", "y"});
        list.rpt.Clear();
        QCOMPARE(list.rpt.Rows(), 0);
        QCOMPARE(list.rpt.Cols(), 4);
        QCOMPARE(list.rpt.Headers(), (QStringList{"", "", "x", "y"}));
        QCOMPARE(list.rpt.ColumnWidths().size(), 2u);
    }

    void dataAddressesItemsAndSubItems()
    {
        List list({"A", "B"}, 3);
        list.rpt.setData(1, 2, "cell");
        QCOMPARE(list.widget.topLevelItem(1)->text(2), QString("cell"));
        QCOMPARE(list.rpt.Data(1, 0), QString("B"));
        QCOMPARE(list.rpt.Data(5, 0), QString());  // no such row
    }
};

QTEST_MAIN(TestListViewRpt)
#include "tst_clsListViewRpt.moc"
