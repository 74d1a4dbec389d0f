// TRuler: a measuring scale of etched small, mid and numbered big ticks, horizontal or vertical.
#pragma once

#include <QColor>
#include <QWidget>

#include <cstdint>

// Every setter ignores a value equal to the current one and otherwise stores
// it and repaints; the refused values (below 2, or a negative Start) leave the
// old one. A tick is two lines: PenColor at its place, ShadowColor one pixel on.
class TRuler : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Start READ Start WRITE setStart)
    Q_PROPERTY(int End READ End WRITE setEnd)
    Q_PROPERTY(int TickSpacing READ TickSpacing WRITE setTickSpacing)
    Q_PROPERTY(int BigTicks READ BigTicks WRITE setBigTicks)
    Q_PROPERTY(int MidTicks READ MidTicks WRITE setMidTicks)
    Q_PROPERTY(int TickSize READ TickSize WRITE setTickSize)
    Q_PROPERTY(int BigSize READ BigSize WRITE setBigSize)
    Q_PROPERTY(int MidSize READ MidSize WRITE setMidSize)
    Q_PROPERTY(bool Horizontal READ Horizontal WRITE setHorizontal)
    Q_PROPERTY(bool Legend READ Legend WRITE setLegend)
    Q_PROPERTY(int LegendStart READ LegendStart WRITE setLegendStart)
    Q_PROPERTY(int LegendStep READ LegendStep WRITE setLegendStep)
public:
    explicit TRuler(QWidget* parent = nullptr);

    // Pixels from the leading edge to the first tick; negative is refused.
    std::int32_t Start() const { return start_; }
    void setStart(std::int32_t value);
    // Pixels kept free at the trailing edge; any value.
    std::int32_t End() const { return end_; }
    void setEnd(std::int32_t value);
    // Pixels between small ticks.
    std::int32_t TickSpacing() const { return tick_spacing_; }
    void setTickSpacing(std::int32_t value);
    // Small-tick intervals between big (numbered) ticks.
    std::int32_t BigTicks() const { return big_ticks_; }
    void setBigTicks(std::int32_t value);
    // Small-tick intervals between mid ticks.
    std::int32_t MidTicks() const { return mid_ticks_; }
    void setMidTicks(std::int32_t value);
    // Tick lengths; a mid or big tick no longer than a small one is not drawn.
    std::int32_t TickSize() const { return tick_size_; }
    void setTickSize(std::int32_t value);
    // Also where the numbers start, away from the edge.
    std::int32_t BigSize() const { return big_size_; }
    void setBigSize(std::int32_t value);
    std::int32_t MidSize() const { return mid_size_; }
    void setMidSize(std::int32_t value);
    // Ticks hang from the top edge when true, start at the left edge when false.
    bool Horizontal() const { return horizontal_; }
    void setHorizontal(bool value);
    bool Legend() const { return legend_; }
    void setLegend(bool value);
    std::int32_t LegendStart() const { return legend_start_; }
    void setLegendStart(std::int32_t value);
    std::int32_t LegendStep() const { return legend_step_; }
    void setLegendStep(std::int32_t value);
    QColor PenColor() const { return pen_color_; }
    void setPenColor(const QColor& value);
    QColor ShadowColor() const { return shadow_color_; }
    void setShadowColor(const QColor& value);
    QColor LegendColor() const { return legend_color_; }
    void setLegendColor(const QColor& value);
    // The background; the palette's window colour until set.
    QColor Color() const;
    void setColor(const QColor& value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Stores `value` in `field` and repaints, unless it is unchanged or below `lowest`.
    void set(std::int32_t& field, std::int32_t value, std::int32_t lowest);

    std::int32_t start_ = 0;
    std::int32_t end_ = 0;
    std::int32_t tick_spacing_ = 10;
    std::int32_t big_ticks_ = 10;
    std::int32_t mid_ticks_ = 5;
    std::int32_t tick_size_ = 10;
    std::int32_t big_size_ = 15;
    std::int32_t mid_size_ = 10;
    bool horizontal_ = true;
    bool legend_ = true;
    std::int32_t legend_start_ = 0;
    std::int32_t legend_step_ = 1;
    QColor legend_color_;
    QColor pen_color_;
    QColor shadow_color_;
    QColor color_;  // invalid: the palette's
};
