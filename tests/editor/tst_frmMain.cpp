// The editor's main window, driven offscreen: the entry form built from a
// specification file, opening data files, record editing, saving, quitting.
#include "common/clsDatFile.h"
#include "common/gui/clsCombo.h"
#include "common/gui/clsListViewRpt.h"
#include "common/gui/frmAbout.h"
#include "common/gui/modBrowseTo.h"
#include "editor/frmMain.h"
#include "tests/common/gui/TestFiles.h"
#include "tests/editor/FakeEditorDialogs.h"

#include "common/DataFileLock.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

using namespace tabwright;
using namespace Qt::StringLiterals;

class tst_frmMain : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    FakeDialogs dialogs_;
    std::unique_ptr<frmMain> form_;

    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString Write(const QString& name, const QByteArray& bytes) { return WriteBytes(Path(name), bytes); }

    // Name (text box), Colour (completing combo) and Size (checking combo).
    QString ThreeFieldSpec()
    {
        Write(u"colours.txt"_s, "Red\r\nGreen\r\nBlue\r\n");
        return Write(u"three.dat"_s, "3,4\r\n\"Name\",\"50\",\"0\",\"-\"\r\n\"Colour\",\"30\",\"2\",\"colours.txt\"\r\n"
                                     "\"Size\",\"20\",\"1\",\"sizes.txt\"\r\n");
    }

    frmMain& Make(const QString& spec, int fmt = 0, const QString& programFolder = {})
    {
        cleanup();
        dialogs_ = FakeDialogs();
        form_ = std::make_unique<frmMain>(
            spec.toStdString(), (programFolder.isEmpty() ? dir_.path() : programFolder).toStdString(), &dialogs_);
        form_->Load();
        form_->AppCmd("fmt", {std::to_string(fmt)});
        return *form_;
    }

    void Open(const QString& path) { form_->AppCmd("open", {path.toStdString()}); }

    // Rows A a 1, B b 2, C c 3, D d 4 (or the first n of them), shown.
    frmMain& MakeABCD(int n = 4)
    {
        frmMain& f = Make(ThreeFieldSpec());
        QByteArray data = QByteArray::number(n) + ",3\r\n";
        for (int r = 0; r < n; ++r)
            data += u"\"%1\",\"%2\",\"%3\"\r\n"_s.arg(QChar('A' + r)).arg(QChar('a' + r)).arg(r + 1).toLatin1();
        Open(Write(u"rows.dat"_s, data));
        f.show();
        return f;
    }

    static QString Column0(const frmMain& f)
    {
        QString s;
        for (int r = 0; r < f.List()->Rows(); ++r)
            s += f.List()->Data(r, 0);
        return s;
    }

    // A click on row r, as the list delivers it.
    static void ClickRow(frmMain& f, int r, Qt::KeyboardModifiers modifiers = {})
    {
        const QRect rect = f.ListView1->visualRect(f.ListView1->model()->index(r, 0));
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    static QString Joined(const std::vector<std::string>& cells)
    {
        QStringList texts;
        for (const std::string& cell : cells)
            texts << QString::fromStdString(cell);
        return texts.join('/');
    }

    // Column 0, the selected row, Add's caption (- when disabled), then the
    // letters of Del, Up, dowN and Save when enabled, * when the rows changed,
    // and the fields.
    static QString Snapshot(const frmMain& f)
    {
        std::vector<std::string> fields;
        for (int j = 0; j < f.FieldCount(); ++j)
            fields.push_back(f.FieldText(j).toStdString());
        return u"%1.%2.%3.%4%5%6%7%8.%9"_s.arg(Column0(f))
            .arg(f.List()->SelectedRow())
            .arg(f.cmdAdd->isEnabled() ? f.cmdAdd->text() : "-")
            .arg(f.cmdDel->isEnabled() ? "D" : "-", f.cmdMoveUp->isEnabled() ? "U" : "-",
                 f.cmdMoveDown->isEnabled() ? "N" : "-", f.cmdSave->isEnabled() ? "S" : "-", f.RowsChanged() ? "*" : "")
            .arg(Joined(fields));
    }

    void SaveAs(frmMain& f, const QString& path)
    {
        dialogs_.saveAnswer = path;
        f.cmdSave->click();
    }

    // Types the fields from the first on and presses Add (Update when a row is selected).
    static void AddRow(frmMain& f, const QStringList& fields)
    {
        for (int j = 0; j < fields.size(); ++j)
            f.setFieldText(j, fields[j]);
        f.cmdAdd->click();
    }

    static bool Shown(QWidget& w)
    {
        w.show();
        w.activateWindow();
        return QTest::qWaitForWindowActive(&w);
    }

private slots:
    void cleanup()
    {
        if (form_)
            form_->hide();
        form_.reset();
    }

    // ---- the entry form ---------------------------------------------------

    // The fields built from a specification, then following the window's width.
    void buildsFieldsFromASpecification()
    {
        frmMain& f = Make(ThreeFieldSpec());
        QVERIFY(!f.LoadFailed() && f.FieldCount() == 3);
        // Lefts 120, 4440, 7032 and widths 4310, 2582, 1718 twips at 15 per
        // pixel; labels at top 120, inputs at top 360.
        const int lefts[] = {8, 296, 469}, widths[] = {287, 172, 115};
        for (int i = 0; i < 3; ++i) {
            auto* label = f.findChild<QLabel*>(u"lbl2%1"_s.arg(i));
            auto* input = f.findChild<QWidget*>(u"cbo2%1"_s.arg(i));
            QVERIFY(label && input && qAbs(label->geometry().right() + 1 - lefts[i] - widths[i]) <= 1);
            QCOMPARE((QList{label->x(), label->y(), label->height(), input->x(), input->y()}),
                     (QList{lefts[i], 8, 16, lefts[i], 24}));
            QCOMPARE(input->property("Tag"), label->property("Tag"));
        }
        QCOMPARE(f.FieldLabel(0)->text(), u" Name"_s);
        QVERIFY(qobject_cast<QLineEdit*>(f.Field(0)) && f.Field(0)->height() == 21 && !f.Combo(0));
        // Modes, and entries: the pick list is found in the program folder; sizes.txt does not exist.
        QCOMPARE((QList<int>{f.Combo(1)->Mode(), f.Combo(2)->Mode(), static_cast<QComboBox*>(f.Field(1))->count(),
                             static_cast<QComboBox*>(f.Field(2))->count()}),
                 (QList<int>{2, 1, 3, 0}));
        QCOMPARE(f.List()->Headers(), QStringList({"Name", "Colour", "Size"}));
        QCOMPARE(f.List()->ColumnWidths(), std::vector<int16_t>({50, 30, 20}));

        f.show();
        const QRect r0 = f.Field(1)->geometry();
        f.resize(f.width() + 100, f.height() + 40);
        QTRY_COMPARE(f.Field(1)->x(), r0.x() + 50);  // X=50/100, W=30/100
        QCOMPARE((QList{f.Field(1)->width(), f.Field(1)->y(), f.cmdCancel->y()}),
                 (QList{r0.width() + 30, 24, 216 + 40}));
        // Smaller than at start: the window takes its set-up size back.
        const QSize start = f.size() - QSize(100, 40);
        f.resize(start - QSize(50, 20));
        QTRY_COMPARE(f.size(), start);
        QCOMPARE(f.Field(1)->geometry(), r0);
    }

    void specificationErrors()
    {
        const QString columns = "Error in specification file:\n%1\nIt should have 4 columns.";
        const std::pair<QByteArray, QString> cases[] = {
            {"1,3\r\n\"a\",\"1\",\"0\"\r\n", columns},
            {"1,5\r\n\"a\",\"1\",\"0\",\"-\",\"x\"\r\n", columns},
            {"0,4\r\n", "Error in specification file:\n%1\nIt should have at least one row."},
            {"rows,cols\r\n", QString()},  // unreadable: reported, whatever the words
            {{}, "Specification file: %1 doesn't exist."},
        };
        for (const auto& [content, message] : cases) {
            const QString spec = content.isNull() ? Path(u"nothere.dat"_s) : Write(u"bad.dat"_s, content);
            frmMain& f = Make(spec);
            QVERIFY(f.LoadFailed());
            QCOMPARE(dialogs_.messages.size(), 1);
            if (message.isNull())
                continue;
            QCOMPARE(dialogs_.messages[0], message.arg(spec));
            QCOMPARE(dialogs_.icon, EditorDialogs::Icon::Stop);
        }
    }

    // ---- commands and opening -----------------------------------------------

    // Empty, hidden and missing files open; a file of the wrong width shows no row, and saving over it would lose
    // them all.
    void openingFiles()
    {
        frmMain& f = Make(ThreeFieldSpec());
        Open(Write(u"empty.dat"_s, "0,3\r\n"));
        QCOMPARE(f.List()->Rows(), int16_t(0));
        Open(Write(u".hidden.dat"_s, "1,3\r\n\"h\",\"i\",\"d\"\r\n"));  // read, though not replaced
        QCOMPARE(Column0(f), u"h"_s);
        // A missing file is a new file.
        const QString data = Path(u"new.dat"_s);
        Open(data);
        QVERIFY(f.List()->Rows() == 0 && dialogs_.messages.empty());
        AddRow(f, {"n"});
        SaveAs(f, data);
        QCOMPARE(dialogs_.saveStart, data);
        QCOMPARE(ReadBytes(data), QByteArray("1,3\r\n\"n\",\"\",\"\"\r\n"));

        const QString four = Write(u"four.dat"_s, "2,4\r\n\"a\",\"b\",\"c\",\"d\"\r\n\"e\",\"f\",\"g\",\"h\"\r\n");
        Open(four);
        QCOMPARE(dialogs_.messages,
                 QStringList{u"File %1 is not in the correct format. It has 4 columns.\n\n"
                             "Specification %2 is for 3 column data files."_s.arg(four, Path(u"three.dat"_s))});
        QVERIFY(f.List()->Rows() == 0 && dialogs_.icon == EditorDialogs::Icon::None && !f.cmdSave->isEnabled());
        f.cmdAdd->click();
        SaveAs(f, four);
        QCOMPARE(dialogs_.questions,
                 QStringList{u"Save As|File %1:\n2 rows of the file were not read and will be lost."_s.arg(four)});
        QCOMPARE(ReadBytes(four).left(5), QByteArray("2,4\r\n"));
    }

    // The fmt command, unknown commands ignored; a file that cannot be read or written leaves the rows and the file
    // shown; a text the file cannot hold is refused.
    void commandsAndWhatCannotBeReadOrWritten()
    {
        frmMain& f = MakeABCD();
        for (auto [text, fmt] : {std::pair{"1", 1}, {"2", 2}, {"2.5", 2}, {"1.5", 2}, {"csv", 0}}) {
            f.AppCmd("FMT", {text});
            QCOMPARE(int(f.DataTable()->Fmt()), fmt);
        }
        f.AppCmd("frobnicate", {"x"});
        QVERIFY(Column0(f) == u"ABCD"_s && dialogs_.messages.empty() && !f.RowsChanged());
        Open(Write(u"bad.dat"_s, "x,y\r\n"));
        SaveAs(f, Path(u"no/such/folder/x.dat"_s));
        QCOMPARE(dialogs_.messages.size(), 2);
        QCOMPARE(Column0(f) + QString::fromStdString(f.DataTable()->FileName()), "ABCD" + Path(u"rows.dat"_s));
        f.AppCmd("fmt", {"1"});
        Open(Write(u"bad.csv"_s, "\"x\"y,z\r\n\"a\",\"b\",\"c\"\r\n"));
        QVERIFY(dialogs_.messages.value(2) == u"clsDatFile.Cols out of bounds (0)"_s && f.isEnabled());
        // A text the file's code page has no byte for is refused, not replaced.
        f.AppCmd("fmt", {"0"});
        const QString path = Write(u"cp.dat"_s, "2,3\r\n\"M\xfcller\",\"x\",\"1\"\r\n\"B\",\"y\",\"2\"\r\n");
        Open(path);
        QCOMPARE(f.List()->Data(0, 0), u"M\u00fcller"_s);
        ClickRow(f, 1);
        AddRow(f, {u"Stra\u00dfe \u20ac"_s});
        ClickRow(f, 0);
        AddRow(f, {u"M\u00fcller"_s, u"\u4e2d"_s});
        QCOMPARE(dialogs_.messages.mid(3),
                 QStringList{
                     u"The character \u4e2d cannot be written to file %1, which holds Windows-1252 text."_s.arg(path)});
        QVERIFY(f.cmdAdd->text() == u"Update"_s && f.List()->Data(0, 1) == u"x"_s);
        SaveAs(f, path);
        QCOMPARE(ReadBytes(path), QByteArray("2,3\r\n\"M\xfcller\",\"x\",\"1\"\r\n\"Stra\xdf"
                                             "e \x80\",\"y\",\"2\"\r\n"));

        Make(ThreeFieldSpec()).AppCmd("save", {Path(u"never.dat"_s).toStdString()});
        QVERIFY(!QFile::exists(Path(u"never.dat"_s)) && dialogs_.messages.empty());  // an empty list writes nothing
    }

    void fileOpenMenu()
    {
        frmMain& f = Make(ThreeFieldSpec(), 2);
        f.setFileOpenEnabled(true);
        dialogs_.openAnswer = Write(u"h.csv"_s, "\"x\",\"y\",\"z\"\r\n\"1\",\"2\",\"3\"\r\n");
        f.mnuFileOpen->trigger();
        QCOMPARE(dialogs_.openFilter, u"Comma Separated Values (*.csv) | *.csv"_s);
        QCOMPARE(Column0(f), u"1"_s);
        // A name the dialog gives that does not exist is reported; Cancel opens nothing.
        for (const QString& answer : {Path(u"gone.csv"_s), QString()}) {
            dialogs_.openAnswer = answer;
            f.mnuFileOpen->trigger();
            QCOMPARE(Column0(f), u"1"_s);
        }
        QCOMPARE(dialogs_.messages, QStringList{u"File not found: %1"_s.arg(Path(u"gone.csv"_s))});
        // Edited rows: File > Open asks first, as closing does.
        AddRow(f, {"E"});
        dialogs_.openAnswer = Write(u"other.csv"_s, "\"x\",\"y\",\"z\"\r\n\"O\",\"o\",\"9\"\r\n");
        f.mnuFileOpen->trigger();
        QCOMPARE(dialogs_.questions, QStringList{u"Open|The rows have changed and are not saved. Are you sure?"_s});
        QCOMPARE(Column0(f), u"1E"_s);
        dialogs_.answerOk = true;
        f.mnuFileOpen->trigger();
        QCOMPARE(Column0(f), u"O"_s);
        f.mnuFileOpen->trigger();  // nothing changed: no question
        QCOMPARE(dialogs_.questions.size(), 2);
        f.setFileOpenEnabled(false);
        QVERIFY(!f.mnuFileOpen->isEnabled());  // the trigger above needed it enabled
    }

    // ---- record editing -----------------------------------------------------

    // User steps on the rows A a 1, B b 2, C c 3, D d 4 (the first "rows" of
    // them; -1: no file opened): cN clicks row N, ^N ctrl-clicks it, v and h
    // press Down and Home in the list, fJ=text types into field J, A D U N click
    // Add, Del, Up and dowN, R reopens the file; =... checks the Snapshot and
    // rN=... the cells of row N.
    void recordEditing_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("script");
        const std::tuple<const char*, int, const char*> rows[] = {
            {"start without a file; Add keeps the fields", -1,
             "=.-1.Add.----.// f0=Ann A =Ann.-1.Add.---S*.Ann// A =AnnAnn.-1.Add.---S*.Ann//"},
            {"a click loads the row, another drops the edit, Update writes it", 4,
             "c1 =ABCD.1.Update.DUNS.B/b/2 f0=changed c2 =ABCD.2.Update.DUNS.C/c/3 f0=Cc f1=Green A "
             "=ABCcD.2.Add.DUNS*.// r2=Cc/Green/3"},
            {"delete selects nothing and keeps the fields", 4, "c1 D =ACD.-1.Add.---S*.B/b/2"},
            {"move buttons follow the selection", 4,
             "c0 =ABCD.0.Update.D-NS.A/a/1 c3 =ABCD.3.Update.DU-S.D/d/4 c2 U =ACBD.1.Update.DUNS*.C/c/3 N N "
             "=ABDC.3.Update.DU-S*.C/c/3 f0=Z A =ABDZ.3.Add.DU-S*.//"},
            {"a single row moves nowhere", 1, "c0 =A.0.Update.D--S.A/a/1"},
            {"reopening drops the selection under a pending Update", 4, "c1 R f0=E A =ABCDE.-1.Add.---S*.E/b/2"},
            {"the mouse moves the row shown", 4, "c1 c2 =ABCD.2.Update.DUNS.C/c/3 f0=Cx A r1=B/b/2 r2=Cx/c/3"},
            {"the keys move the row shown", 4, "c1 v =ABCD.2.Update.DUNS.C/c/3 f0=Cx A r1=B/b/2 r2=Cx/c/3"},
            {"home, deselect, a moved row keeps its pending edit", 4,
             "c3 h =ABCD.0.Update.D-NS.A/a/1 ^0 =ABCD.-1.Add.---S.A/a/1 c1 f0=Bx N =ACBD.2.Update.DUNS*.Bx/b/2 A "
             "=ACBxD.2.Add.DUNS*.//"},
        };
        for (const auto& [name, n, script] : rows)
            QTest::newRow(name) << n << QString(script);
    }

    void recordEditing()
    {
        QFETCH(int, rows);
        QFETCH(QString, script);
        frmMain& f = rows < 0 ? Make(ThreeFieldSpec()) : MakeABCD(rows);
        f.show();
        const std::map<char, std::function<void(int, const QString&)>> actions = {
            {'c', [&](int n, const QString&) { ClickRow(f, n); }},
            {'^', [&](int n, const QString&) { ClickRow(f, n, Qt::ControlModifier); }},
            {'v', [&](int, const QString&) { QTest::keyClick(f.ListView1, Qt::Key_Down); }},
            {'h', [&](int, const QString&) { QTest::keyClick(f.ListView1, Qt::Key_Home); }},
            {'f', [&](int n, const QString& text) { f.setFieldText(n, text); }},
            {'A', [&](int, const QString&) { f.cmdAdd->click(); }},
            {'D', [&](int, const QString&) { f.cmdDel->click(); }},
            {'U', [&](int, const QString&) { f.cmdMoveUp->click(); }},
            {'N', [&](int, const QString&) { f.cmdMoveDown->click(); }},
            {'R', [&](int, const QString&) { Open(Path(u"rows.dat"_s)); }},
        };
        for (const QString& step : script.split(' ')) {
            const int n = step.mid(1, 1).toInt();
            const QString text = step.section('=', 1);
            if (step.startsWith('='))
                QCOMPARE(Snapshot(f), text);
            else if (step.startsWith('r'))
                QCOMPARE(Joined(f.ListRows().at(size_t(n))), text);
            else
                actions.at(step[0].toLatin1())(n, text);
        }
    }

    // Cancel and File > Exit always ask; closing asks when rows were edited,
    // also in a window that was closed and shown again.
    void everyWayOutAsks()
    {
        frmMain& q = MakeABCD();
        QVERIFY(q.close() && dialogs_.questions.empty());  // nothing changed: no question
        QVERIFY(Shown(q));
        QTest::keyClick(&q, Qt::Key_Escape);  // presses Cancel
        q.cmdCancel->click();
        QCOMPARE(dialogs_.questions, QStringList({"Quit|Are you sure?", "Quit|Are you sure?"}));
        QVERIFY(q.isVisible());
        dialogs_.answerOk = true;
        q.mnuFileExit->trigger();
        QVERIFY(dialogs_.questions.size() == 3 && !q.isVisible());

        frmMain& g = MakeABCD();
        AddRow(g, {"E"});
        dialogs_.answerOk = true;
        QVERIFY(g.close());
        g.show();
        QCOMPARE(Column0(g), u"ABCDE"_s);
        dialogs_.answerOk = false;
        QVERIFY(!g.close());
        QCOMPARE(dialogs_.questions, QStringList({"Quit|Are you sure?", "Quit|Are you sure?"}));
        AddRow(g, {"F"});  // the window still works
        QCOMPARE(Column0(g), u"ABCDEF"_s);
    }

    // The shipped specification: a text box for the name; the reference field
    // offers the reserved references and the format field the format words,
    // and both take any text the harvester takes (completion is tst_Combo's).
    void shippedSpecificationTakesAnyFormat()
    {
        frmMain& f = Make(QStringLiteral(APP_DIR "/Tabwright.dat"), 0, QStringLiteral(APP_DIR));
        QCOMPARE(f.List()->Headers(), QStringList({"Field name", "Reference", "Format"}));
        QVERIFY(qobject_cast<QLineEdit*>(f.Field(0)));
        const std::pair<int, QStringList> offers[] = {{1, {"<file>", "<modified>"}}, {2, {"text", "dmy", "0.00"}}};
        for (const auto& [j, entries] : offers) {
            QCOMPARE(f.Combo(j)->Mode(), int16_t(4));
            for (const QString& entry : entries)
                QVERIFY2(qobject_cast<QComboBox*>(f.Field(j))->findText(entry) >= 0, qPrintable(entry));
        }
        Open(Write(u"form.dat"_s, "2,3\r\n\"Total\",\"B5\",\"#,##0\"\r\n\"Rate\",\"B6\",\"0.00\"\r\n"));
        QVERIFY(Shown(f));
        auto* format = qobject_cast<QComboBox*>(f.Field(2));
        QVERIFY(format && format->count() > 10 && format->itemText(0).isEmpty());  // the empty entry stays
        ClickRow(f, 0);
        QCOMPARE(f.FieldText(2), u"#,##0"_s);
        QTest::mouseClick(format->lineEdit(), Qt::LeftButton);  // the focus in the box: a press elsewhere is checked
        QTest::keyClick(format, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(format, u"0.0000"_s);
        QCOMPARE(f.FieldText(2), u"0.0000"_s);
        QTest::mouseClick(f.cmdAdd, Qt::LeftButton);
        QCOMPARE(Joined(f.ListRows()[0]), u"Total/B5/0.0000"_s);
        ClickRow(f, 1);
        QTest::mouseClick(f.cmdAdd, Qt::LeftButton);  // a row that holds a pattern can be updated as it is
        QCOMPARE(f.cmdAdd->text(), u"Add"_s);
    }

    // The menus work while a checked combo box holds a text that is not in
    // its list (that a button waits for a listed text is tst_Combo's).
    void menusWorkWhileAComboHoldsAnUnlistedText()
    {
        frmMain& f = MakeABCD();
        QVERIFY(Shown(f));
        auto* colour = qobject_cast<QComboBox*>(f.Field(1));
        QTest::mouseClick(colour->lineEdit(), Qt::LeftButton);
        QTest::keyClicks(colour, u"Purple"_s);
        const QRect file = f.menuBar()->actionGeometry(f.mnuFile->menuAction());
        QTest::mouseClick(f.menuBar(), Qt::LeftButton, {}, file.center());
        QTRY_VERIFY(f.mnuFile->isVisible());
        f.mnuFile->hide();
        QTest::keyClick(colour, Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(f.mnuHelp->isVisible());
        f.mnuHelp->hide();
        QCOMPARE(f.FieldText(1), u"Purple"_s);
    }

    // ---- saving -------------------------------------------------------------

    // Opened and saved without edits, a file comes back byte for byte (line
    // ends and trailing empty lines are clsDatFile's, tested there). A full
    // file takes no more rows.
    void roundTripKeepsEveryByte()
    {
        const QByteArray bom = "\xEF\xBB\xBF";
        const QByteArray spec80 = "80,4\r\n" + QByteArray("\"F\",\"1\",\"0\",\"-\"\r\n").repeated(80);
        QByteArray wide = "2,80\r\n";
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 80; ++c)
                wide += "\"r" + QByteArray::number(r) + "c" + QByteArray::number(c) + (c < 79 ? "\"," : "\"\r\n");
        QByteArray tall = "32767,3\r\n";
        for (int r = 0; r < 32767; ++r)
            tall += "\"" + QByteArray::number(r) + "\",\"\",\"x\"\r\n";
        // Name, format, columns, text.
        const std::tuple<const char*, int, int, QByteArray> cases[] = {
            {"Latin-1", 0, 3, "2,3\r\n\"M\xfcller\",\"caf\xe9\",\"\x80 \x81 \xff\"\r\n\"a\",\"\",\"\x9d\"\r\n"},
            {"UTF-8", 0, 3, "1,3\r\n\"M\xc3\xbcller\",\"\xe2\x82\xac\",\"\xe4\xb8\xad\"\r\n"},
            {"UTF-8 with mark", 0, 3, bom + "1,3\r\n\"M\xc3\xbcller\",\"\xe2\x82\xac\",\"x\"\r\n"},
            {"empty fields", 0, 3, "2,3\r\n\"\",\"\",\"\"\r\n\"x\",\"\",\"\"\r\n"},
            {"csv", 1, 3, "\"a\",\"b\",\"c\"\r\n\"\xfc\",\"\",\"f\"\r\n"},
            {"csv with its own header", 2, 3, "\"Who\",\"What\",\"W\xe4nn\"\r\n\"a\",\"b\",\"c\"\r\n"},
            {"80 columns", 0, 80, wide},
            {"32,767 rows", 0, 3, tall},
        };
        for (const auto& [name, fmt, cols, text] : cases) {
            frmMain& f = Make(cols == 3 ? ThreeFieldSpec() : Write(u"spec80.dat"_s, spec80), fmt);
            const QString path = Write(u"rt.txt"_s, text);
            Open(path);
            SaveAs(f, path);
            QVERIFY2(dialogs_.messages.isEmpty() && dialogs_.questions.isEmpty() && ReadBytes(path) == text, name);
            if (f.List()->Rows() == 32767) {
                f.cmdAdd->click();
                QCOMPARE(dialogs_.messages, QStringList{u"A data file holds at most 32,767 rows."_s});
                QCOMPARE(f.List()->Rows(), int16_t(32767));
            }
        }
    }

    // A table that ends before its file is reported on opening, and saving
    // over that file asks first.
    void partialReadsAreToldAndSavingOverThemAsks()
    {
        // Text, line where reading stopped, rows not read; only row A is shown, and saved over it.
        const std::tuple<QByteArray, int, int> cases[] = {
            {"4,3\r\n\"A\",\"a\",\"1\"\r\n\"B\"\r\n\"C\",\"c\",\"3\"\r\n\"D\",\"d\",\"4\"\r\n", 3, 3},
            {"1,3\r\n\"A\",\"a\",\"1\"\r\n\"B\",\"b\",\"2\"\r\n", 3, 1},
        };
        for (const auto& [text, line, notRead] : cases) {
            frmMain& f = Make(ThreeFieldSpec());
            const QString path = Write(u"part.txt"_s, text);
            Open(path);
            QCOMPARE(f.List()->Rows(), int16_t(1));
            const QString rows = notRead == 1 ? u"1 row of the file was"_s : u"%1 rows of the file were"_s.arg(notRead);
            const QString told = u"File %1 was not read whole: reading stopped at line %2. %3 not read."_s;
            QCOMPARE(dialogs_.messages, QStringList{told.arg(path).arg(line).arg(rows)});
            SaveAs(f, path);
            QCOMPARE(dialogs_.questions,
                     QStringList{u"Save As|File %1:\n%2 not read and will be lost."_s.arg(path, rows)});
            QCOMPARE(ReadBytes(path), text);
            SaveAs(f, Path(u"elsewhere.txt"_s));  // another file loses nothing
            dialogs_.answerOk = true;
            SaveAs(f, path);  // back over the opened file: asked again
            QVERIFY(dialogs_.questions.size() == 2 && ReadBytes(path) == "1,3\r\n\"A\",\"a\",\"1\"\r\n");
            SaveAs(f, path);  // the file now holds what is shown
            QCOMPARE(dialogs_.questions.size(), 2);
        }
    }

    // The harvester appends under the data file's lock: a save waits for it,
    // and a file changed since it was opened is not replaced unasked.
    void savingRespectsAHarvestAndChangesOnDisk()
    {
        frmMain& f = MakeABCD();
        const QString path = Path(u"rows.dat"_s);
        const QByteArray original = ReadBytes(path);
        DataFileLock harvest;
        QCOMPARE(harvest.Take(path.toStdString(), false), DataFileLock::Outcome::Taken);
        AddRow(f, {"E"});
        int asked = 0;
        dialogs_.answerRetry = [&asked] { return ++asked < 2; };  // Retry once, then Cancel
        SaveAs(f, path);
        const QString running =
            u"Save As|A harvest is running on file %1. Retry when it has finished, or Cancel."_s.arg(path);
        QCOMPARE(dialogs_.retries, QStringList({running, running}));
        QCOMPARE(ReadBytes(path), original);
        dialogs_.answerRetry = [&harvest] {
            harvest.Release();
            return true;
        };
        SaveAs(f, path);
        QCOMPARE(dialogs_.retries.size(), 3);
        QVERIFY(ReadBytes(path).startsWith("5,3\r\n") && !QFile::exists(path + ".lock"));

        // A harvest appends a line after the last save.
        const QByteArray harvested = ReadBytes(path) + "\"H\",\"h\",\"8\"\r\n";
        Write(u"rows.dat"_s, harvested);
        f.cmdAdd->click();
        SaveAs(f, path);
        QCOMPARE(
            dialogs_.questions,
            QStringList{u"Save As|File %1 has changed on disk since it was opened. Save over it anyway?"_s.arg(path)});
        QCOMPARE(ReadBytes(path), harvested);
        dialogs_.answerOk = true;
        SaveAs(f, path);
        QVERIFY(ReadBytes(path).startsWith("6,3\r\n"));
        SaveAs(f, path);
        QCOMPARE(dialogs_.questions.size(), 2);
    }

    // ---- saving -------------------------------------------------------------

    void saveInEveryFormat()
    {
        const QByteArray rows = "\"A\",\"a,1\",\"x\"\r\n\"B\",\"say \"\"hi\"\"\",\"\"\r\n";
        const QByteArray expected[] = {"2,3\r\n" + rows, rows, "\"Name\",\"Colour\",\"Size\"\r\n" + rows};
        for (int fmt = 0; fmt < 3; ++fmt) {
            frmMain& f = Make(ThreeFieldSpec(), fmt);  // never opened: the captions head the csvh file
            AddRow(f, {"A", "a,1", "x"});
            AddRow(f, {"B", "say \"hi\"", ""});
            const QString out = Path(u"out%1"_s.arg(fmt));
            SaveAs(f, out);
            QCOMPARE(dialogs_.saveStart, QString());  // nothing opened: no name proposed
            QCOMPARE(dialogs_.saveFilter, fmt ? "Comma Separated Values (*.csv) | *.csv" : "Data (*.dat) | *.dat");
            QCOMPARE(ReadBytes(out), expected[fmt]);
            QVERIFY(dialogs_.messages.empty() && !f.RowsChanged());
            f.cmdSave->click();
            QCOMPARE(dialogs_.saveStart, out);  // the next Save As proposes the new name
            const auto before = f.ListRows();
            Open(out);
            QVERIFY(f.ListRows() == before);
        }
    }

    // ---- help -----------------------------------------------------------------

    void help()
    {
        const std::string folder = dir_.path().toStdString();
        Write(u"Help/Product.html"_s, "p");
        QCOMPARE(frmMain::HelpPage(folder, "Tabwright", "Product"), folder + "/Help/Product.html");
        Write(u"Help/Tabwright.html"_s, "t");
        QCOMPARE(frmMain::HelpPage(folder, "Tabwright", "Product"), folder + "/Help/Tabwright.html");

        frmMain& f = Make(ThreeFieldSpec());
        QString opened;
        setBrowseToHandler([&opened](const QString& target) { opened = target; });
        f.mnuHelpContents->trigger();
        QVERIFY(opened.startsWith(dir_.path() + u"/Help/"_s) && opened.endsWith(u".html"_s));
        // Without a page of its own, F1 opens the editor's section of the shared page.
        QFile::remove(Path(u"Help/Tabwright.html"_s));
        QFile::remove(Path(u"Help/Product.html"_s));
        f.mnuHelpContents->trigger();
        setBrowseToHandler({});
        QCOMPARE(opened, QUrl::fromLocalFile(Path(u"Help/index.html"_s)).toString() + "#editor");

        // The About box is modeless and has no owner.
        f.mnuHelpAbout->trigger();
        frmAbout* about = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* a = qobject_cast<frmAbout*>(w); a && a->isVisible())
                about = a;
        QVERIFY(about && !about->parent() && !about->isModal() &&
                about->windowTitle() == u"About Quorra Data File Editor"_s);
        about->close();
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmMain.moc"