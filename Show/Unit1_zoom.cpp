// TForm1: the zoom: large pictures fitted, the zoom keys, wheel and pinch, the zoom's status panel and a window the
// user sizes.
#include "Unit1.h"

#include "picturebox.h"
#include "ui_Unit1.h"
#include "zoom_steps.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QNativeGestureEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// FitWindow's rule: the client is the picture plus the scroll box's frame
// (4 wide) and, below it, the status bar (24 high with the frame), all
// within the screen less 36 by 64.
constexpr int kFrameWidth = 4, kFrameHeight = 24;
constexpr int kScreenMarginWidth = 36, kScreenMarginHeight = 64;
// One notch of a mouse wheel, in eighths of a degree.
constexpr int kWheelNotch = 120;
// A window manager answers a request for a size at once, with that size or
// the nearest it allows; the user's own resizing comes later.
constexpr qint64 kManagerAnswerMs = 500;
// So small a fit zoom still leaves a pixel of a 2^31-pixel-wide picture.
constexpr qreal kLeastFitZoom = 1e-9;

}  // namespace

void TForm1::connect_zoom()
{
    core_->shownSize = [this](QSize full) { return fittedSize(full); };
    // The wheel and pinch reach the viewport, through the picture when they
    // are over it; the scroll box's own resizes are the view's size changing.
    ui->ScrollBox1->viewport()->installEventFilter(this);
    ui->ScrollBox1->installEventFilter(this);
    asked_sizes_.fill(size());
    show_zoom_status();
}

qreal TForm1::zoom() const
{
    return ui->Image1->zoom();
}

bool TForm1::side_toolbar_shown() const
{
    return Settings.ToolBar1 && core_->pic()->bits == 24;
}

QSize TForm1::picture_room(bool side_toolbar) const
{
    if (user_sized_) return ui->ScrollBox1->contentsRect().size().expandedTo(QSize(1, 1));
    const QScreen* on = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!on) return QSize(1, 1);
    const QSize screen_size = on->geometry().size();
    const int top = Settings.ToolBar ? ui->Panel5->maximumHeight() : 0;
    const int side = side_toolbar ? ui->Panel6->maximumWidth() : 0;
    return QSize(std::max(1, screen_size.width() - kScreenMarginWidth - side - kFrameWidth),
                 std::max(1, screen_size.height() - kScreenMarginHeight - top - kFrameHeight));
}

qreal TForm1::fit_zoom(QSize full, bool side_toolbar) const
{
    if (full.isEmpty()) return 1.0;
    const QSize room = picture_room(side_toolbar);
    const qreal ratio = ui->Image1->pixelRatio();
    const qreal fit = std::min(room.width() * ratio / full.width(), room.height() * ratio / full.height());
    // A picture that fits is shown at full size, never enlarged; one too
    // large for the least zoom step is still shown whole.
    return std::clamp(fit, kLeastFitZoom, 1.0);
}

std::pair<qreal, bool> TForm1::load_zoom(QSize full, bool side_toolbar) const
{
    const qreal scaled = Settings.Scale == 2 ? 0.5 : 1.0;
    if (!Settings.FitLarge || full.isEmpty()) return {scaled, false};
    const qreal fit = fit_zoom(full, side_toolbar);
    if (fit < scaled) return {fit, true};
    return {scaled, false};
}

QSize TForm1::fittedSize(QSize fullSize) const
{
    if (fullSize.isEmpty()) return fullSize;
    // The side toolbar's width is not known before the picture is read:
    // the room without it is the larger, so a preview made to this size is
    // never smaller than what is shown.
    const qreal shown = load_zoom(fullSize, false).first;
    return QSize(std::max(1, int(std::lround(fullSize.width() * shown))),
                 std::max(1, int(std::lround(fullSize.height() * shown))));
}

bool TForm1::pictureLargerThanView() const
{
    const QSize view = ui->ScrollBox1->viewport()->size();
    return ui->Image1->width() > view.width() || ui->Image1->height() > view.height();
}

void TForm1::setZoom(qreal zoom, std::optional<QPoint> anchor)
{
    if (!has_picture()) return;
    fitted_ = false;
    change_zoom(show::limitedZoom(zoom), anchor);
}

void TForm1::zoomIn(std::optional<QPoint> anchor)
{
    const qreal to = show::zoomedIn(zoom());
    if (to > zoom()) setZoom(to, anchor);
}

void TForm1::zoomOut(std::optional<QPoint> anchor)
{
    // A fit zoom below the least step stays: the next step would be larger.
    const qreal to = show::zoomedOut(zoom());
    if (to < zoom()) setZoom(to, anchor);
}

void TForm1::fitToWindow()
{
    if (!has_picture()) return;
    fitted_ = true;
    change_zoom(fit_zoom(ui->Image1->fullSize(), side_toolbar_shown()), std::nullopt);
}

void TForm1::showActualSize()
{
    setZoom(1.0);
}

