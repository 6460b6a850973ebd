#include "common/gui/clsLayout.h"

#include <QToolBar>

#include <cmath>
#include <string>

namespace {

// The number at the start of a text, as a decimal parser reads a prefix
// (sign, digits, decimal point, exponent); 0 when there is none.
double LeadingNumber(std::string_view s)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const auto digits = [&] {
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
    };
    digits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        digits();
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            i = j;
            digits();
        }
    }
    const std::string prefix(s.substr(0, i));
    return std::strtod(prefix.c_str(), nullptr);  // "", "-" and "." read as 0
}

// Rounded to a 16-bit whole number, halves to even; nothing when out of range.
std::optional<int> ToInt16(double v)
{
    const double r = std::nearbyint(v);
    if (!(r >= -32768.0 && r <= 32767.0))
        return std::nullopt;
    return static_cast<int>(r);
}

int WholeTwips(double twips)
{
    return static_cast<int>(std::nearbyint(twips));
}
int Pixels(double twips)
{
    return static_cast<int>(std::nearbyint(twips / kTwipsPerPixel));
}

}  // namespace

void clsLayout::setMinWidth(float twips)
{
    minWidth_ = WholeTwips(twips);
}
void clsLayout::setMinHeight(float twips)
{
    minHeight_ = WholeTwips(twips);
}

std::optional<double> clsLayout::Factor(std::string_view opts, char letter)
{
    const char key[] = {letter, '=', '\0'};
    const auto at = opts.find(key);
    if (at == std::string_view::npos)
        return 0.0;
    auto value = opts.substr(at + 2);
    value = value.substr(0, value.find(' '));

    const auto numerator = ToInt16(LeadingNumber(value));
    if (!numerator)
        return std::nullopt;
    int denominator = 1;
    if (const auto slash = value.find('/'); slash != std::string_view::npos) {
        const auto d = ToInt16(LeadingNumber(value.substr(slash + 1)));
        if (!d || *d == 0)
            return std::nullopt;
        denominator = *d;
    }
    return static_cast<double>(*numerator) / denominator;
}

clsLayout::Placement clsLayout::Place(const clsControl& c, int dx, int dy)
{
    return {c.x * dx + c.left, c.y * dy + c.top, c.w * dx + c.width, c.h * dy + c.height};
}

void clsLayout::AddControl(QWidget* ctrl, const QString& pOpts)
{
    if (!ctrl)
        return;
    const std::string opts = pOpts.toStdString();
    const auto x = Factor(opts, 'X'), y = Factor(opts, 'Y'), w = Factor(opts, 'W'), h = Factor(opts, 'H');
    if (!x || !y || !w || !h)
        return;  // an unusable option text leaves the control where it is
    const QRect g = ctrl->geometry();
    controls_.push_back({ctrl, g.x() * kTwipsPerPixel, g.y() * kTwipsPerPixel, g.width() * kTwipsPerPixel,
                         g.height() * kTwipsPerPixel, *x, *y, *w, *h});
}

void clsLayout::SetLayout(QWidget* frm)
{
    minWidth_ = frm->width() * kTwipsPerPixel;
    minHeight_ = frm->height() * kTwipsPerPixel;
    window_ = frm;
    controls_.clear();
    // Only controls with an option text take part: the widgets inside
    // composite controls (viewports, scroll bars) must be left to their owner.
    for (QWidget* ctrl : frm->findChildren<QWidget*>()) {
        if (qobject_cast<QToolBar*>(ctrl) || !ctrl->property(kTagProperty).isValid())
            continue;
        AddControl(ctrl, Tag(ctrl));
    }
}

void clsLayout::RedrawLayout()
{
    if (revision_ == Revision::Editor) {
        if (busy_)
            return;
        busy_ = true;
        constexpr auto notNormal = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
        if (window_ && !(window_->windowState() & notNormal)) {
            // Resizing raises a resize event; its redraw returns at once (busy).
            if (window_->width() * kTwipsPerPixel < minWidth_)
                window_->resize(Pixels(minWidth_), window_->height());
            if (window_->height() * kTwipsPerPixel < minHeight_)
                window_->resize(window_->width(), Pixels(minHeight_));
        }
    }

    QWidget* parent = window_;
    if (!parent) {
        for (const auto& c : controls_)
            if (c.control) {
                parent = c.control->window();
                break;
            }
    }
    if (parent) {
        const int dx = std::max(0, parent->width() * kTwipsPerPixel - minWidth_);
        const int dy = std::max(0, parent->height() * kTwipsPerPixel - minHeight_);
        for (const auto& c : controls_) {
            if (!c.control)
                continue;
            const Placement p = Place(c, dx, dy);
            QRect g = c.control->geometry();
            g.moveTo(Pixels(p.left), Pixels(p.top));
            // A negative size cannot be set: that one value stays.
            if (p.width >= 0)
                g.setWidth(Pixels(p.width));
            if (p.height >= 0)
                g.setHeight(Pixels(p.height));
            c.control->setGeometry(g);
        }
    }

    if (revision_ == Revision::Editor)
        busy_ = false;
}
