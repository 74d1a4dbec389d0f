// TPictureBox: loading the working file and drawing only the part that is exposed.
#include "picturebox.h"

#include "bmp_picture.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPolygon>

#include <algorithm>

TPictureBox::TPictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The library has already bounded the picture's size; Qt's own
    // allocation cap would refuse large pictures the library accepted.
    QImageReader::setAllocationLimit(0);
}

bool TPictureBox::LoadFromFile(const QString& path)
{
    // The library's own BMPs read straight into 32-bit pixels; Qt's reader
    // takes the rest (and is several times slower on large pictures). A
    // picture of the same size and kind, as after most processing steps,
    // takes the new rows in place.
    QImage fast = show::readBmpPicture(path, &picture_);
    if (!fast.isNull()) {
        setPicture(fast);
        return true;
    }
    QImageReader reader(path, "bmp");
    reader.setAutoTransform(false);
    QImage loaded = reader.read();
    if (loaded.isNull()) return false;
    setPicture(loaded);
    return true;
}

void TPictureBox::setPicture(const QImage& picture)
{
    picture_ = picture;
    update();
}

void TPictureBox::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect dirty = event->rect();
    if (picture_.isNull()) {
        painter.fillRect(dirty, palette().color(QPalette::Window));
    } else if (picture_.size() == size()) {
        // Full size: copy just the exposed part; a large picture scrolled
        // inside its box is never drawn whole.
        painter.drawImage(dirty.topLeft(), picture_, dirty);
    } else {
        painter.drawImage(QRectF(rect()), picture_);
    }
    if (has_outline_ && !picture_.isNull()) {
        // White exclusive-or inverts what lies under the pen, so the outline
        // shows on any picture; the stroke is one path, so corners where
        // the sides meet are inverted once.
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.setPen(QPen(Qt::white, outline_width_, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        const QPolygon outline({outline_from_, QPoint(outline_from_.x(), outline_to_.y()), outline_to_,
                                QPoint(outline_to_.x(), outline_from_.y())});
        painter.drawPolygon(outline);
    }
    ++paint_count_;
}

QRect TPictureBox::outlineBounds() const
{
    const int margin = outline_width_ + 1;
    return QRect(outline_from_, outline_to_).normalized().adjusted(-margin, -margin, margin, margin);
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
    emit mouseDown(event->button(), event->position().toPoint());
    event->accept();
}

void TPictureBox::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMove(event->position().toPoint());
    event->accept();
}

void TPictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit mouseUp(event->button(), at);
    if (pressed_ && rect().contains(at)) emit clicked(event->button());
    pressed_ = false;
    event->accept();
}

void TPictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    pressed_ = false;
}
