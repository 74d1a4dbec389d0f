// TProgbar: the flat progress bar that the library's progress callbacks drive.
#pragma once

#include <QColor>
#include <QWidget>

class TProgbar : public QWidget {
    Q_OBJECT
public:
    enum BorderStyle { bRaised, bLowered, bBody, bDark, bLight, bNone };
    Q_ENUM(BorderStyle)

    explicit TProgbar(QWidget* parent = nullptr);

    int Level() const { return level_; }
    // A rise paints only the newly filled strip, at once, so a progress
    // callback costs no event processing; a fall repaints the whole bar.
    void setLevel(int value);

    bool Horizontal() const { return horizontal_; }
    void setHorizontal(bool value);
    QColor PenColor() const { return pen_color_; }
    void setPenColor(const QColor& value);
    BorderStyle Border() const { return border_; }
    void setBorder(BorderStyle value);
    // The unfilled part; the parent's background until set.
    QColor Color() const;
    void setColor(const QColor& value);

    // The two border colours (left and top, right and bottom) of a style.
    std::pair<QColor, QColor> borderColours(BorderStyle style) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int level_ = 0;
    int previous_level_ = 0;
    bool horizontal_ = true;
    QColor pen_color_ = Qt::black;
    BorderStyle border_ = bRaised;
    QColor color_;  // invalid: inherited
};
