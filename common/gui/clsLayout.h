#pragma once
// Keeps a window's controls in place as the window is resized.
//
// SetLayout records the window's size and, for every control that carries a
// "Tag" property (its option text, e.g. "X=1 Y=1" or "W=1 H=1"), the
// control's geometry and four growth factors. RedrawLayout then places each
// control afresh from the recorded values: left += X * width growth,
// top += Y * height growth, width += W * width growth, height += H * height
// growth, so rounding never accumulates. Geometry is kept in twips
// (1/1440 inch: 15 to a pixel at 96 DPI, common/Twips.h).
//
// Two revisions: the harvester's lets the window shrink below its set-up size
// (controls then keep the geometry they were registered with); the editor's
// restores the set-up size of a normal window at once and turns away the
// redraw that this starts.
#include "common/Twips.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>
#include <string_view>
#include <vector>

// One registered control; all values are taken at registration.
struct clsControl {
    QPointer<QWidget> control;
    int left = 0, top = 0, width = 0, height = 0;  // twips
    double x = 0, y = 0, w = 0, h = 0;             // growth factors
};

class clsLayout {
public:
    enum class Revision { Harvester, Editor };
    static constexpr const char* kTagProperty = "Tag";

    explicit clsLayout(Revision revision = Revision::Harvester) : revision_(revision) {}

    float MinWidth() const { return static_cast<float>(minWidth_); }
    void setMinWidth(float twips);
    float MinHeight() const { return static_cast<float>(minHeight_); }
    void setMinHeight(float twips);

    void SetLayout(QWidget* frm);
    void RedrawLayout();
    void AddControl(QWidget* ctrl, const QString& pOpts);

    const std::vector<clsControl>& Controls() const { return controls_; }
    bool Busy() const { return busy_; }

    // A control's option text, kept as its "Tag" property.
    static void setTag(QWidget* ctrl, const QString& opts) { ctrl->setProperty(kTagProperty, opts); }
    static QString Tag(const QWidget* ctrl) { return ctrl->property(kTagProperty).toString(); }

    // The factor of one letter ('X', 'Y', 'W' or 'H') in an option text:
    // 0 without an entry; nothing when the entry cannot be used (a
    // denominator of 0, a number outside the 16-bit range).
    static std::optional<double> Factor(std::string_view opts, char letter);

    // Where a control stands for a growth of dx, dy twips.
    struct Placement {
        double left, top, width, height;
    };
    static Placement Place(const clsControl& c, int dx, int dy);

private:
    Revision revision_;
    int minWidth_ = 0;
    int minHeight_ = 0;
    QPointer<QWidget> window_;
    std::vector<clsControl> controls_;
    bool busy_ = false;
};
