#include "common/gui/clsLayout.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QToolBar>
#include <QtTest>

namespace {

using Rev = clsLayout::Revision;

// A window (600 x 400 pixels = 9000 x 6000 twips by default) with one button per option text.
struct Form {
    QWidget window;
    std::map<QString, QWidget*> controls;
    clsLayout layout;

    explicit Form(Rev revision = Rev::Harvester, QSize size = {600, 400}) : layout(revision)
    {
        window.resize(size);
        // Places the control and names it.
        auto add = [&](const QString& name, QWidget* w, QRect r) { return w->setGeometry(r), controls[name] = w; };
        int top = -20;  // every 30 pixels from 10
        for (const QString tag : {"", "X=1 Y=1", "X=1/2", "X=0.5", "X=3/2", "x=1", "W=1/0", "W=1 H=1", "Y=1", "W=1"})
            clsLayout::setTag(add(tag, new QPushButton(tag, &window), {20, top += 30, 100, 20}), tag);
        add("untagged", new QLabel("no tag", &window), {300, 10, 80, 20});
        clsLayout::setTag(add("toolbar", new QToolBar(&window), {0, 0, 600, 8}), "W=1");
        layout.SetLayout(&window);
    }
    QRect At(const QString& tag) const { return controls.at(tag)->geometry(); }
    void Resize(int w, int h)
    {
        window.resize(w, h);
        layout.RedrawLayout();
    }
};

}  // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void factor()
    {
        // Numerators round to even; {}: no factor. The tags of Form are checked by followsTheGrowth, a fraction
        // after another option by the editor's fields in tst_frmMain.
        const std::tuple<const char*, char, std::optional<double>> cases[] = {
            {"X=1.5", 'X', 2.0}, {"X=2.5", 'X', 2.0},  {"Y=-1", 'Y', -1.0},    {"H=abc", 'H', 0.0},
            {"H= 1", 'H', 0.0},  {"W=2px", 'W', 2.0},  {"AX=1", 'X', 1.0},     {"X=1/2.5", 'X', 0.5},
            {"W=0/0", 'W', {}},  {"X=40000", 'X', {}}, {"X=1/32768", 'X', {}}, {"X=32767/32767", 'X', 1.0},
        };
        for (const auto& [opts, letter, factor] : cases)
            QVERIFY2(clsLayout::Factor(opts, letter) == factor, opts);
    }

    void followsTheGrowth()
    {
        // Growth 600 x 300 twips = 40 x 20 pixels.
        const std::pair<QString, QRect> cases[] = {
            {"", {20, 10, 100, 20}},       {"X=1 Y=1", {60, 60, 100, 20}},  {"X=1/2", {40, 70, 100, 20}},
            {"X=0.5", {20, 100, 100, 20}}, {"X=3/2", {80, 130, 100, 20}},   {"x=1", {20, 160, 100, 20}},
            {"W=1/0", {20, 190, 100, 20}}, {"W=1 H=1", {20, 220, 140, 40}}, {"Y=1", {20, 270, 100, 20}},
            {"W=1", {20, 280, 140, 20}},   {"untagged", {300, 10, 80, 20}}, {"toolbar", {0, 0, 600, 8}},
        };
        for (auto revision : {Rev::Harvester, Rev::Editor}) {
            Form form(revision);
            QCOMPARE(int(form.layout.Controls().size()), 9);  // ten tagged buttons less W=1/0
            form.Resize(640, 420);
            for (const auto& [tag, rect] : cases)
                QVERIFY2(form.At(tag) == rect, qPrintable(tag));
            form.Resize(600, 400);  // back at the design size, exactly
            QCOMPARE((QList{form.At("W=1 H=1"), form.At("X=3/2")}),
                     (QList{QRect(20, 220, 100, 20), QRect(20, 130, 100, 20)}));
        }
    }

    void shrinkBelowTheDesignSizeAndSetLayoutAgain()
    {
        Form harvester(Rev::Harvester);
        harvester.Resize(700, 500);
        harvester.Resize(300, 200);
        QCOMPARE((QList{harvester.window.rect(), harvester.At("X=1 Y=1"), harvester.At("W=1 H=1")}),
                 (QList{QRect(0, 0, 300, 200), QRect(20, 40, 100, 20), QRect(20, 220, 100, 20)}));

        Form editor(Rev::Editor);  // takes the design size back
        for (auto [w, h, rect, at] : {std::tuple{300, 450, QRect(0, 0, 600, 450), QRect(20, 90, 100, 20)},
                                      {650, 100, QRect(0, 0, 650, 400), QRect(70, 40, 100, 20)}}) {
            editor.Resize(w, h);
            QCOMPARE((QList{editor.window.rect(), editor.At("X=1 Y=1")}), (QList{rect, at}));
            QVERIFY(!editor.layout.Busy());
        }

        // SetLayout again takes the current places and tags; a size that would
        // go below zero keeps its value.
        clsLayout::setTag(harvester.controls[""], "X=1 W=-1 H=-1");
        harvester.Resize(700, 400);
        harvester.layout.SetLayout(&harvester.window);
        QCOMPARE(harvester.layout.MinWidth(), 700.0f * kTwipsPerPixel);
        harvester.Resize(900, 600);  // growth 200 px: 100 - 200 < 0
        QCOMPARE((QList{harvester.At(""), harvester.At("X=1 Y=1")}),
                 (QList{QRect(220, 10, 100, 20), QRect(320, 240, 100, 20)}));
    }

    void maximisedEditorIsNotClamped()
    {
        // Designed larger than the screen, a maximised window stays smaller than that and
        // nothing moves; designed smaller, the controls follow the maximised size.
        const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
        for (const QSize design : {screen + QSize(200, 200), QSize(300, 200)}) {
            Form form(Rev::Editor, design);
            form.window.showMaximized();
            QTRY_VERIFY((form.window.windowState() & Qt::WindowMaximized) && form.window.size() != design);
            form.layout.RedrawLayout();
            QVERIFY(form.window.width() < screen.width() + 200);
            const QSize grown = (form.window.size() - design).expandedTo({0, 0});
            QCOMPARE(form.At("X=1 Y=1"), QRect(20 + grown.width(), 40 + grown.height(), 100, 20));
            QCOMPARE(form.At("W=1 H=1").size(), QSize(100 + grown.width(), 20 + grown.height()));
        }
    }
};

QTEST_MAIN(TestLayout)
#include "tst_clsLayout.moc"
