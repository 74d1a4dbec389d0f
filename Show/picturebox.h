// TPictureBox: the main window's picture control, drawing its picture stretched to its own size.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

class TPictureBox : public QWidget {
    Q_OBJECT
public:
    explicit TPictureBox(QWidget* parent = nullptr);

    // Loads a BMP file as the picture; false leaves the old picture, except
    // when a file of its own size and kind failed halfway through its rows.
    bool LoadFromFile(const QString& path);
    const QImage& Picture() const { return picture_; }
    void setPicture(const QImage& picture);

    // The selection outline, in the control's pixels: a closed rectangle
    // between two corners, drawn exclusive-or over the picture as it is
    // painted, in dashes of white and mid-grey. It never enters the picture itself.
    void setOutline(QPoint from, QPoint to, int pen_width);
    void clearOutline();
    bool hasOutline() const { return has_outline_; }

    // How many times the picture has been painted; the benchmark waits on it.
    quint64 paintCount() const { return paint_count_; }

signals:
    void clicked(Qt::MouseButton button);
    void doubleClicked();
    void mouseDown(Qt::MouseButton button, QPoint at);
    void mouseMove(QPoint at);
    void mouseUp(Qt::MouseButton button, QPoint at);
    // The left button moved past the drag distance while held: the press
    // ends here and is no click.
    void dragStarted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    quint64 paint_count_ = 0;
    bool pressed_ = false;
    bool left_pressed_ = false;  // a press of the left button alone, at press_at_
    QPoint press_at_;
    QRect outlineBounds() const;
    static const QImage& outline_pattern();
    bool has_outline_ = false;
    QPoint outline_from_, outline_to_;
    int outline_width_ = 2;
};
