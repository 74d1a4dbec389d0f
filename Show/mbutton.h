// TMButton: the viewer's toolbar button: a picture in a two-tone frame that can latch, rock and drop a menu.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QPoint>
#include <QWidget>

class QMenu;

class TMButton : public QWidget {
    Q_OBJECT
public:
    explicit TMButton(QWidget* parent = nullptr);

    QMenu* DropDownMenu() const { return drop_down_menu_; }
    void setDropDownMenu(QMenu* menu) { drop_down_menu_ = menu; }
    const QPixmap& Bitmap() const { return bitmap_; }
    void setBitmap(const QPixmap& bitmap);

    bool Latch() const { return latch_; }
    void setLatch(bool value) { set_switch(latch_, value); }
    bool Highlight() const { return highlight_; }
    void setHighlight(bool value) { set_switch(highlight_, value); }
    bool Down() const { return down_; }
    void setDown(bool value) { set_switch(down_, value); }
    bool Border() const { return border_; }
    void setBorder(bool value) { set_switch(border_, value); }
    bool Stretch() const { return stretch_; }
    void setStretch(bool value) { set_switch(stretch_, value); }
    bool RockerLR() const { return rocker_; }
    void setRockerLR(bool value) { set_switch(rocker_, value); }
    // The last press of a rocker was in its left half.
    bool ClickLeft() const { return click_left_; }

    QColor ColorDark() const { return color_dark_; }
    void setColorDark(const QColor& value);
    QColor ColorLight() const { return color_light_; }
    void setColorLight(const QColor& value);
    QColor Color() const;  // the parent's background until set
    void setColor(const QColor& value);

    // The main window finds its toolbar buttons by this mark.
    int Tag() const { return tag_; }
    void setTag(int value) { tag_ = value; }

    // Whether the highlight frame is showing (the mouse is over the button).
    bool tracking() const { return tracking_; }

signals:
    // A left press and release on the button, delivered before the button
    // comes up, so a rocker's handler reads ClickLeft of this press.
    void clicked();
    void mouseDown(Qt::MouseButton button, QPoint position);
    void mouseUp(Qt::MouseButton button, QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void set_switch(bool& field, bool value);
    void stop_tracking();

    QMenu* drop_down_menu_ = nullptr;
    QPixmap bitmap_;
    bool latch_ = false, highlight_ = true, down_ = false, border_ = true, stretch_ = true, rocker_ = false;
    bool click_left_ = false;
    QColor color_dark_, color_light_, color_;
    int tag_ = 0;
    QPoint press_;
    bool tracking_ = false;
    bool pressed_ = false;  // a left press is in progress on this button
};
