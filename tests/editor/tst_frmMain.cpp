// The editor's main window, driven offscreen: the entry form built from a
// specification file, opening data files, record editing, saving, quitting.
#include "common/clsDatFile.h"
#include "common/gui/clsCombo.h"
#include "common/gui/clsListViewRpt.h"
#include "common/gui/frmAbout.h"
#include "common/gui/modBrowseTo.h"
#include "editor/EditorDialogs.h"
#include "editor/frmMain.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace tabwright;

namespace {

// Answers in place of the user and remembers what was asked.
class FakeDialogs : public EditorDialogs {
public:
    struct Shown {
        QString title, text;
        Icon icon;
    };
    std::vector<Shown> messages;
    int questions = 0;
    bool answerOk = false;
    QString openAnswer, saveAnswer;
    QString openFilter, saveFilter, saveStart;
    int saveDialogs = 0;

    void Message(QWidget*, const QString& title, const QString& text, Icon icon) override {
        messages.push_back({title, text, icon});
    }
    bool OkCancel(QWidget*, const QString& title, const QString& text) override {
        ++questions;
        lastQuestion = title + "|" + text;
        return answerOk;
    }
    QString OpenFileName(QWidget*, const QString& filter, const QString&) override {
        openFilter = filter;
        return openAnswer;
    }
    QString SaveFileName(QWidget*, const QString& filter, const QString& fileName, const QString&) override {
        ++saveDialogs;
        saveFilter = filter;
        saveStart = fileName;
        return saveAnswer;
    }
    QString lastQuestion;
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

}  // namespace

class tst_frmMain : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    FakeDialogs dialogs_;
    std::unique_ptr<frmMain> form_;

    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString Write(const QString& name, const QByteArray& bytes) {
        QFile f(Path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return Path(name);
    }

    // Name (text box), Colour (completing combo) and Size (checking combo).
    QString ThreeFieldSpec() {
        Write(QStringLiteral("colours.txt"), "Red\r\nGreen\r\nBlue\r\n");
        return Write(QStringLiteral("three.dat"),
                     "3,4\r\n\"Name\",\"50\",\"0\",\"-\"\r\n\"Colour\",\"30\",\"2\",\"colours.txt\"\r\n"
                     "\"Size\",\"20\",\"1\",\"sizes.txt\"\r\n");
    }

    frmMain& Make(const QString& spec, int fmt = 0) {
        dialogs_ = FakeDialogs();
        form_ = std::make_unique<frmMain>(spec.toStdString(), dir_.path().toStdString(), &dialogs_);
        form_->Load();
        form_->AppCmd("fmt", {std::to_string(fmt)});
        return *form_;
    }

    frmMain& MakeWithRows(const QByteArray& rows, int count) {
        frmMain& f = Make(ThreeFieldSpec());
        const QString data =
            Write(QStringLiteral("rows.dat"), QByteArray::number(count) + ",3\r\n" + rows);
        f.AppCmd("open", {data.toStdString()});
        return f;
    }

    frmMain& MakeABCD() {
        return MakeWithRows("\"A\",\"a\",\"1\"\r\n\"B\",\"b\",\"2\"\r\n\"C\",\"c\",\"3\"\r\n\"D\",\"d\",\"4\"\r\n", 4);
    }

    static QStringList Column0(const frmMain& f) {
        QStringList l;
        for (int r = 0; r < f.List()->Rows(); ++r) l << f.List()->Data(r, 0);
        return l;
    }

    // A click on row r, as the list delivers it.
    static void ClickRow(frmMain& f, int r) {
        QTreeWidgetItem* item = f.ListView1->topLevelItem(r);
        QVERIFY(item);
        const QRect rect = f.ListView1->visualItemRect(item);
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
    }

    struct Buttons {
        bool del, up, down, save;
    };
    static Buttons State(const frmMain& f) {
        return {f.cmdDel->isEnabled(), f.cmdMoveUp->isEnabled(), f.cmdMoveDown->isEnabled(), f.cmdSave->isEnabled()};
    }

private slots:
    void cleanup() {
        if (form_) form_->hide();
        form_.reset();
    }

    // ---- the entry form ---------------------------------------------------

    void buildsFieldsFromASpecification() {
        frmMain& f = Make(ThreeFieldSpec());
        QVERIFY(!f.LoadFailed());
        QCOMPARE(f.FieldCount(), 3);
        const char* labels[] = {"lbl20", "lbl21", "lbl22"};
        const char* inputs[] = {"cbo20", "cbo21", "cbo22"};
        // Worked example in twips at 15 per pixel: lefts 120, 4440, 7032;
        // widths 4310, 2582, 1718; labels at top 120, inputs at top 360.
        const int lefts[] = {8, 296, 469};
        const int rights[] = {8 + 287, 296 + 172, 469 + 115};
        const char* tags[] = {"X=0/100 W=50/100", "X=50/100 W=30/100", "X=80/100 W=20/100"};
        for (int i = 0; i < 3; ++i) {
            auto* label = f.findChild<QLabel*>(QString::fromLatin1(labels[i]));
            auto* input = f.findChild<QWidget*>(QString::fromLatin1(inputs[i]));
            QVERIFY(label);
            QVERIFY(input);
            QCOMPARE(label->geometry().left(), lefts[i]);
            QVERIFY(qAbs(label->geometry().right() + 1 - rights[i]) <= 1);
            QCOMPARE(label->geometry().top(), 8);
            QCOMPARE(label->height(), 16);
            QCOMPARE(input->geometry().left(), lefts[i]);
            QCOMPARE(input->geometry().top(), 24);
            QCOMPARE(label->property("Tag").toString(), QString::fromLatin1(tags[i]));
            QCOMPARE(input->property("Tag").toString(), QString::fromLatin1(tags[i]));
        }
        QCOMPARE(f.FieldLabel(0)->text(), QStringLiteral(" Name"));
        QVERIFY(qobject_cast<QLineEdit*>(f.Field(0)));
        QCOMPARE(f.Field(0)->height(), 21);
        QVERIFY(qobject_cast<QComboBox*>(f.Field(1)));
        QVERIFY(qobject_cast<QComboBox*>(f.Field(2)));
        QVERIFY(!f.Combo(0));
        QCOMPARE(f.Combo(1)->Mode(), int16_t(2));
        QCOMPARE(f.Combo(2)->Mode(), int16_t(1));
        // The pick list is found in the program folder; sizes.txt does not exist.
        QCOMPARE(static_cast<QComboBox*>(f.Field(1))->count(), 3);
        QCOMPARE(static_cast<QComboBox*>(f.Field(2))->count(), 0);
        QCOMPARE(f.List()->Headers(), QStringList({"Name", "Colour", "Size"}));
        QCOMPARE(f.List()->ColumnWidths(), std::vector<int16_t>({50, 30, 20}));
        QCOMPARE(f.windowTitle(), QStringLiteral("Quorra Data File Editor"));
    }

    void fieldsFollowTheWindowWidth() {
        frmMain& f = Make(ThreeFieldSpec());
        f.show();
        const int w0 = f.Field(1)->width();
        const int x0 = f.Field(1)->x();
        f.resize(f.width() + 100, f.height() + 40);
        QTRY_COMPARE(f.Field(1)->x(), x0 + 50);  // X=50/100
        QCOMPARE(f.Field(1)->width(), w0 + 30);   // W=30/100
        QCOMPARE(f.Field(1)->y(), 24);
        QCOMPARE(f.cmdCancel->y(), 216 + 40);
        // Smaller than at start: the window takes its set-up size back.
        const QSize start = f.size() - QSize(100, 40);
        f.resize(start - QSize(50, 20));
        QTRY_COMPARE(f.size(), start);
        QCOMPARE(f.Field(1)->x(), x0);
    }

    void specificationErrors_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("3 columns") << QByteArray("1,3\r\n\"a\",\"1\",\"0\"\r\n")
                                   << "Error in specification file:\n%1\nIt should have 4 columns.";
        QTest::newRow("5 columns") << QByteArray("1,5\r\n\"a\",\"1\",\"0\",\"-\",\"x\"\r\n")
                                   << "Error in specification file:\n%1\nIt should have 4 columns.";
        QTest::newRow("no rows") << QByteArray("0,4\r\n")
                                 << "Error in specification file:\n%1\nIt should have at least one row.";
    }

