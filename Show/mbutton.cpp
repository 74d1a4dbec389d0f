// TMButton: frame painting, latching, rocker halves, highlight tracking and drop-down menus.
#include "mbutton.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

TMButton::TMButton(QWidget* parent) : QWidget(parent)
{
    color_dark_ = palette().color(QPalette::Shadow);
    color_light_ = palette().color(QPalette::Light);
    setMouseTracking(true);  // moves without a button pressed start the highlight
    setFocusPolicy(Qt::NoFocus);
}

void TMButton::set_switch(bool& field, bool value)
{
    field = value;
    update();
}

void TMButton::setBitmap(const QPixmap& bitmap)
{
    bitmap_ = bitmap;
    update();
}

void TMButton::setColorDark(const QColor& value)
{
    color_dark_ = value;
    update();
}

void TMButton::setColorLight(const QColor& value)
{
    color_light_ = value;
    update();
}

QColor TMButton::Color() const
{
    if (color_.isValid()) return color_;
    const QWidget* parent = parentWidget();
    return parent ? parent->palette().color(parent->backgroundRole()) : palette().color(QPalette::Window);
}

void TMButton::setColor(const QColor& value)
{
    color_ = value;
    update();
}

void TMButton::paintEvent(QPaintEvent*)
{
    const int w = width(), h = height();
    QColor c[8];
    for (int i = 0; i < 8; ++i) c[i] = (i < 4) != down_ ? color_light_ : color_dark_;
    if (down_ && rocker_) {
        click_left_ = w / 2 > press_.x();
        if (click_left_) {
            c[3] = color_light_;
            c[4] = c[5] = c[6] = color_dark_;
        } else {
            c[0] = c[1] = c[2] = color_light_;
            c[7] = color_dark_;
        }
    }
    if (!border_ && !tracking_ && !down_) {
        for (QColor& colour : c) colour = Color();
    }

    QPainter painter(this);
    painter.fillRect(rect(), Color());
    // The pen walks the frame from the bottom-left corner clockwise, a new
    // colour every half side; like a GDI line, each stroke stops one pixel
    // short of its end point.
    const QPoint path[9] = {{0, h - 1},     {0, h / 2},     {0, 0},         {w / 2, 0}, {w - 1, 0},
                            {w - 1, h / 2}, {w - 1, h - 1}, {w / 2, h - 1}, {0, h - 1}};
    for (int i = 0; i < 8; ++i) {
        const QPoint from = path[i], to = path[i + 1];
        const QPoint step((to.x() > from.x()) - (to.x() < from.x()), (to.y() > from.y()) - (to.y() < from.y()));
        for (QPoint p = from; p != to; p += step) painter.fillRect(p.x(), p.y(), 1, 1, c[i]);
    }

    if (bitmap_.isNull()) return;
    if (stretch_) {
        painter.drawPixmap(QRect(QPoint(2, 2), QPoint(h - 4, h - 4)), bitmap_);
    } else {
        const QSize size = bitmap_.deviceIndependentSize().toSize();
        painter.drawPixmap(QPoint((w - size.width()) / 2, (h - size.height()) / 2), bitmap_);
    }
}

void TMButton::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit mouseDown(event->button(), at);
    press_ = at;
    if (event->button() == Qt::RightButton) return;
    pressed_ = event->button() == Qt::LeftButton;
    down_ = latch_ ? !down_ : true;
    if (rocker_ && down_) click_left_ = width() / 2 > press_.x();
    repaint();
    if (drop_down_menu_ && down_) {
        pressed_ = false;  // the release goes to the menu
        drop_down_menu_->exec(mapToGlobal(QPoint(0, height())));
        down_ = false;
        stop_tracking();
    }
}

void TMButton::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (highlight_) {
        if (!tracking_) {
            tracking_ = true;
            repaint();
        }
        if (at.x() < 0 || at.y() < 0 || at.x() > width() || at.y() > height()) {
            stop_tracking();
            return;
        }
    }
    QWidget::mouseMoveEvent(event);
}

void TMButton::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && pressed_ && rect().contains(at)) emit clicked();
    if (event->button() == Qt::LeftButton) pressed_ = false;
    emit mouseUp(event->button(), at);
    if (event->button() == Qt::RightButton) return;
    if (!latch_) down_ = false;
    stop_tracking();
}

void TMButton::leaveEvent(QEvent* event)
{
    // Without a global grab the button hears no moves outside itself; leaving
    // is where the tracked moves would have ended.
    if (tracking_) stop_tracking();
    QWidget::leaveEvent(event);
}

void TMButton::stop_tracking()
{
    tracking_ = false;
    repaint();
}
