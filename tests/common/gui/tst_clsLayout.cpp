#include "common/gui/clsLayout.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QToolBar>
#include <QtTest>

namespace {

constexpr int T = clsLayout::TwipsPerPixel;

// A window of 600 x 400 pixels (9000 x 6000 twips) with one control per option text.
struct Form {
    QWidget window;
    std::map<QString, QWidget*> controls;

    explicit Form(QSize size = {600, 400})
    {
        window.resize(size);
        const QString tags[] = {"", "X=1 Y=1", "X=1/2", "X=0.5", "X=3/2", "x=1", "W=1/0", "W=1 H=1", "Y=1", "W=1"};
        int top = 10;
        for (const auto& tag : tags) {
            auto* b = new QPushButton(tag, &window);
            b->setGeometry(20, top, 100, 20);
            clsLayout::setTag(b, tag);
            controls[tag] = b;
            top += 30;
        }
        auto* untagged = new QLabel("no tag", &window);
        untagged->setGeometry(300, 10, 80, 20);
        controls["untagged"] = untagged;
        auto* bar = new QToolBar(&window);
        bar->setGeometry(0, 0, 600, 8);
        clsLayout::setTag(bar, "W=1");
        controls["toolbar"] = bar;
    }
    QRect At(const QString& tag) const { return controls.at(tag)->geometry(); }
};

}  // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void factor_data()
    {
        QTest::addColumn<QString>("opts");
        QTest::addColumn<char>("letter");
        QTest::addColumn<bool>("usable");
        QTest::addColumn<double>("factor");
        QTest::newRow("no entry") << "" << 'X' << true << 0.0;
        QTest::newRow("X=1 Y=1, X") << "X=1 Y=1" << 'X' << true << 1.0;
        QTest::newRow("X=1 Y=1, Y") << "X=1 Y=1" << 'Y' << true << 1.0;
        QTest::newRow("X=1 Y=1, W") << "X=1 Y=1" << 'W' << true << 0.0;
        QTest::newRow("half") << "X=1/2" << 'X' << true << 0.5;
        QTest::newRow("decimal numerator rounds") << "X=0.5" << 'X' << true << 0.0;
        QTest::newRow("1.5 rounds to 2") << "X=1.5" << 'X' << true << 2.0;
        QTest::newRow("2.5 rounds to 2") << "X=2.5" << 'X' << true << 2.0;
        QTest::newRow("three halves") << "X=3/2" << 'X' << true << 1.5;
        QTest::newRow("lower case") << "x=1" << 'X' << true << 0.0;
        QTest::newRow("percent") << "X=25/100 W=50/100" << 'W' << true << 0.5;
        QTest::newRow("negative") << "Y=-1" << 'Y' << true << -1.0;
        QTest::newRow("not a number") << "H=abc" << 'H' << true << 0.0;
        QTest::newRow("empty value") << "H= 1" << 'H' << true << 0.0;
        QTest::newRow("digits then text") << "W=2px" << 'W' << true << 2.0;
        QTest::newRow("found inside a word") << "AX=1" << 'X' << true << 1.0;
        QTest::newRow("denominator rounds") << "X=1/2.5" << 'X' << true << 0.5;
        QTest::newRow("zero denominator") << "W=1/0" << 'W' << false << 0.0;
        QTest::newRow("zero over zero") << "W=0/0" << 'W' << false << 0.0;
        QTest::newRow("numerator too big") << "X=40000" << 'X' << false << 0.0;
        QTest::newRow("denominator too big") << "X=1/32768" << 'X' << false << 0.0;
        QTest::newRow("largest") << "X=32767/32767" << 'X' << true << 1.0;
    }
    void factor()
    {
        QFETCH(QString, opts);
        QFETCH(char, letter);
        QFETCH(bool, usable);
        QFETCH(double, factor);
        const auto f = clsLayout::Factor(opts.toStdString(), letter);
        QCOMPARE(f.has_value(), usable);
        if (usable)
            QCOMPARE(*f, factor);
    }

    void registersTaggedControlsOnly()
    {
        Form form;
        clsLayout layout;
        layout.SetLayout(&form.window);
        QCOMPARE(layout.MinWidth(), 600.0f * T);
        QCOMPARE(layout.MinHeight(), 400.0f * T);
        QStringList tags;
        for (const auto& c : layout.Controls())
            tags << clsLayout::Tag(c.control);
        QVERIFY(!tags.contains("W=1/0"));
        QVERIFY(tags.contains("x=1"));
        QCOMPARE(tags.size(), 9);  // ten tagged buttons less the unusable one; no toolbar, no label
        QCOMPARE(layout.Controls().front().left, 20 * T);
    }

    void followsTheGrowth_data()
    {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QRect>("expected");  // for growth 600 x 300 twips = 40 x 20 pixels
        QTest::newRow("empty tag") << "" << QRect(20, 10, 100, 20);
        QTest::newRow("X=1 Y=1") << "X=1 Y=1" << QRect(60, 60, 100, 20);
        QTest::newRow("X=1/2") << "X=1/2" << QRect(40, 70, 100, 20);
        QTest::newRow("X=0.5") << "X=0.5" << QRect(20, 100, 100, 20);
        QTest::newRow("X=3/2") << "X=3/2" << QRect(80, 130, 100, 20);
        QTest::newRow("x=1") << "x=1" << QRect(20, 160, 100, 20);
        QTest::newRow("W=1/0") << "W=1/0" << QRect(20, 190, 100, 20);
        QTest::newRow("W=1 H=1") << "W=1 H=1" << QRect(20, 220, 140, 40);
        QTest::newRow("Y=1") << "Y=1" << QRect(20, 270, 100, 20);
        QTest::newRow("W=1") << "W=1" << QRect(20, 280, 140, 20);
        QTest::newRow("untagged") << "untagged" << QRect(300, 10, 80, 20);
        QTest::newRow("toolbar") << "toolbar" << QRect(0, 0, 600, 8);
    }
    void followsTheGrowth()
    {
        QFETCH(QString, tag);
        QFETCH(QRect, expected);
        for (auto revision : {clsLayout::Revision::Harvester, clsLayout::Revision::Editor}) {
            Form form;
            clsLayout layout(revision);
            layout.SetLayout(&form.window);
            const QRect design = form.At(tag);
            form.window.resize(640, 420);
            layout.RedrawLayout();
            QCOMPARE(form.At(tag), expected);
            form.window.resize(600, 400);
            layout.RedrawLayout();
            QCOMPARE(form.At(tag), design);  // back at the design size, exactly
        }
    }

    void harvesterShrinksBelowTheDesignSize()
    {
        Form form;
        clsLayout layout(clsLayout::Revision::Harvester);
        layout.SetLayout(&form.window);
        form.window.resize(700, 500);
        layout.RedrawLayout();
        form.window.resize(300, 200);
        layout.RedrawLayout();
        QCOMPARE(form.window.size(), QSize(300, 200));
        QCOMPARE(form.At("X=1 Y=1"), QRect(20, 40, 100, 20));
        QCOMPARE(form.At("W=1 H=1"), QRect(20, 220, 100, 20));
    }

    void editorRestoresTheDesignSize()
    {
        Form form;
        clsLayout layout(clsLayout::Revision::Editor);
        layout.SetLayout(&form.window);
        form.window.resize(300, 450);
        layout.RedrawLayout();
        QCOMPARE(form.window.size(), QSize(600, 450));
        QCOMPARE(form.At("X=1 Y=1"), QRect(20, 40 + 50, 100, 20));
        QVERIFY(!layout.Busy());
        form.window.resize(650, 100);
        layout.RedrawLayout();
        QCOMPARE(form.window.size(), QSize(650, 400));
        QCOMPARE(form.At("X=1 Y=1"), QRect(70, 40, 100, 20));
    }

    void maximisedEditorIsNotClamped()
    {
        const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
        // Designed larger than the screen: a maximised window stays smaller than that.
        Form big(screen + QSize(200, 200));
        clsLayout layout(clsLayout::Revision::Editor);
        layout.SetLayout(&big.window);
        big.window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&big.window));
        QTRY_VERIFY(big.window.windowState() & Qt::WindowMaximized);
        layout.RedrawLayout();
        QVERIFY(big.window.width() < screen.width() + 200);
        QCOMPARE(big.At("X=1 Y=1"), QRect(20, 40, 100, 20));

        // Designed smaller: the controls follow the maximised size.
        Form small(QSize(300, 200));
        clsLayout follow(clsLayout::Revision::Editor);
        follow.SetLayout(&small.window);
        small.window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&small.window));
        QTRY_VERIFY(small.window.width() > 300);
        follow.RedrawLayout();
        const QSize grown = small.window.size() - QSize(300, 200);
        QCOMPARE(small.At("X=1 Y=1"), QRect(20 + grown.width(), 40 + grown.height(), 100, 20));
        QCOMPARE(small.At("W=1 H=1").size(), QSize(100 + grown.width(), 20 + grown.height()));
    }

    void negativeSizeKeepsThatValue()
    {
        QWidget window;
        window.resize(600, 400);
        auto* b = new QPushButton(&window);
        b->setGeometry(10, 10, 100, 100);
        clsLayout::setTag(b, "X=1 W=-1 H=-1");
        clsLayout layout;
        layout.SetLayout(&window);
        window.resize(800, 600);  // width growth 200 px: 100 - 200 < 0
        layout.RedrawLayout();
        QCOMPARE(b->geometry(), QRect(210, 10, 100, 100));
    }

    void setLayoutAgainTakesTheCurrentSize()
    {
        Form form;
        clsLayout layout;
        layout.SetLayout(&form.window);
        form.window.resize(700, 400);
        layout.RedrawLayout();
        layout.SetLayout(&form.window);
        QCOMPARE(layout.MinWidth(), 700.0f * T);
        layout.RedrawLayout();
        QCOMPARE(form.At("X=1 Y=1"), QRect(120, 40, 100, 20));
    }

    void minSizeRoundsToWholeTwips()
    {
        clsLayout layout;
        layout.setMinWidth(100.5f);
        layout.setMinHeight(101.5f);
        QCOMPARE(layout.MinWidth(), 100.0f);
        QCOMPARE(layout.MinHeight(), 102.0f);
    }
};

QTEST_MAIN(TestLayout)
#include "tst_clsLayout.moc"