void TForm1::change_zoom(qreal to, std::optional<QPoint> anchor)
{
    QScrollArea& area = *ui->ScrollBox1;
    TPictureBox& picture = *ui->Image1;
    const qreal from = picture.zoom();
    const qreal ratio = picture.pixelRatio();
    const QPoint at = anchor.value_or(area.viewport()->rect().center());
    // The control lies at minus the scroll bars' values in the viewport.
    const QPointF held = picture.toPicture(QPointF(at - picture.pos()) * ratio);

    shown_scale_ = Settings.Scale == 2 ? 2 : 1;
    picture.setZoom(to);
    picture.resize(picture.sizeForZoom(to));
    fit_to_picture();
    if (Settings.Centre && !user_sized_) centre_on_screen();

    const QPointF now = picture.toDevice(held) / ratio;
    area.horizontalScrollBar()->setValue(int(std::lround(now.x() - at.x())));
    area.verticalScrollBar()->setValue(int(std::lround(now.y() - at.y())));
    if (to != from) selectionZoomChanged(from, to);
    show_zoom_status();
}

void TForm1::show_zoom_status()
{
    if (!has_picture()) {
        ui->Label3->clear();
        return;
    }
    const QString percent = QString::number(std::lround(zoom() * 100)) + QLatin1Char('%');
    ui->Label3->setText(fitted_ ? QStringLiteral("Fit ") + percent : percent);
}

void TForm1::follow_view_size()
{
    if (!fitted_ || !user_sized_ || !has_picture()) return;
    const qreal to = fit_zoom(ui->Image1->fullSize(), side_toolbar_shown());
    if (to != zoom()) change_zoom(to, std::nullopt);
}

bool TForm1::zoom_key(const QKeyEvent& event)
{
    // Ctrl with the zoom keys does as the keys alone (FormKeyPress).
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (modifiers != Qt::ControlModifier) return false;
    switch (event.key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoomIn(); return true;
    case Qt::Key_Minus: zoomOut(); return true;
    case Qt::Key_0: fitToWindow(); return true;
    default: return false;
    }
}

bool TForm1::zoom_event(QObject* watched, QEvent* event)
{
    QWidget* view = ui->ScrollBox1->viewport();
    if (watched == ui->ScrollBox1) {
        if (event->type() == QEvent::Resize) follow_view_size();
        return false;
    }
    if (watched != view && watched != ui->Image1) return false;
    auto* over = static_cast<QWidget*>(watched);

    if (event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (!(wheel->modifiers() & Qt::ControlModifier) && !Settings.WheelZoom) return false;
        const QPoint at = over == view ? wheel->position().toPoint() : over->mapTo(view, wheel->position().toPoint());
        const QPoint turned = wheel->angleDelta();
        const int angle = turned.y() != 0 ? turned.y() : turned.x();
        if (angle == 0) return true;
        // A touchpad turns in small amounts: a step per notch's worth, and
        // a turn the other way starts afresh.
        if ((angle > 0) != (wheel_angle_ > 0)) wheel_angle_ = 0;
        wheel_angle_ += angle;
        for (; wheel_angle_ >= kWheelNotch; wheel_angle_ -= kWheelNotch) zoomIn(at);
        for (; wheel_angle_ <= -kWheelNotch; wheel_angle_ += kWheelNotch) zoomOut(at);
        return true;
    }
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() != Qt::ZoomNativeGesture) return false;
        const QPoint at =
            over == view ? gesture->position().toPoint() : over->mapTo(view, gesture->position().toPoint());
        if (has_picture()) setZoom(zoom() * (1 + gesture->value()), at);
        return true;
    }
    return false;
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // A size the viewer did not ask for is the user's: from then on the
    // window keeps its size, until it comes back from maximised. The last
    // few sizes asked count, as the window system may still be reporting an
    // earlier one, and so does the manager's answer to a request.
    if (user_sized_ || !isVisible() ||
        std::find(asked_sizes_.begin(), asked_sizes_.end(), size()) != asked_sizes_.end())
        return;
    if (asked_at_.isValid() && asked_at_.elapsed() < kManagerAnswerMs) return;
    user_sized_ = true;
    // The layout has already given the view its new size, before this
    // resize was known to be the user's.
    follow_view_size();
}

void TForm1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    const Qt::WindowStates sized = Qt::WindowMaximized | Qt::WindowFullScreen;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (windowState() & sized) {
        user_sized_ = true;
        follow_view_size();
        return;
    }
    if (!(change->oldState() & sized) || (windowState() & Qt::WindowMinimized)) return;
    // Back from maximised, the window fits the picture again.
    user_sized_ = false;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (user_sized_ || !has_picture()) return;
            if (fitted_) change_zoom(fit_zoom(ui->Image1->fullSize(), side_toolbar_shown()), std::nullopt);
            else fit_to_picture();
        },
        Qt::QueuedConnection);
}
