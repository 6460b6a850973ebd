// The auto-completing combo box, driven by real key presses offscreen.
#include "common/gui/clsCombo.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

const QStringList kFruits = {"Apple", "apricot", "Banana"};

// A window with the combo box first and a button after it.
struct Window {
    QWidget w;
    QComboBox* box = new QComboBox(&w);
    QPushButton* button = new QPushButton(QStringLiteral("OK"), &w);
    clsCombo combo;

    Window(int mode, const QStringList& entries) {
        auto* lay = new QVBoxLayout(&w);
        lay->addWidget(box);
        lay->addWidget(button);
        combo.setCb(box);
        combo.setMode(int16_t(mode));
        box->addItems(entries);
        box->setEditText(QString());
        w.show();
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w)) qWarning("window not active");
        box->setFocus();
    }
    QString Text() const { return box->currentText(); }
    QString Selected() const { return box->lineEdit()->selectedText(); }
    QStringList Items() const {
        QStringList l;
        for (int i = 0; i < box->count(); ++i) l << box->itemText(i);
        return l;
    }
    bool Validate() {
        bool cancel = false;
        combo.myCB_Validate(cancel);
        return !cancel;
    }
};

}  // namespace

class tst_Combo : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    std::string WriteFile(const QString& name, const QByteArray& bytes) {
        QFile f(dir_.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName().toStdString();
    }

private slots:
    void completionAndBackspace() {
        Window win(2, kFruits);
        QTest::keyClick(win.box, Qt::Key_A);
        QCOMPARE(win.Text(), QStringLiteral("Apple"));
        QCOMPARE(win.Selected(), QStringLiteral("pple"));
        QTest::keyClick(win.box, Qt::Key_P);
        QCOMPARE(win.Selected(), QStringLiteral("ple"));
        QTest::keyClick(win.box, Qt::Key_R);
        QCOMPARE(win.Text(), QStringLiteral("apricot"));
        QCOMPARE(win.Selected(), QStringLiteral("icot"));
        win.box->setEditText(QString());
        QTest::keyClick(win.box, Qt::Key_A);
        QTest::keyClick(win.box, Qt::Key_Backspace);  // removes the highlighted pple and completes nothing
        QCOMPARE(win.Text(), QStringLiteral("A"));
        QTest::keyClick(win.box, Qt::Key_Left);
        QTest::keyClick(win.box, Qt::Key_End);
        QCOMPARE(win.Text(), QStringLiteral("A"));
    }

    void noMatchKeepsTheTypedTextAndAddsNoEntry() {
        Window win(2, kFruits);
        QTest::keyClicks(win.box, QStringLiteral("bzq"));
        QCOMPARE(win.Text(), QStringLiteral("Bzq"));
        QTest::keyClick(win.box, Qt::Key_Return);
        QCOMPARE(win.box->count(), 3);
    }

    void spaceAndPunctuationComplete() {
        Window win(2, {QStringLiteral("New York"), QStringLiteral("0.00")});
        QTest::keyClicks(win.box, QStringLiteral("new "));
        QCOMPARE(win.Selected(), QStringLiteral("York"));
        win.box->setEditText(QString());
        QTest::keyClicks(win.box, QStringLiteral("0."));
        QCOMPARE(win.Text(), QStringLiteral("0.00"));
    }

    void completionKeys() {
        const std::tuple<int, QString, bool> cases[] = {
            {Qt::Key_Space, " ", true}, {Qt::Key_Q, "q", true}, {Qt::Key_7, "7", true},
            {Qt::Key_Comma, ",", true}, {Qt::Key_Adiaeresis, QString(QChar(0xe4)), true},
            {Qt::Key_Backspace, "\b", false}, {Qt::Key_Delete, "\x7f", false}, {Qt::Key_Tab, "\t", false},
            {Qt::Key_Return, "\r", false}, {Qt::Key_Escape, "\x1b", false}, {Qt::Key_Shift, "", false},
            {Qt::Key_Home, "", false}, {Qt::Key_F5, "", false},
        };
        for (const auto& [key, text, completes] : cases)
            QVERIFY2(clsCombo::IsCompletionKey(key, text) == completes, qPrintable(QString::number(key, 16)));
    }

    void validation() {
        const std::tuple<int, QStringList, QString, bool> cases[] = {
            {0, kFruits, "zzz", true}, {-1, kFruits, "zzz", true},
            {1, kFruits, "BANANA", true}, {1, kFruits, "Ban", false}, {1, kFruits, "", false},
            {1, {"x", ""}, "", true},  // an empty entry lets the empty text pass
            {2, kFruits, "apricot", true}, {2, kFruits, "cherry", false}, {3, kFruits, "cherry", false},
            {1, {}, "cherry", true}, {2, {}, "", true}, {2, kFruits, "", false},
        };
        for (const auto& [mode, entries, text, accepted] : cases) {
            Window win(mode, entries);
            win.box->setEditText(text);
            QVERIFY2(win.Validate() == accepted, qPrintable(QStringLiteral("mode %1, %2").arg(mode).arg(text)));
        }
    }

