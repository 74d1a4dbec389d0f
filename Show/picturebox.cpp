// TPictureBox: drawing the exposed part of the picture at the control's zoom, and its mouse signals.
#include "picturebox.h"

#include "area_scale.h"
#include "bmp_picture.h"

#include <QApplication>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

TPictureBox::TPictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The library has already bounded the picture's size; Qt's own
    // allocation cap would refuse large pictures the library accepted.
    QImageReader::setAllocationLimit(0);
}

// A new picture asks the display for its profile again, so a profile
// changed since takes effect from here on.
void TPictureBox::pictureChanged()
{
    drop_reductions();
    display_transform_ = controls::readDisplayTransform();
    display_picture_ = QImage();
    display_done_ = QRegion();
    update();
}

qreal TPictureBox::pixelRatio() const
{
    const qreal ratio = devicePixelRatioF();
    return ratio > 0 ? ratio : 1.0;
}

QSize TPictureBox::sizeForZoom(qreal zoom) const
{
    const qreal ratio = pixelRatio();
    const QSize full = fullSize();
    if (full.isEmpty()) return QSize(0, 0);
    if (zoom == 1.0) return QSize(int(std::ceil(full.width() / ratio)), int(std::ceil(full.height() / ratio)));
    // Halving never takes a picture out of sight: a pixel stays a pixel.
    if (zoom == 0.5)
        return QSize(std::max(1, int(full.width() / (2 * ratio))), std::max(1, int(full.height() / (2 * ratio))));
    return QSize(std::max(1, int(std::lround(full.width() * zoom / ratio))),
                 std::max(1, int(std::lround(full.height() * zoom / ratio))));
}

void TPictureBox::setZoom(qreal zoom)
{
    if (zoom <= 0 || zoom == zoom_) return;
    zoom_ = zoom;
    update();
}

QPointF TPictureBox::toPicture(QPointF device) const
{
    const QSize full = fullSize(), shown = deviceSize();
    if (shown.isEmpty() || full.isEmpty() || showsFullSize()) return device;
    return QPointF(device.x() * full.width() / shown.width(), device.y() * full.height() / shown.height());
}

QPointF TPictureBox::toDevice(QPointF picture) const
{
    const QSize full = fullSize(), shown = deviceSize();
    if (shown.isEmpty() || full.isEmpty() || showsFullSize()) return picture;
    return QPointF(picture.x() * shown.width() / full.width(), picture.y() * shown.height() / full.height());
}

// At full size a dense screen may round the control up past the picture's last
// pixel: the picture is still copied one pixel to each device pixel, so the
// mapping is exactly one to one, not the control's size over the picture's.
bool TPictureBox::showsFullSize() const
{
    return !Picture().isNull() && !isPreview() && size() == sizeForZoom(1);
}

