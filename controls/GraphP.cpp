// TGraphPaper: the properties' refusal rules and the painting of lines and border.
#include "GraphP.h"

#include <QPainter>
#include <QPaintEvent>

TGraphPaper::TGraphPaper(QWidget* parent) : QWidget(parent) {}

void TGraphPaper::set(std::int32_t& field, std::int32_t value, std::int32_t lowest)
{
    if (value == field || value < lowest) return;
    field = value;
    update();
}

void TGraphPaper::set(QColor& field, const QColor& value)
{
    if (value == field) return;
    field = value;
    update();
}

void TGraphPaper::setStart(std::int32_t value)
{
    set(start_, value, 0);
}

void TGraphPaper::setEnd(std::int32_t value)
{
    set(end_, value, INT32_MIN);
}

void TGraphPaper::setTickSpacing(std::int32_t value)
{
    set(tick_spacing_, value, 2);
}

void TGraphPaper::setMidSpacing(std::int32_t value)
{
    set(mid_spacing_, value, 2);
}

void TGraphPaper::setPenColor(const QColor& value)
{
    set(pen_color_, value);
}

void TGraphPaper::setBorderColor(const QColor& value)
{
    set(border_color_, value);
}

void TGraphPaper::setMidColor(const QColor& value)
{
    set(mid_color_, value);
}

QColor TGraphPaper::Color() const
{
    return color_.isValid() ? color_ : palette().color(QPalette::Window);
}

void TGraphPaper::setColor(const QColor& value)
{
    set(color_, value);
}

void TGraphPaper::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.fillRect(rect(), Color());

    const std::int64_t right = std::int64_t(width()) - end_ - 1;    // the border's column
    const std::int64_t bottom = std::int64_t(height()) - end_ - 1;  // and its row
    if (right < start_ || bottom < start_) return;                  // no room inside the margins
    // Lines as one-pixel rectangles, so exactly the pixels from one end to the other are set.
    const auto span = [&](std::int64_t left, std::int64_t top, std::int64_t last_x, std::int64_t last_y,
                          const QColor& colour) {
        painter.fillRect(QRect(int(left), int(top), int(last_x - left + 1), int(last_y - top + 1)), colour);
    };
    // Vertical lines run up to the right margin itself, horizontal ones stop
    // a pixel before the bottom one; the border covers both ends.
    const auto lines = [&](std::int64_t step, const QColor& colour) {
        for (std::int64_t x = start_; x < right + 1; x += step) span(x, start_, x, bottom, colour);
        for (std::int64_t y = start_; y < bottom; y += step) span(start_, y, right, y, colour);
    };
    if (mid_spacing_ != tick_spacing_) lines(mid_spacing_, mid_color_);
    lines(tick_spacing_, pen_color_);

    span(start_, start_, start_, bottom, border_color_);
    span(start_, bottom, right, bottom, border_color_);
    span(right, start_, right, bottom, border_color_);
    span(start_, start_, right, start_, border_color_);
}
