// The auto-completing combo box, driven by real key presses offscreen.
#include "common/gui/clsCombo.h"
#include "tests/common/gui/TestFiles.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const QStringList kFruits = {"Apple", "apricot", "Banana"};

// A window with the combo box first and a button after it.
struct Window {
    QWidget w;
    QComboBox* box = new QComboBox(&w);
    QPushButton* button = new QPushButton(QStringLiteral("OK"), &w);
    clsCombo combo;

    Window(int mode, const QStringList& entries)
    {
        auto* lay = new QVBoxLayout(&w);
        lay->addWidget(box);
        lay->addWidget(button);
        combo.setCb(box);
        combo.setMode(int16_t(mode));
        box->addItems(entries);
        box->setEditText(QString());
        w.show();
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w))
            qWarning("window not active");
        box->setFocus();
    }
    QString Text() const { return box->currentText(); }
    QString Selected() const { return box->lineEdit()->selectedText(); }
};

}  // namespace

class tst_Combo : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    // What typing leaves in the box, and whether Tab or a click on the button
    // then leaves it: only a listed text leaves a checking box (modes 1 to 3);
    // a refused click clicks nothing; Return adds no entry.
    void typing_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");  // the text, then the part of it selected
        QTest::addColumn<bool>("leaves");
        const QStringList places = {"New York", "0.00"};
        const std::tuple<const char*, int, QStringList, const char*, const char*, bool> rows[] = {
            {"a letter completes", 2, kFruits, "a", "Apple|pple", true},
            {"the next letter keeps the completion", 2, kFruits, "ap", "Apple|ple", true},
            {"case follows the entry", 2, kFruits, "apr", "apricot|icot", true},
            {"backspace removes the completion and completes nothing", 2, kFruits, "a\b", "A|", false},
            {"no match keeps the typed text", 2, kFruits, "bzq", "Bzq|", false},
            {"space completes", 2, places, "new ", "New York|York", true},
            {"punctuation completes", 2, places, "0.", "0.00|00", true},
            {"mode 2 completes", 2, kFruits, "b", "Banana|anana", true},
            {"mode 0 never completes", 0, kFruits, "ap", "ap|", true},
            {"mode 1 checks, never completes", 1, kFruits, "ap", "ap|", false},
            {"mode 4 completes", 4, kFruits, "ba", "Banana|nana", true},
            {"mode 4 takes any text", 4, kFruits, "#,##0", "#,##0|", true},
            {"mode 3 checks", 3, kFruits, "cherry", "cherry|", false},
            {"a negative mode takes any text", -1, kFruits, "zzz", "zzz|", true},
            {"the check ignores case and never respells", 1, kFruits, "BANANA", "BANANA|", true},
            {"an empty text is no entry", 1, kFruits, "", "|", false},
            {"an empty entry lets it pass", 1, {"x", ""}, "", "|", true},
            {"an empty list takes any text", 1, {}, "cherry", "cherry|", true},
            {"an empty list takes the empty text", 2, {}, "", "|", true},
            {"an empty completing box is checked", 2, kFruits, "", "|", false},
        };
        for (const auto& [name, mode, entries, keys, shown, leaves] : rows)
            QTest::newRow(name) << mode << entries << QString(keys) << QString(shown) << leaves;
    }

    void typing()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, entries);
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QFETCH(bool, leaves);
        Window win(mode, entries);
        QSignalSpy clicks(win.button, &QPushButton::clicked);
        QTest::keyClicks(win.box, keys);
        QCOMPARE(win.Text() + "|" + win.Selected(), shown);
        QTest::keyClick(win.box, Qt::Key_Tab);
        QCOMPARE(win.button->hasFocus(), leaves);
        win.box->setFocus();
        QTest::mouseClick(win.button, Qt::LeftButton);
        QVERIFY(clicks.size() == int(leaves) && win.button->hasFocus() == leaves);
        QCOMPARE(win.Text(), shown.section('|', 0, 0));  // the text stays as typed or completed
        QTest::keyClick(win.box, Qt::Key_Return);
        QCOMPARE(win.box->count(), int(entries.size()));
    }

    // A key that types a character completes (a letter's key code is its
    // capital); editing keys and keys without a text do not.
    void completionKeys()
    {
        for (const QChar c : QStringLiteral(" q7,\u00e4"))
            QVERIFY2(clsCombo::IsCompletionKey(c.toUpper().unicode(), c), qPrintable(QString(c)));
        const int keys[] = {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Tab,  Qt::Key_Return, Qt::Key_Escape,
                            Qt::Key_Shift,     Qt::Key_Home,   Qt::Key_Left, Qt::Key_End,    Qt::Key_F5};
        const QString texts = QStringLiteral("\b\x7f\t\r\x1b");  // what the first five type
        for (int i = 0; i < 10; ++i)
            QVERIFY2(!clsCombo::IsCompletionKey(keys[i], texts.mid(i, 1)), qPrintable(QString::number(keys[i], 16)));
    }

    // Ctrl+A selects the whole text; the next letter replaces it. The A released after Ctrl changed nothing: no
    // completion undoes the selection. (Ctrl+A pressed and released together: tst_frmMain's format field.)
    void selectAllThenALetterReplacesTheText()
    {
        Window win(2, kFruits);
        win.box->setEditText(QStringLiteral("apricot"));
        QTest::keyPress(win.box, Qt::Key_Control);
        QTest::keyPress(win.box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyRelease(win.box, Qt::Key_Control, Qt::ControlModifier);
        QTest::keyRelease(win.box, Qt::Key_A);
        QCOMPARE(win.Selected(), QStringLiteral("apricot"));
        QTest::keyClick(win.box, Qt::Key_B);
        QCOMPARE(win.Text() + "|" + win.Selected(), QStringLiteral("Banana|anana"));
    }

    void listFiles()
    {
        // Every line end, blank lines and spaces kept, entries appended.
        Window win(0, {QStringLiteral("first")});
        win.box->setEditText(QStringLiteral("typed"));
        win.combo.LoadFromTxtFile(WriteBytes(dir_.filePath("a.txt"), "one\r\n\r\n x \r\n").toStdString());
        win.combo.LoadFromTxtFile(WriteBytes(dir_.filePath("b.txt"), "a\rb\nc\r\nd").toStdString());
        QStringList items;
        for (int i = 0; i < win.box->count(); ++i)
            items << win.box->itemText(i);
        QCOMPARE(items, QStringList({"first", "one", "", " x ", "a", "b", "c", "d"}));
        QCOMPARE(win.Text(), QStringLiteral("typed"));
        // A missing file or a folder changes nothing.
        win.combo.LoadFromTxtFile(dir_.filePath(QStringLiteral("none.txt")).toStdString());
        win.combo.LoadFromTxtFile(dir_.path().toStdString());
        QCOMPARE(win.box->count(), 8);
        win.combo.Clear();
        QCOMPARE(win.box->count(), 0);
    }
};

QTEST_MAIN(tst_Combo)
#include "tst_Combo.moc"