QSize TPictureBox::deviceSize() const
{
    const qreal ratio = pixelRatio();
    return QSize(int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
}

QPoint TPictureBox::device_position(const QMouseEvent& event) const
{
    const QPointF at = event.position() * pixelRatio();
    return QPoint(int(std::floor(at.x())), int(std::floor(at.y())));
}

void TPictureBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect dirty = event->rect();
    const qreal ratio = pixelRatio();
    const QSize device = deviceSize();
    const QRect exposed = QRectF(QPointF(dirty.topLeft()) * ratio, QSizeF(dirty.size()) * ratio).toAlignedRect() &
                          QRect(QPoint(), device);
    if (Picture().isNull()) {
        painter.fillRect(dirty, palette().color(QPalette::Window));
    } else if (showsFullSize() || device == Picture().size()) {
        if (device != Picture().size()) painter.fillRect(dirty, palette().color(QPalette::Window));
        paint_exact(painter, exposed);
    } else if (device.width() <= Picture().width() && device.height() <= Picture().height()) {
        paint_reduced(painter, exposed, device);
    } else {
        paint_enlarged(painter, exposed, device);
    }
    if (has_outline_ && !Picture().isNull()) {
        // Exclusive-or, in dashes that alternate between white and mid-grey:
        // white inverts (and so hardly changes a mid-tone), mid-grey moves
        // every channel by half its range, so the outline shows on any
        // picture. The stroke is one path, so corners where the sides meet
        // are changed once.
        painter.scale(1 / ratio, 1 / ratio);  // the outline is kept in device pixels
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.setPen(QPen(QBrush(outline_pattern()), outline_width_, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        const QPolygon outline({outline_from_, QPoint(outline_from_.x(), outline_to_.y()), outline_to_,
                                QPoint(outline_to_.x(), outline_from_.y())});
        painter.drawPolygon(outline);
    }
    ++paint_count_;
}

// Full size: one picture pixel to each device pixel, painted in device
// pixels so nothing is enlarged or smoothed. Only the exposed part is
// copied; a large picture scrolled inside its box is never drawn whole.
// Rounding the control's size up may leave a sliver past the last pixel.
void TPictureBox::paint_exact(QPainter& painter, QRect exposed)
{
    const qreal ratio = pixelRatio();
    painter.save();
    painter.scale(1 / ratio, 1 / ratio);
    const QRect shown = exposed & Picture().rect();
    painter.drawImage(shown.topLeft(), display_picture(shown), shown);
    painter.restore();
}

// Below full size every device pixel is the mean of the picture pixels it
// covers, so fine patterns show as their mean. The result is kept for the
// control's current size and filled in only where it is exposed.
void TPictureBox::paint_reduced(QPainter& painter, QRect exposed, QSize device)
{
    if (reduced_.size() != device || reduced_done_.isEmpty()) {
        if (reduced_.size() != device) ++reductions_;
        reduced_ = QImage();
        reduced_done_ = QRegion();
        reduced_level_ = reduction_level(device, exposed);
    }
    const QImage& source = reduction_source(reduced_level_);
    const qreal ratio = pixelRatio();
    painter.save();
    painter.scale(1 / ratio, 1 / ratio);
    // A reduction too large to keep whole is reduced afresh where exposed.
    constexpr qint64 kLargestKept = qint64(1) << 28;
    if (qint64(device.width()) * device.height() * 4 > kLargestKept) {
        QImage part(exposed.size(), controls::areaScaledFormat(source));
        if (!part.isNull() && controls::areaScaledPart(source, device, exposed, part, QPoint(0, 0)) &&
            display_transform_.apply(part, part.rect()))
            painter.drawImage(exposed.topLeft(), part);
        painter.restore();
        return;
    }
    if (reduced_.isNull()) reduced_ = QImage(device, controls::areaScaledFormat(source));
    if (reduced_.isNull()) {
        painter.fillRect(exposed, palette().color(QPalette::Window));
        painter.restore();
        return;
    }
    const QRegion missing = QRegion(exposed) - reduced_done_;
    for (const QRect& part : missing) {
        controls::areaScaledPart(source, device, part, reduced_, part.topLeft());
        display_transform_.apply(reduced_, part);
    }
    reduced_done_ += missing;
    painter.drawImage(exposed.topLeft(), reduced_, exposed);
    painter.restore();
}

// Above full size: smooth up to twice, then square pixels (nearest), so
// single pixels can be inspected. The painter draws only what the clip
// lets through, so a large enlargement costs the exposed part alone.
void TPictureBox::paint_enlarged(QPainter& painter, QRect exposed, QSize device)
{
    const qreal ratio = pixelRatio();
    const QSize full = fullSize();
    const bool square = qreal(device.width()) / full.width() > 2.001 && qreal(device.height()) / full.height() > 2.001;
    painter.save();
    painter.scale(1 / ratio, 1 / ratio);
    painter.setClipRect(exposed);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !square);
    // The picture's pixels under the exposed part, and one around it for smoothing.
    const QSize picture = Picture().size();
    const QRect under = QRectF(exposed.x() * qreal(picture.width()) / device.width(),
                               exposed.y() * qreal(picture.height()) / device.height(),
                               exposed.width() * qreal(picture.width()) / device.width(),
                               exposed.height() * qreal(picture.height()) / device.height())
                            .toAlignedRect()
                            .adjusted(-1, -1, 1, 1);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(device)), display_picture(under));
    painter.restore();
}

// Which form of the picture a reduction to `device` reads, 0 for the picture
// itself, 1 for it halved once and so on. The exact mean needs the picture
// itself, which it reads while the part under `exposed` is at most a few
// megapixels. A larger part is read from the first halving that brings it
// under that (never one smaller than `device`): the mean of means, which
// differs only on patterns as fine as single pixels, and keeps a zoom step
// within a frame. The first size a picture is reduced to (its first paint)
// always reads the picture, so a picture shown once and left builds no
// halvings.
int TPictureBox::reduction_level(QSize device, QRect exposed) const
{
    constexpr double kDirectPixels = 8 << 20;
    if (reductions_ <= 1 || device.isEmpty()) return 0;
    QSize size = Picture().size();
    for (int level = 0;; ++level) {
        const double read = double(exposed.width()) * size.width() / device.width() * exposed.height() * size.height() /
                            device.height();
        const QSize half(size.width() / 2, size.height() / 2);
        if (read <= kDirectPixels || half.width() < device.width() || half.height() < device.height() || half.isEmpty())
            return level;
        size = half;
    }
}

