// The auto-completing combo box, driven by real key presses offscreen.
#include "common/gui/clsCombo.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

class tst_Combo : public QObject {
    Q_OBJECT

private:
    // A window with the combo box first and a button after it.
    struct Window {
        std::unique_ptr<QWidget> w;
        QComboBox* box = nullptr;
        QPushButton* button = nullptr;
        std::unique_ptr<clsCombo> combo;
    };

    Window Make(int mode, const QStringList& entries) {
        Window win;
        win.w = std::make_unique<QWidget>();
        auto* lay = new QVBoxLayout(win.w.get());
        win.box = new QComboBox(win.w.get());
        win.button = new QPushButton(QStringLiteral("OK"), win.w.get());
        lay->addWidget(win.box);
        lay->addWidget(win.button);
        win.combo = std::make_unique<clsCombo>();
        win.combo->setCb(win.box);
        win.combo->setMode(int16_t(mode));
        win.box->addItems(entries);
        win.box->setEditText(QString());
        win.w->show();
        win.w->activateWindow();
        if (!QTest::qWaitForWindowActive(win.w.get())) qWarning("window not active");
        win.box->setFocus();
        return win;
    }

    static QString Selected(QComboBox* box) { return box->lineEdit()->selectedText(); }

    QStringList Fruits() { return {QStringLiteral("Apple"), QStringLiteral("apricot"), QStringLiteral("Banana")}; }

    QTemporaryDir dir_;

    QString WriteFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

    static QStringList Items(QComboBox* box) {
        QStringList l;
        for (int i = 0; i < box->count(); ++i) l << box->itemText(i);
        return l;
    }

private slots:
    void completionSequence() {
        Window win = Make(2, Fruits());
        QTest::keyClick(win.box, Qt::Key_A);
        QCOMPARE(win.box->currentText(), QStringLiteral("Apple"));
        QCOMPARE(Selected(win.box), QStringLiteral("pple"));
        QTest::keyClick(win.box, Qt::Key_P);
        QCOMPARE(win.box->currentText(), QStringLiteral("Apple"));
        QCOMPARE(Selected(win.box), QStringLiteral("ple"));
        QTest::keyClick(win.box, Qt::Key_R);
        QCOMPARE(win.box->currentText(), QStringLiteral("apricot"));
        QCOMPARE(Selected(win.box), QStringLiteral("icot"));
    }

    void backspaceDoesNotComplete() {
        Window win = Make(2, Fruits());
        QTest::keyClick(win.box, Qt::Key_A);
        QCOMPARE(win.box->currentText(), QStringLiteral("Apple"));
        QTest::keyClick(win.box, Qt::Key_Backspace);  // removes the highlighted pple
        QCOMPARE(win.box->currentText(), QStringLiteral("A"));
        QTest::keyClick(win.box, Qt::Key_Left);
        QTest::keyClick(win.box, Qt::Key_End);
        QCOMPARE(win.box->currentText(), QStringLiteral("A"));
    }

    void noMatchKeepsTheTypedText() {
        Window win = Make(2, Fruits());
        QTest::keyClicks(win.box, QStringLiteral("bz"));
        QCOMPARE(win.box->currentText(), QStringLiteral("Bz"));
        QTest::keyClicks(win.box, QStringLiteral("q"));
        QCOMPARE(win.box->currentText(), QStringLiteral("Bzq"));
        QCOMPARE(win.box->count(), 3);
    }

    void spaceAndPunctuationComplete() {
        Window win = Make(2, {QStringLiteral("New York"), QStringLiteral("0.00"), QStringLiteral("+dmy")});
        QTest::keyClicks(win.box, QStringLiteral("new "));
        QCOMPARE(win.box->currentText(), QStringLiteral("New York"));
        QCOMPARE(Selected(win.box), QStringLiteral("York"));
        win.box->setEditText(QString());
        QTest::keyClick(win.box, Qt::Key_Plus);
        QCOMPARE(win.box->currentText(), QStringLiteral("+dmy"));
        win.box->setEditText(QString());
        QTest::keyClicks(win.box, QStringLiteral("0."));
        QCOMPARE(win.box->currentText(), QStringLiteral("0.00"));
    }

