// TProgbar: painting and incremental level updates.
#include "progbar.h"

#include <QPainter>
#include <QPaintEvent>

#include <algorithm>

TProgbar::TProgbar(QWidget* parent) : QWidget(parent)
{
    // A windowless bar in spirit: it paints only its own pixels, so a frame
    // without a border shows the parent through.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAutoFillBackground(false);
}

void TProgbar::setLevel(int value)
{
    if (value == level_) return;
    previous_level_ = level_;
    level_ = std::clamp(value, 0, 100);
    if (level_ == previous_level_) return;
    if (level_ < previous_level_) {
        repaint();
        return;
    }
    const int w = width(), h = height();
    QRect strip;
    if (horizontal_) {
        const int from = (w - 1) * previous_level_ / 100, to = (w - 1) * level_ / 100;
        strip = QRect(from, 1, to - from, h - 2);
    } else {
        const int from = h - (h - 1) * level_ / 100, to = h - (h - 1) * previous_level_ / 100;
        strip = QRect(1, from, w - 2, to - from);
    }
    if (strip.isValid()) repaint(strip);
}

void TProgbar::setHorizontal(bool value)
{
    if (value == horizontal_) return;
    horizontal_ = value;
    update();
}

void TProgbar::setPenColor(const QColor& value)
{
    if (value == pen_color_) return;
    pen_color_ = value;
    update();
}

void TProgbar::setBorder(BorderStyle value)
{
    if (value == border_) return;
    border_ = value;
    update();
}

QColor TProgbar::Color() const
{
    if (color_.isValid()) return color_;
    const QWidget* parent = parentWidget();
    return parent ? parent->palette().color(parent->backgroundRole()) : palette().color(QPalette::Window);
}

void TProgbar::setColor(const QColor& value)
{
    if (value == color_) return;
    color_ = value;
    update();
}

std::pair<QColor, QColor> TProgbar::borderColours(BorderStyle style) const
{
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Shadow);
    switch (style) {
    case bRaised: return {light, dark};
    case bLowered: return {dark, light};
    case bBody: return {pen_color_, pen_color_};
    case bDark: return {dark, dark};
    case bLight: return {light, light};
    case bNone: break;
    }
    return {};
}

void TProgbar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width(), h = height();
    // Rectangles run from the first corner up to, not including, the second.
    const auto fill = [&](int left, int top, int right, int bottom, const QColor& colour) {
        if (right > left && bottom > top) painter.fillRect(QRect(left, top, right - left, bottom - top), colour);
    };
    if (horizontal_) {
        const int a = (w - 1) * level_ / 100;
        fill(1, 1, a, h - 1, pen_color_);
        fill(a, 1, w - 1, h - 1, Color());
    } else {
        const int a = h - (h - 1) * level_ / 100;
        fill(1, a, w - 1, h - 1, pen_color_);
        fill(1, 1, w - 1, a, Color());
    }
    if (border_ == bNone) return;
    // The frame is the pen path (0,H) (0,0) (W-1,0) in the first colour, then
    // (W-1,H-1) (0,H-1) in the second; each line stops short of its end point.
    const auto [first, second] = borderColours(border_);
    fill(0, 0, 1, h, first);           // left column, bottom up to the corner
    fill(0, 0, w - 1, 1, first);       // top row up to the last column
    fill(w - 1, 0, w, h - 1, second);  // right column down to the last row
    fill(1, h - 1, w, h, second);      // bottom row back to the second column
}