    void modeOneChecksButNeverCompletes() {
        Window win(1, kFruits);
        QTest::keyClicks(win.box, QStringLiteral("ap"));
        QCOMPARE(win.Text(), QStringLiteral("ap"));
        win.box->setEditText(QStringLiteral("apple"));
        QVERIFY(win.Validate());
        QCOMPARE(win.Text(), QStringLiteral("apple"));  // not respelled
    }

    void tabLeaves() {
        Window zero(0, kFruits);
        QTest::keyClicks(zero.box, QStringLiteral("ap"));
        QCOMPARE(zero.Text(), QStringLiteral("ap"));  // mode 0 never completes
        QTest::keyClick(zero.box, Qt::Key_Tab);
        QVERIFY(zero.button->hasFocus());

        Window two(2, kFruits);
        QTest::keyClicks(two.box, QStringLiteral("b"));
        QCOMPARE(two.Text(), QStringLiteral("Banana"));
        QTest::keyClick(two.box, Qt::Key_Tab);
        QVERIFY(two.button->hasFocus());
    }

    void focusStaysWhileTheTextIsNoEntry() {
        Window win(1, kFruits);
        QSignalSpy clicks(win.button, &QPushButton::clicked);
        QTest::keyClicks(win.box, QStringLiteral("cherry"));
        QTest::keyClick(win.box, Qt::Key_Tab);
        QVERIFY(win.box->hasFocus());
        QTest::mouseClick(win.button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 0);
        QVERIFY(win.box->hasFocus());
        QCOMPARE(win.Text(), QStringLiteral("cherry"));
        win.box->setEditText(QStringLiteral("banana"));
        QTest::mouseClick(win.button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
    }

    // Ctrl+A selects the whole text; the next letter replaces it. However the
    // user lets go of Ctrl and A, no completion undoes the selection.
    void selectAllThenALetterReplacesTheText() {
        for (const bool ctrlFirst : {false, true}) {
            Window win(2, kFruits);
            win.box->setEditText(QStringLiteral("apricot"));
            if (ctrlFirst) {
                QTest::keyPress(win.box, Qt::Key_Control);
                QTest::keyPress(win.box, Qt::Key_A, Qt::ControlModifier);
                QTest::keyRelease(win.box, Qt::Key_Control, Qt::ControlModifier);
                QTest::keyRelease(win.box, Qt::Key_A);
            } else {
                QTest::keyClick(win.box, Qt::Key_A, Qt::ControlModifier);
            }
            QCOMPARE(win.Selected(), QStringLiteral("apricot"));
            QTest::keyClick(win.box, Qt::Key_B);
            QCOMPARE(win.Text(), QStringLiteral("Banana"));
            QCOMPARE(win.Selected(), QStringLiteral("anana"));
        }
    }

    // Mode 4 completes like mode 2 and lets any text leave the box.
    void modeFourSuggestsWithoutChecking() {
        Window win(4, kFruits);
        QSignalSpy clicks(win.button, &QPushButton::clicked);
        QTest::keyClicks(win.box, QStringLiteral("ba"));
        QCOMPARE(win.Text(), QStringLiteral("Banana"));
        QTest::keyClick(win.box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(win.box, QStringLiteral("#,##0"));
        QCOMPARE(win.Text(), QStringLiteral("#,##0"));
        QVERIFY(win.Validate());
        QTest::mouseClick(win.button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
    }

    // Only moves to other fields wait for a listed text: the menu bar takes
    // no focus, so its clicks and Alt keys always work.
    void menusWorkWhileTheTextIsNoEntry() {
        QMainWindow main;
        auto* box = new QComboBox;
        main.setCentralWidget(box);
        QMenu* file = main.menuBar()->addMenu(QStringLiteral("&File"));
        file->addAction(QStringLiteral("&Open"));
        QMenu* help = main.menuBar()->addMenu(QStringLiteral("&Help"));
        help->addAction(QStringLiteral("&About"));
        clsCombo combo;
        combo.setCb(box);
        combo.setMode(1);
        box->addItems(kFruits);
        main.show();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        box->setFocus();
        box->setEditText(QString());
        QTest::keyClicks(box, QStringLiteral("cherry"));
        const QRect at = main.menuBar()->actionGeometry(file->menuAction());
        QTest::mouseClick(main.menuBar(), Qt::LeftButton, {}, at.center());
        QTRY_VERIFY(file->isVisible());
        file->hide();
        QTest::keyClick(box, Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(help->isVisible());
        help->hide();
        QCOMPARE(box->currentText(), QStringLiteral("cherry"));
    }

    void listFiles() {
        // Every line end, blank lines and spaces kept, entries appended.
        Window win(0, {QStringLiteral("first")});
        win.box->setEditText(QStringLiteral("typed"));
        win.combo.LoadFromTxtFile(WriteFile(QStringLiteral("a.txt"), "one\r\n\r\n x \r\n"));
        win.combo.LoadFromTxtFile(WriteFile(QStringLiteral("b.txt"), "a\rb\nc\r\nd"));
        QCOMPARE(win.Items(), QStringList({"first", "one", "", " x ", "a", "b", "c", "d"}));
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