    void completionKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("completes");
        QTest::newRow("space") << int(Qt::Key_Space) << " " << true;
        QTest::newRow("letter") << int(Qt::Key_Q) << "q" << true;
        QTest::newRow("digit") << int(Qt::Key_7) << "7" << true;
        QTest::newRow("comma") << int(Qt::Key_Comma) << "," << true;
        QTest::newRow("umlaut") << int(Qt::Key_Adiaeresis) << QString(QChar(0xe4)) << true;
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << "\b" << false;
        QTest::newRow("delete") << int(Qt::Key_Delete) << "\x7f" << false;
        QTest::newRow("tab") << int(Qt::Key_Tab) << "\t" << false;
        QTest::newRow("return") << int(Qt::Key_Return) << "\r" << false;
        QTest::newRow("escape") << int(Qt::Key_Escape) << "\x1b" << false;
        QTest::newRow("shift") << int(Qt::Key_Shift) << "" << false;
        QTest::newRow("home") << int(Qt::Key_Home) << "" << false;
        QTest::newRow("left") << int(Qt::Key_Left) << "" << false;
        QTest::newRow("F5") << int(Qt::Key_F5) << "" << false;
    }

    void completionKeys() {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(bool, completes);
        QCOMPARE(clsCombo::IsCompletionKey(key, text), completes);
    }

    void modeOneChecksButNeverCompletes() {
        Window win = Make(1, Fruits());
        QTest::keyClicks(win.box, QStringLiteral("ap"));
        QCOMPARE(win.box->currentText(), QStringLiteral("ap"));
        bool cancel = false;
        win.combo->myCB_Validate(cancel);
        QVERIFY(cancel);
        win.box->setEditText(QStringLiteral("apple"));
        cancel = false;
        win.combo->myCB_Validate(cancel);
        QVERIFY(!cancel);
        QCOMPARE(win.box->currentText(), QStringLiteral("apple"));  // not respelled
        win.box->setEditText(QString());
        cancel = false;
        win.combo->myCB_Validate(cancel);
        QVERIFY(cancel);
    }

    void emptyTextPassesWithAnEmptyEntry() {
        Window win = Make(1, {QStringLiteral("x"), QString()});
        win.box->setEditText(QString());
        QVERIFY(win.combo->TextAccepted());
    }

    void validation_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        const QStringList fruits = Fruits();
        QTest::newRow("mode 0 anything") << 0 << fruits << "zzz" << true;
        QTest::newRow("mode -1 anything") << -1 << fruits << "zzz" << true;
        QTest::newRow("mode 1 entry other case") << 1 << fruits << "BANANA" << true;
        QTest::newRow("mode 1 prefix") << 1 << fruits << "Ban" << false;
        QTest::newRow("mode 2 entry") << 2 << fruits << "apricot" << true;
        QTest::newRow("mode 2 other") << 2 << fruits << "cherry" << false;
        QTest::newRow("mode 3 other") << 3 << fruits << "cherry" << false;
        QTest::newRow("mode 1 empty list") << 1 << QStringList() << "cherry" << true;
        QTest::newRow("mode 2 empty list") << 2 << QStringList() << "" << true;
        QTest::newRow("mode 2 empty text") << 2 << fruits << "" << false;
    }

    void validation() {
        QFETCH(int, mode);
        QFETCH(QStringList, entries);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        Window win = Make(mode, entries);
        win.box->setEditText(text);
        bool cancel = false;
        win.combo->myCB_Validate(cancel);
        QCOMPARE(!cancel, accepted);
    }

    void modeZeroNeverCompletes() {
        Window win = Make(0, Fruits());
        QTest::keyClicks(win.box, QStringLiteral("ap"));
        QCOMPARE(win.box->currentText(), QStringLiteral("ap"));
        QTest::keyClick(win.box, Qt::Key_Tab);
        QVERIFY(win.button->hasFocus());
    }

    void focusStaysWhileTheTextIsNoEntry() {
        Window win = Make(1, Fruits());
        QSignalSpy clicks(win.button, &QPushButton::clicked);
        QTest::keyClicks(win.box, QStringLiteral("cherry"));
        QTest::keyClick(win.box, Qt::Key_Tab);
        QVERIFY(win.box->hasFocus());
        QTest::mouseClick(win.button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 0);
        QVERIFY(win.box->hasFocus());
        QCOMPARE(win.box->currentText(), QStringLiteral("cherry"));

        win.box->setEditText(QStringLiteral("banana"));
        QTest::mouseClick(win.button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(win.box->currentText(), QStringLiteral("banana"));
    }

    void tabLeavesWithAnEntry() {
        Window win = Make(2, Fruits());
        QTest::keyClicks(win.box, QStringLiteral("b"));
        QCOMPARE(win.box->currentText(), QStringLiteral("Banana"));
        QTest::keyClick(win.box, Qt::Key_Tab);
        QVERIFY(win.button->hasFocus());
    }

    void listFileLines() {
        Window win = Make(0, {});
        win.combo->LoadFromTxtFile(WriteFile(QStringLiteral("a.txt"), "one\r\n\r\nthree\r\n").toStdString());
        QCOMPARE(Items(win.box), QStringList({"one", "", "three"}));
    }

    void listFileLineEnds() {
        Window win = Make(0, {});
        win.combo->LoadFromTxtFile(WriteFile(QStringLiteral("b.txt"), "a\rb\nc\r\nd").toStdString());
        QCOMPARE(Items(win.box), QStringList({"a", "b", "c", "d"}));
    }

    void listFileKeepsBlanksAndAppends() {
        Window win = Make(0, {QStringLiteral("first")});
        const std::string path = WriteFile(QStringLiteral("c.txt"), " x \r\n").toStdString();
        win.combo->LoadFromTxtFile(path);
        win.combo->LoadFromTxtFile(path);
        QCOMPARE(Items(win.box), QStringList({"first", " x ", " x "}));
        win.combo->Clear();
        QCOMPARE(win.box->count(), 0);
    }

    void missingListFileChangesNothing() {
        Window win = Make(0, {QStringLiteral("kept")});
        win.combo->LoadFromTxtFile(dir_.filePath(QStringLiteral("none.txt")).toStdString());
        win.combo->LoadFromTxtFile(dir_.path().toStdString());  // a folder
        QCOMPARE(Items(win.box), QStringList({"kept"}));
    }

    void loadingKeepsTheTypedText() {
        Window win = Make(0, {});
        win.box->setEditText(QStringLiteral("typed"));
        win.combo->LoadFromTxtFile(WriteFile(QStringLiteral("d.txt"), "x\r\n").toStdString());
        QCOMPARE(win.box->currentText(), QStringLiteral("typed"));
    }

    void enterAddsNoEntry() {
        Window win = Make(0, Fruits());
        QTest::keyClicks(win.box, QStringLiteral("cherry"));
        QTest::keyClick(win.box, Qt::Key_Return);
        QCOMPARE(win.box->count(), 3);
    }
};

QTEST_MAIN(tst_Combo)
#include "tst_Combo.moc"
