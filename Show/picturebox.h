// TPictureBox: the main window's picture control: its picture at any zoom, copied, area averaged or enlarged.
#pragma once

#include "display_profile.h"
#include "picture_store.h"

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <QWidget>

#include <algorithm>
#include <vector>
#include <functional>

class TPictureBox : public QWidget, public PictureStore {
    Q_OBJECT
public:
    explicit TPictureBox(QWidget* parent = nullptr);

    // The control's size, in device-independent pixels, that shows the
    // picture at one picture pixel per `scale` screen (device) pixels: on a
    // screen of device pixel ratio 2 the full-size picture takes half its
    // pixel count. Scale 1 rounds up, so every pixel is shown; at that size
    // the picture is copied pixel for pixel, any other size stretches it.
    QSize displaySize(int scale) const { return sizeForZoom(1.0 / std::max(1, scale)); }
    // Device pixels per picture pixel: 1 shows the picture at full size, 0.5
    // at half. The window sizes the control to sizeForZoom(zoom()).
    void setZoom(qreal zoom);
    qreal zoom() const { return zoom_; }
    // The control's size, in device-independent pixels, showing the whole
    // picture at `zoom`: full size rounds up, any other zoom to the nearest
    // pixel (half size down), never below 1x1.
    QSize sizeForZoom(qreal zoom) const;
    // Between the control's device pixels and the whole picture's pixels, at
    // the control's actual size (exact after its rounding).
    QPointF toPicture(QPointF device) const;
    QPointF toDevice(QPointF picture) const;
    // The whole picture at one picture pixel to each device pixel.
    bool showsFullSize() const;
    // The control's size in device pixels, the unit of mouse positions and
    // of the outline.
    QSize deviceSize() const;
    qreal pixelRatio() const;

    // The selection outline, in the control's device pixels: a closed rectangle
    // between two corners, drawn exclusive-or over the picture as it is
    // painted, in dashes of white and mid-grey. It never enters the picture itself.
    void setOutline(QPoint from, QPoint to, int pen_width);
    void clearOutline();
    bool hasOutline() const { return has_outline_; }

    // Asked, with the keys held, once a left drag passes the drag distance:
    // true drags the file out (dragStarted), false pans (panned). Unset, every
    // such drag is a drag out.
    std::function<bool(Qt::KeyboardModifiers)> dragOutWanted;

    // How many times the picture has been painted; the benchmark waits on it.
    quint64 paintCount() const { return paint_count_; }

signals:
    // Mouse positions are in the control's device pixels (its own
    // device-independent position times the screen's pixel ratio), so at full
    // size they are picture pixels on any screen.
    void clicked(Qt::MouseButton button);
    void doubleClicked();
    void mouseDown(Qt::MouseButton button, QPoint at);
    void mouseMove(QPoint at);
    void mouseUp(Qt::MouseButton button, QPoint at);
    // The left button moved past the drag distance while held: the press
    // ends here and is no click.
    void dragStarted();
    // A left drag that pans moved by `delta` device-independent pixels on
    // the screen since the last report (the first from the press); the
    // release ends it as mouseUp, never as a click.
    void panned(QPoint delta);

protected:
    void pictureChanged() override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    quint64 paint_count_ = 0;
    qreal zoom_ = 1.0;
    bool pressed_ = false;
    bool left_pressed_ = false;  // a press of the left button alone, at press_at_
    QPoint press_at_;
    bool panning_ = false;
    QPoint pan_from_;             // global position of the last pan report, or of the press
    QRect outlineBounds() const;  // in device-independent pixels, for update()
    QPoint device_position(const QMouseEvent& event) const;
    static const QImage& outline_pattern();
    void paint_exact(QPainter& painter, QRect exposed);
    void paint_reduced(QPainter& painter, QRect exposed, QSize device);
    void paint_enlarged(QPainter& painter, QRect exposed, QSize device);
    int reduction_level(QSize device, QRect exposed) const;
    const QImage& reduction_source(int level);
    void drop_reductions();
    // Drawing below one picture pixel per device pixel: the picture
    // converted to a form the reduction reads directly (only when it is in
    // none), halved again and again as large views at small zooms need it,
    // and the result at the control's device size, filled in as its parts
    // are exposed. A new picture drops them all.
    QImage reduction_base_;
    std::vector<QImage> halvings_;
    QImage reduced_;
    QRegion reduced_done_;
    int reductions_ = 0;     // sizes reduced to since the picture changed
    int reduced_level_ = 0;  // the halving reduced_ is read from
    // The picture in the display's colours, while the display has a
    // profile: converted once, where it is first drawn, until the picture
    // changes. `area` is in the picture's pixels.
    const QImage& display_picture(QRect area);
    controls::DisplayTransform display_transform_;
    QImage display_picture_;
    QRegion display_done_;
    bool has_outline_ = false;
    QPoint outline_from_, outline_to_;
    int outline_width_ = 2;
};