// The picture in a form the reduction reads directly (the picture itself
// when it can be), or that halved `level` times, built as first needed.
const QImage& TPictureBox::reduction_source(int level)
{
    // The picture itself is never shared here: the next working file's rows
    // can then be read into it in place.
    const bool direct = controls::areaScalesDirectly(Picture().format());
    if (!direct && reduction_base_.isNull())
        reduction_base_ = Picture().convertToFormat(controls::areaScaledFormat(Picture()));
    const QImage& base = direct ? Picture() : reduction_base_;
    while (int(halvings_.size()) < level) {
        const QImage& larger = halvings_.empty() ? base : halvings_.back();
        QImage halved = controls::areaScaled(larger, QSize(larger.width() / 2, larger.height() / 2));
        if (halved.isNull()) break;
        halvings_.push_back(std::move(halved));
    }
    const std::size_t shown = std::min(std::size_t(std::max(level, 0)), halvings_.size());
    return shown == 0 ? base : halvings_[shown - 1];
}

const QImage& TPictureBox::display_picture(QRect area)
{
    if (!display_transform_) return Picture();
    const QImage::Format format = controls::DisplayTransform::inPlaceFormat(Picture());
    if (display_picture_.isNull()) {
        display_picture_ = QImage(Picture().size(), format);
        if (display_picture_.isNull()) return Picture();
    }
    const QRegion missing = QRegion(area & Picture().rect()) - display_done_;
    for (const QRect& part : missing) {
        QImage converted = Picture().copy(part).convertToFormat(format);
        if (converted.isNull() || !display_transform_.apply(converted, converted.rect())) return Picture();
        const qsizetype row_bytes = qsizetype(part.width()) * (converted.depth() / 8);
        for (int y = 0; y < part.height(); ++y)
            std::memcpy(display_picture_.scanLine(part.y() + y) + qsizetype(part.x()) * (converted.depth() / 8),
                        converted.constScanLine(y), std::size_t(row_bytes));
    }
    display_done_ += missing;
    return display_picture_;
}

void TPictureBox::drop_reductions()
{
    reduction_base_ = QImage();
    halvings_.clear();
    reduced_ = QImage();
    reduced_done_ = QRegion();
    reductions_ = 0;
    reduced_level_ = 0;
}

// Diagonal stripes four pixels across, fixed to the control: along any side
// of the outline, four pixels white, four mid-grey.
const QImage& TPictureBox::outline_pattern()
{
    static const QImage pattern = [] {
        QImage tile(8, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                tile.setPixel(x, y, (x + y) % 8 < 4 ? qRgb(255, 255, 255) : qRgb(128, 128, 128));
        return tile;
    }();
    return pattern;
}

QRect TPictureBox::outlineBounds() const
{
    const int margin = outline_width_ + 1;
    const QRect device = QRect(outline_from_, outline_to_).normalized().adjusted(-margin, -margin, margin, margin);
    const qreal ratio = pixelRatio();
    const QRectF area(QPointF(device.topLeft()) / ratio, QSizeF(device.size()) / ratio);
    return area.toAlignedRect().adjusted(-1, -1, 1, 1);
}

void TPictureBox::setOutline(QPoint from, QPoint to, int pen_width)
{
    if (has_outline_) update(outlineBounds());
    has_outline_ = true;
    outline_from_ = from;
    outline_to_ = to;
    outline_width_ = std::max(1, pen_width);
    update(outlineBounds());
}

void TPictureBox::clearOutline()
{
    if (!has_outline_) return;
    update(outlineBounds());
    has_outline_ = false;
}

// The picture takes its mouse events itself: a click on it is not a click
// on the bare window behind it.
void TPictureBox::mousePressEvent(QMouseEvent* event)
{
    pressed_ = true;
    left_pressed_ = event->buttons() == Qt::LeftButton;
    press_at_ = event->position().toPoint();
    pan_from_ = event->globalPosition().toPoint();
    panning_ = false;
    emit mouseDown(event->button(), device_position(*event));
    event->accept();
}

void TPictureBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    // Global positions, since panning moves the control under the pointer.
    if (panning_ && (event->buttons() & Qt::LeftButton)) {
        const QPoint global = event->globalPosition().toPoint();
        emit panned(global - std::exchange(pan_from_, global));
        event->accept();
        return;
    }
    if (left_pressed_ && (event->buttons() & Qt::LeftButton) &&
        (at - press_at_).manhattanLength() >= QApplication::startDragDistance()) {
        pressed_ = left_pressed_ = false;
        if (dragOutWanted && !dragOutWanted(event->modifiers())) {
            panning_ = true;
            const QPoint global = event->globalPosition().toPoint();
            emit panned(global - std::exchange(pan_from_, global));
        } else {
            emit dragStarted();
        }
        event->accept();
        return;
    }
    emit mouseMove(device_position(*event));
    event->accept();
}

void TPictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit mouseUp(event->button(), device_position(*event));
    if (pressed_ && rect().contains(at)) emit clicked(event->button());
    pressed_ = left_pressed_ = panning_ = false;
    event->accept();
}

void TPictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    pressed_ = left_pressed_ = panning_ = false;
}