    void specificationErrors() {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString spec = Write(QStringLiteral("bad.dat"), content);
        frmMain& f = Make(spec);
        QVERIFY(f.LoadFailed());
        QCOMPARE(dialogs_.messages.size(), size_t(1));
        QCOMPARE(dialogs_.messages[0].text, message.arg(spec));
        QCOMPARE(dialogs_.messages[0].title, QStringLiteral("Quorra Data File Editor"));
        QCOMPARE(dialogs_.messages[0].icon, EditorDialogs::Icon::Stop);
    }

    void missingSpecificationFile() {
        const QString spec = Path(QStringLiteral("nothere.dat"));
        dialogs_ = FakeDialogs();
        form_ = std::make_unique<frmMain>(spec.toStdString(), dir_.path().toStdString(), &dialogs_);
        QVERIFY(!form_->Load());
        QCOMPARE(dialogs_.messages.size(), size_t(1));
        QCOMPARE(dialogs_.messages[0].text, QStringLiteral("Specification file: %1 doesn't exist.").arg(spec));
        QCOMPARE(dialogs_.messages[0].icon, EditorDialogs::Icon::Stop);
    }

    void unreadableSpecificationEndsTheStart() {
        const QString spec = Write(QStringLiteral("garbage.dat"), "rows,cols\r\n");
        frmMain& f = Make(spec);
        QVERIFY(f.LoadFailed());
        QCOMPARE(dialogs_.messages.size(), size_t(1));
    }

