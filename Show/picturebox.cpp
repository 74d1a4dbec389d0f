// TPictureBox: loading the working file and drawing only the part that is exposed.
#include "picturebox.h"

#include "bmp_picture.h"

#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>

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
    // takes the rest (and is several times slower on large pictures).
    QImage fast = show::readBmpPicture(path);
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
    ++paint_count_;
}

void TPictureBox::mousePressEvent(QMouseEvent* event)
{
    pressed_ = true;
    QWidget::mousePressEvent(event);
}

void TPictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (pressed_ && rect().contains(event->position().toPoint())) emit clicked(event->button());
    pressed_ = false;
    QWidget::mouseReleaseEvent(event);
}

void TPictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    pressed_ = false;
}
