// TGraphPaper: a page background of fine and main grid lines inside a border.
#pragma once

#include <QColor>
#include <QWidget>

#include <cstdint>

// Every setter ignores a value equal to the current one and otherwise stores
// it and repaints; a negative Start or a spacing below 2 is refused.
class TGraphPaper : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Start READ Start WRITE setStart)
    Q_PROPERTY(int End READ End WRITE setEnd)
    Q_PROPERTY(int TickSpacing READ TickSpacing WRITE setTickSpacing)
    Q_PROPERTY(int MidSpacing READ MidSpacing WRITE setMidSpacing)
public:
    explicit TGraphPaper(QWidget* parent = nullptr);

    // Offset of the first lines and of the border from the top left.
    std::int32_t Start() const { return start_; }
    void setStart(std::int32_t value);
    // Pixels kept free at the right and bottom; any value.
    std::int32_t End() const { return end_; }
    void setEnd(std::int32_t value);
    // Pixels between main lines.
    std::int32_t TickSpacing() const { return tick_spacing_; }
    void setTickSpacing(std::int32_t value);
    // Pixels between fine lines; equal to TickSpacing, there are none.
    std::int32_t MidSpacing() const { return mid_spacing_; }
    void setMidSpacing(std::int32_t value);
    QColor PenColor() const { return pen_color_; }
    void setPenColor(const QColor& value);
    QColor BorderColor() const { return border_color_; }
    void setBorderColor(const QColor& value);
    QColor MidColor() const { return mid_color_; }
    void setMidColor(const QColor& value);
    // The background; the palette's window colour until set.
    QColor Color() const;
    void setColor(const QColor& value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void set(std::int32_t& field, std::int32_t value, std::int32_t lowest);
    void set(QColor& field, const QColor& value);

    std::int32_t start_ = 0;
    std::int32_t end_ = 0;
    std::int32_t tick_spacing_ = 10;
    std::int32_t mid_spacing_ = 10;
    QColor pen_color_ = Qt::black;
    QColor border_color_ = Qt::black;
    QColor mid_color_ = Qt::black;
    QColor color_;  // invalid: the palette's
};