    void oneTextBoxSpecificationWithOddListNames() {
        const QString spec = Write(QStringLiteral("odd.dat"),
                                   "3,4\r\n\"A\",\"40\",\"0\",\"--\"\r\n\"B\",\"30\",\"2\",\"-x\"\r\n"
                                   "\"C\",\"30\",\"0\",\"-\"\r\n");
        frmMain& f = Make(spec);
        QVERIFY(qobject_cast<QComboBox*>(f.Field(0)));
        QVERIFY(qobject_cast<QComboBox*>(f.Field(1)));
        QVERIFY(qobject_cast<QLineEdit*>(f.Field(2)));
        QCOMPARE(static_cast<QComboBox*>(f.Field(0))->count(), 0);
    }

    // ---- commands -----------------------------------------------------------

    void fmtCommand_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("fmt");
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("2") << "2" << 2;
        QTest::newRow("2.5 to even") << "2.5" << 2;
        QTest::newRow("1.5 to even") << "1.5" << 2;
        QTest::newRow("words") << "csv" << 0;
    }

    void fmtCommand() {
        QFETCH(QString, text);
        QFETCH(int, fmt);
        frmMain& f = Make(ThreeFieldSpec());
        f.AppCmd("FMT", {text.toStdString()});
        QCOMPARE(int(f.DataTable()->Fmt()), fmt);
    }

    void unknownCommandIsIgnored() {
        frmMain& f = MakeABCD();
        f.AppCmd("frobnicate", {"x"});
        QCOMPARE(f.List()->Rows(), int16_t(4));
        QVERIFY(dialogs_.messages.empty());
    }

    // ---- opening ------------------------------------------------------------

    void opensRows() {
        frmMain& f = MakeABCD();
        QCOMPARE(Column0(f), QStringList({"A", "B", "C", "D"}));
        QCOMPARE(f.List()->Data(2, 1), QStringLiteral("c"));
        QVERIFY(dialogs_.messages.empty());
        QVERIFY(!f.RowsChanged());
    }

    void wrongColumnCountIsRefused() {
        frmMain& f = Make(ThreeFieldSpec());
        const QString data = Write(QStringLiteral("four.dat"), "1,4\r\n\"a\",\"b\",\"c\",\"d\"\r\n");
        f.AppCmd("open", {data.toStdString()});
        QCOMPARE(f.List()->Rows(), int16_t(0));
        QCOMPARE(dialogs_.messages.size(), size_t(1));
        QCOMPARE(dialogs_.messages[0].text,
                 QStringLiteral("File %1 is not in the correct format. It has 4 columns.\n\n"
                                "Specification %2 is for 3 column data files.")
                     .arg(data, Path(QStringLiteral("three.dat"))));
        QCOMPARE(dialogs_.messages[0].icon, EditorDialogs::Icon::None);
        QVERIFY(!f.cmdSave->isEnabled());
    }

    void zeroRowsGiveAnEmptyList() {
        frmMain& f = Make(ThreeFieldSpec());
        const QString data = Write(QStringLiteral("empty.dat"), "0,3\r\n");
        f.AppCmd("open", {data.toStdString()});
        QCOMPARE(f.List()->Rows(), int16_t(0));
        QVERIFY(dialogs_.messages.empty());
    }

    void missingFileIsANewFile() {
        frmMain& f = Make(ThreeFieldSpec());
        const QString data = Path(QStringLiteral("new.dat"));
        f.AppCmd("open", {data.toStdString()});
        QCOMPARE(f.List()->Rows(), int16_t(0));
        QVERIFY(dialogs_.messages.empty());
        QCOMPARE(QString::fromStdString(f.DataTable()->FileName()), data);
        f.setFieldText(0, QStringLiteral("n"));
        f.cmdAdd->click();
        dialogs_.saveAnswer = data;
        f.cmdSave->click();
        QCOMPARE(dialogs_.saveStart, data);
        QCOMPARE(ReadAll(data), QByteArray("1,3\r\n\"n\",\"\",\"\"\r\n"));
    }

    void hiddenFileIsReadNotReplaced() {
        frmMain& f = Make(ThreeFieldSpec());
        const QString data = Write(QStringLiteral(".hidden.dat"), "1,3\r\n\"h\",\"i\",\"d\"\r\n");
        f.AppCmd("open", {data.toStdString()});
        QCOMPARE(Column0(f), QStringList({"h"}));
    }

    void unreadableFileKeepsTheRows() {
        frmMain& f = MakeABCD();
        const QString bad = Write(QStringLiteral("bad.dat"), "x,y\r\n");
        f.AppCmd("open", {bad.toStdString()});
        QCOMPARE(dialogs_.messages.size(), size_t(1));
        QCOMPARE(Column0(f), QStringList({"A", "B", "C", "D"}));
        QCOMPARE(QString::fromStdString(f.DataTable()->FileName()), Path(QStringLiteral("rows.dat")));
    }

    void csvWhoseFirstLineHasNoWordsIsReported() {
        frmMain& f = Make(ThreeFieldSpec(), 1);
        const QString bad = Write(QStringLiteral("bad.csv"), "\"x\"y,z\r\n\"a\",\"b\",\"c\"\r\n");
        f.AppCmd("open", {bad.toStdString()});
        QCOMPARE(dialogs_.messages.size(), size_t(1));
        QCOMPARE(dialogs_.messages[0].text, QStringLiteral("clsDatFile.Cols out of bounds (0)"));
        QVERIFY(f.isEnabled());
    }

    void fileOpenMenu() {
        frmMain& f = Make(ThreeFieldSpec(), 2);
        f.setFileOpenEnabled(true);
        QVERIFY(f.mnuFileOpen->isEnabled());
        const QString data = Write(QStringLiteral("h.csv"), "\"x\",\"y\",\"z\"\r\n\"1\",\"2\",\"3\"\r\n");
        dialogs_.openAnswer = data;
        f.mnuFileOpen->trigger();
        QCOMPARE(dialogs_.openFilter, QStringLiteral("Comma Separated Values (*.csv) | *.csv"));
        QCOMPARE(Column0(f), QStringList({"1"}));
        // A name the dialog gives that does not exist is reported, the rows stay.
        dialogs_.openAnswer = Path(QStringLiteral("gone.csv"));
        f.mnuFileOpen->trigger();
        QCOMPARE(dialogs_.messages.size(), size_t(1));
        QCOMPARE(dialogs_.messages[0].text, QStringLiteral("File not found: %1").arg(Path(QStringLiteral("gone.csv"))));
        QCOMPARE(Column0(f), QStringList({"1"}));
        // Cancel opens nothing.
        dialogs_.openAnswer.clear();
        f.mnuFileOpen->trigger();
        QCOMPARE(Column0(f), QStringList({"1"}));
        f.setFileOpenEnabled(false);
        QVERIFY(!f.mnuFileOpen->isEnabled());
    }

    // ---- record editing -----------------------------------------------------

    void startWithoutAFile() {
        frmMain& f = Make(ThreeFieldSpec());
        Buttons b = State(f);
        QVERIFY(!b.del && !b.up && !b.down && !b.save);
        QVERIFY(f.cmdAdd->isEnabled());
        QCOMPARE(f.cmdAdd->text(), QStringLiteral("Add"));
        f.setFieldText(0, QStringLiteral("Ann"));
        f.cmdAdd->click();
        QVERIFY(State(f).save);
        QCOMPARE(f.FieldText(0), QStringLiteral("Ann"));  // Add keeps the fields
        f.cmdAdd->click();
        QCOMPARE(Column0(f), QStringList({"Ann", "Ann"}));
        QCOMPARE(f.List()->SelectedRow(), int16_t(-1));
        dialogs_.saveAnswer.clear();
        f.cmdSave->click();
        QCOMPARE(dialogs_.saveStart, QString());
        QCOMPARE(dialogs_.saveFilter, QStringLiteral("Data (*.dat) | *.dat"));
    }

    void clickLoadsTheRow() {
        frmMain& f = MakeABCD();
        f.show();
        ClickRow(f, 1);
        QCOMPARE(f.List()->SelectedRow(), int16_t(1));
        QCOMPARE(f.cmdAdd->text(), QStringLiteral("Update"));
        QCOMPARE(f.FieldText(0), QStringLiteral("B"));
        QCOMPARE(f.FieldText(1), QStringLiteral("b"));
        QCOMPARE(f.FieldText(2), QStringLiteral("2"));
        // An edit is lost when another row is clicked.
        f.setFieldText(0, QStringLiteral("changed"));
        ClickRow(f, 2);
        QCOMPARE(f.FieldText(0), QStringLiteral("C"));
        QCOMPARE(f.cmdAdd->text(), QStringLiteral("Update"));
        QCOMPARE(Column0(f), QStringList({"A", "B", "C", "D"}));
    }

    void updateWritesTheRowAndEmptiesTheFields() {
        frmMain& f = MakeABCD();
        f.show();
        ClickRow(f, 2);
        f.setFieldText(0, QStringLiteral("Cc"));
        f.setFieldText(1, QStringLiteral("Green"));
        f.cmdAdd->click();
        QCOMPARE(f.List()->Data(2, 0), QStringLiteral("Cc"));
        QCOMPARE(f.List()->Data(2, 1), QStringLiteral("Green"));
        QCOMPARE(f.List()->Data(2, 2), QStringLiteral("3"));
        for (int j = 0; j < 3; ++j) QCOMPARE(f.FieldText(j), QString());
        QCOMPARE(f.cmdAdd->text(), QStringLiteral("Add"));
        QCOMPARE(f.List()->SelectedRow(), int16_t(2));
        QCOMPARE(f.List()->Rows(), int16_t(4));
        QVERIFY(f.RowsChanged());
    }

    void deleteSelectsNothing() {
        frmMain& f = MakeABCD();
        f.show();
        ClickRow(f, 1);
        f.cmdDel->click();
        QCOMPARE(Column0(f), QStringList({"A", "C", "D"}));
        QCOMPARE(f.List()->SelectedRow(), int16_t(-1));
        QCOMPARE(f.cmdAdd->text(), QStringLiteral("Add"));
        const Buttons b = State(f);
        QVERIFY(!b.del && !b.up && !b.down && b.save);
        QCOMPARE(f.FieldText(0), QStringLiteral("B"));  // the fields keep their texts
    }

    void moveButtonsFollowTheSelection() {
        frmMain& f = MakeABCD();
        f.show();
        ClickRow(f, 0);
        Buttons b = State(f);
        QVERIFY(b.del && !b.up && b.down);
        ClickRow(f, 3);
        b = State(f);
        QVERIFY(b.del && b.up && !b.down);
        ClickRow(f, 2);
        f.cmdMoveUp->click();
        QCOMPARE(Column0(f), QStringList({"A", "C", "B", "D"}));
        QCOMPARE(f.List()->SelectedRow(), int16_t(1));
        f.cmdMoveDown->click();
        f.cmdMoveDown->click();
        QCOMPARE(Column0(f), QStringList({"A", "B", "D", "C"}));
        QCOMPARE(f.List()->SelectedRow(), int16_t(3));
        QVERIFY(!f.cmdMoveDown->isEnabled());
        // A pending Update writes into the moved row.
        QCOMPARE(f.cmdAdd->text(), QStringLiteral("Update"));
        f.setFieldText(0, QStringLiteral("Z"));
        f.cmdAdd->click();
        QCOMPARE(Column0(f), QStringList({"A", "B", "D", "Z"}));
    }

    void singleRowCannotMove() {
        frmMain& f = MakeWithRows("\"A\",\"a\",\"1\"\r\n", 1);
        f.show();
        ClickRow(f, 0);
        const Buttons b = State(f);
        QVERIFY(b.del && !b.up && !b.down && b.save);
    }

    void updateWithoutASelectedRowAddsARow() {
        frmMain& f = MakeABCD();
        f.show();
        ClickRow(f, 1);
        QCOMPARE(f.cmdAdd->text(), QStringLiteral("Update"));
        // Reopening empties the selection under a pending Update.
        f.AppCmd("open", {Path(QStringLiteral("rows.dat")).toStdString()});
        QCOMPARE(f.List()->SelectedRow(), int16_t(-1));
        f.setFieldText(0, QStringLiteral("E"));
        f.cmdAdd->click();
        QCOMPARE(Column0(f), QStringList({"A", "B", "C", "D", "E"}));
        QCOMPARE(f.cmdAdd->text(), QStringLiteral("Add"));
    }

    // ---- saving -------------------------------------------------------------

    void saveInEveryFormat_data() {
        QTest::addColumn<int>("fmt");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray rows = "\"A\",\"a,1\",\"x\"\r\n\"B\",\"say \"\"hi\"\"\",\"\"\r\n";
        QTest::newRow("dat") << 0 << QByteArray("2,3\r\n" + rows);
        QTest::newRow("csv") << 1 << rows;
        QTest::newRow("csvh") << 2 << QByteArray("\"Name\",\"Colour\",\"Size\"\r\n" + rows);
    }

    void saveInEveryFormat() {
        QFETCH(int, fmt);
        QFETCH(QByteArray, expected);
        frmMain& f = Make(ThreeFieldSpec(), fmt);  // never opened: the captions head the csvh file
        const QString values[2][3] = {{"A", "a,1", "x"}, {"B", "say \"hi\"", ""}};
        for (const auto& row : values) {
            for (int j = 0; j < 3; ++j) f.setFieldText(j, row[j]);
            f.cmdAdd->click();
        }
        const QString out = Path(QStringLiteral("out%1").arg(fmt));
        dialogs_.saveAnswer = out;
        f.cmdSave->click();
        QVERIFY(dialogs_.messages.empty());
        QCOMPARE(ReadAll(out), expected);
        QVERIFY(!f.RowsChanged());
        // The next Save As proposes the new name.
        f.cmdSave->click();
        QCOMPARE(dialogs_.saveStart, out);
        // The saved file opens again with the same rows.
        const auto before = f.ListRows();
        f.AppCmd("open", {out.toStdString()});
        QVERIFY(f.ListRows() == before);
    }

    void failedSaveIsReportedAndKeepsTheName() {
        frmMain& f = MakeABCD();
        dialogs_.saveAnswer = Path(QStringLiteral("no/such/folder/x.dat"));
        f.cmdSave->click();
        QCOMPARE(dialogs_.messages.size(), size_t(1));
        QCOMPARE(QString::fromStdString(f.DataTable()->FileName()), Path(QStringLiteral("rows.dat")));
        QCOMPARE(f.List()->Rows(), int16_t(4));
    }

    void saveCommandWithAnEmptyListWritesNothing() {
        frmMain& f = Make(ThreeFieldSpec());
        const QString out = Path(QStringLiteral("never.dat"));
        f.AppCmd("save", {out.toStdString()});
        QVERIFY(!QFile::exists(out));
        QVERIFY(dialogs_.messages.empty());
    }

    // ---- quitting -------------------------------------------------------------

    void quitAsksFirst() {
        frmMain& f = MakeABCD();
        f.show();
        dialogs_.answerOk = false;
        f.cmdCancel->click();
        QCOMPARE(dialogs_.questions, 1);
        QCOMPARE(dialogs_.lastQuestion, QStringLiteral("Quit|Are you sure?"));
        QVERIFY(f.isVisible());
        dialogs_.answerOk = true;
        f.mnuFileExit->trigger();
        QCOMPARE(dialogs_.questions, 2);
        QVERIFY(!f.isVisible());
    }

    void escapePressesCancel() {
        frmMain& f = MakeABCD();
        f.show();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        dialogs_.answerOk = false;
        QTest::keyClick(&f, Qt::Key_Escape);
        QCOMPARE(dialogs_.questions, 1);
        QVERIFY(f.isVisible());
    }

    void closingUnchangedAsksNothing() {
        frmMain& f = MakeABCD();
        f.show();
        QVERIFY(f.close());
        QCOMPARE(dialogs_.questions, 0);
    }

    void closingChangedRowsAsks() {
        frmMain& f = MakeABCD();
        f.show();
        f.setFieldText(0, QStringLiteral("E"));
        f.cmdAdd->click();
        dialogs_.answerOk = false;
        QVERIFY(!f.close());
        QCOMPARE(dialogs_.questions, 1);
        QVERIFY(f.isVisible());
        dialogs_.answerOk = true;
        QVERIFY(f.close());
        QCOMPARE(dialogs_.questions, 2);
    }

    // ---- help -----------------------------------------------------------------

    void helpPageLookup() {
        const std::string folder = dir_.path().toStdString();
        QDir(dir_.path()).mkpath(QStringLiteral("Help"));
        QCOMPARE(frmMain::HelpPage(folder, "Tabwright", "Product"), folder + "/Help/index.html");
        Write(QStringLiteral("Help/Product.html"), "p");
        QCOMPARE(frmMain::HelpPage(folder, "Tabwright", "Product"), folder + "/Help/Product.html");
        Write(QStringLiteral("Help/Tabwright.html"), "t");
        QCOMPARE(frmMain::HelpPage(folder, "Tabwright", "Product"), folder + "/Help/Tabwright.html");
    }

    void helpMenuOpensThePage() {
        frmMain& f = Make(ThreeFieldSpec());
        QString opened;
        setBrowseToHandler([&opened](const QString& target) { opened = target; });
        f.mnuHelpContents->trigger();
        setBrowseToHandler({});
        QVERIFY(opened.startsWith(dir_.path() + QStringLiteral("/Help/")));
        QVERIFY(opened.endsWith(QStringLiteral(".html")));
    }

    void aboutBoxIsModelessWithoutOwner() {
        frmMain& f = Make(ThreeFieldSpec());
        f.mnuHelpAbout->trigger();
        frmAbout* about = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* a = qobject_cast<frmAbout*>(w); a && a->isVisible()) about = a;
        QVERIFY(about);
        QVERIFY(!about->parent());
        QVERIFY(!about->isModal());
        QCOMPARE(about->windowTitle(), QStringLiteral("About Quorra Data File Editor"));
        about->close();
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"
