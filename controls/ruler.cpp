// TRuler: the properties' refusal rules and the painting of ticks and numbers.
#include "ruler.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPaintEvent>

TRuler::TRuler(QWidget* parent)
    : QWidget(parent),
      legend_color_(palette().color(QPalette::WindowText)),
      pen_color_(palette().color(QPalette::Light)),
      shadow_color_(palette().color(QPalette::Dark))
{
}

void TRuler::set(std::int32_t& field, std::int32_t value, std::int32_t lowest)
{
    if (value == field || value < lowest) return;
    field = value;
    update();
}

void TRuler::setStart(std::int32_t value)
{
    set(start_, value, 0);
}

void TRuler::setEnd(std::int32_t value)
{
    set(end_, value, INT32_MIN);
}

void TRuler::setTickSpacing(std::int32_t value)
{
    set(tick_spacing_, value, 2);
}

void TRuler::setBigTicks(std::int32_t value)
{
    set(big_ticks_, value, 2);
}

void TRuler::setMidTicks(std::int32_t value)
{
    set(mid_ticks_, value, 2);
}

void TRuler::setTickSize(std::int32_t value)
{
    set(tick_size_, value, 2);
}

void TRuler::setBigSize(std::int32_t value)
{
    set(big_size_, value, 2);
}

void TRuler::setMidSize(std::int32_t value)
{
    set(mid_size_, value, 2);
}

void TRuler::setLegendStart(std::int32_t value)
{
    set(legend_start_, value, INT32_MIN);
}

void TRuler::setLegendStep(std::int32_t value)
{
    set(legend_step_, value, INT32_MIN);
}

void TRuler::setHorizontal(bool value)
{
    if (value == horizontal_) return;
    horizontal_ = value;
    update();
}

void TRuler::setLegend(bool value)
{
    if (value == legend_) return;
    legend_ = value;
    update();
}

void TRuler::setPenColor(const QColor& value)
{
    if (value == pen_color_) return;
    pen_color_ = value;
    update();
}

void TRuler::setShadowColor(const QColor& value)
{
    if (value == shadow_color_) return;
    shadow_color_ = value;
    update();
}

void TRuler::setLegendColor(const QColor& value)
{
    if (value == legend_color_) return;
    legend_color_ = value;
    update();
}

QColor TRuler::Color() const
{
    return color_.isValid() ? color_ : palette().color(QPalette::Window);
}

void TRuler::setColor(const QColor& value)
{
    if (value == color_) return;
    color_ = value;
    update();
}

// The ruler is drawn along its length in `along` and across it in `across`;
// a vertical ruler is the horizontal one with the axes exchanged.
void TRuler::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.setFont(font());
    painter.fillRect(rect(), Color());

    const std::int64_t length = horizontal_ ? width() : height();
    const std::int64_t bound = length - std::int64_t(end_) - 1;  // ticks stay before it
    // A tick `size` long covers that many pixels from the edge.
    const auto line = [&](std::int64_t at, std::int32_t size, const QColor& colour) {
        const QRect pixels = horizontal_ ? QRect(int(at), 0, 1, size) : QRect(0, int(at), size, 1);
        painter.fillRect(pixels, colour);
    };
    const auto ticks = [&](std::int64_t step, std::int32_t size) {
        for (std::int64_t at = start_; at < bound; at += step) {
            line(at, size, pen_color_);
            line(at + 1, size, shadow_color_);
        }
    };
    const std::int64_t spacing = tick_spacing_;
    ticks(spacing, tick_size_);
    if (tick_size_ < mid_size_) ticks(spacing * mid_ticks_, mid_size_);
    if (tick_size_ < big_size_) ticks(spacing * big_ticks_, big_size_);
    if (!legend_) return;

    // Each number is written on the ruler's own colour, over whatever ticks
    // lie beneath it.
    const QFontMetrics metrics(font());
    painter.setPen(legend_color_);
    std::int64_t number = legend_start_;
    for (std::int64_t at = start_; at < bound; at += spacing * big_ticks_, number += legend_step_) {
        const QString text = QString::number(number);
        const int text_width = metrics.horizontalAdvance(text), text_height = metrics.height();
        const QRect cell = horizontal_ ? QRect(int(at - text_width / 2), big_size_, text_width, text_height)
                                       : QRect(big_size_, int(at - text_height / 2), text_width, text_height);
        painter.fillRect(cell, Color());
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
    }
}
