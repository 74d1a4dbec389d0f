// TAnyImage: loading through the image library's temporary BMP, fitting, and painting (area averaged when shrunk).
#include "anyimage.h"

#include "area_scale.h"
#include "bmp_picture.h"
#include "private_temp.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QImageReader>
#include <QMessageBox>
#include <QPainter>
#include <QPaintEvent>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sys/stat.h>

namespace {

using Conversion = int (*)(const char* in, const char* bmp, PicImage* pic, int pcd_resolution, int jpeg_scale);
using Validation = int (*)(const char* path);

// The part of a path after its last folder separator.
QString file_part(const QString& name)
{
    return name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
}

// Icons come through Qt's own reader, and so do SVG drawings where Qt has
// the plugin. Windows metafiles have no reader here: they are taken as
// direct loads that show nothing new.
bool loads_directly(const QString& extension)
{
    if (extension == QLatin1String(".ICO") || extension == QLatin1String(".WMF") || extension == QLatin1String(".EMF"))
        return true;
    return extension == QLatin1String(".SVG") && QImageReader::supportedImageFormats().contains("svg");
}

// True when both names reach one file (a link to it, or the file itself):
// converting into it would overwrite, and then delete, the file being read.
bool same_file(const QString& first, const QString& second)
{
    struct stat a {
    }, b{};
    if (::stat(QFile::encodeName(first).constData(), &a) != 0) return false;
    if (::stat(QFile::encodeName(second).constData(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Stems longer than this are shortened to their first kKeptStemBytes
// and a hash.
constexpr qsizetype kLongestStemBytes = 64;
constexpr qsizetype kKeptStemBytes = 40;

// A file name may use all 255 bytes the file system allows, and "x" and
// the unique ending would take the temporary name past them: a long name
// keeps its first characters and stands for the rest by a hash of it.
QString short_stem(const QString& stem)
{
    if (QFile::encodeName(stem).size() <= kLongestStemBytes) return stem;
    qsizetype kept = 0;
    while (kept < stem.size() && QFile::encodeName(stem.left(kept + 1)).size() <= kKeptStemBytes) ++kept;
    if (kept > 0 && stem.at(kept - 1).isHighSurrogate()) --kept;  // never half a character
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(stem.mid(kept)), QCryptographicHash::Sha256);
    return stem.left(kept) + '~' + QString::fromLatin1(hash.toHex().left(16));
}

}  // namespace

TAnyImage::TAnyImage(QWidget* parent) : QWidget(parent), record_(std::make_unique<PicImage>())
{
    // Only the picture's own pixels are painted; the parent shows elsewhere.
    setAutoFillBackground(false);
}

TAnyImage::~TAnyImage() = default;

void TAnyImage::setFileName(const QString& value)
{
    if (value == file_name_) return;
    LoadImageFile(value);
}

void TAnyImage::setProportional(bool value)
{
    proportional_ = value;
    if (!value) return;
    setAutoSize(false);
    setStretch(true);
    FitToPicture();
}

void TAnyImage::setCenterOnParent(bool value)
{
    if (value == center_on_parent_) return;
    center_on_parent_ = value;
    if (value) reload();
}

void TAnyImage::setTruColor(bool value)
{
    if (value == tru_color_) return;
    tru_color_ = value;
    reload();
}

void TAnyImage::setAutoFlush(bool value)
{
    auto_flush_ = value;
    library_.unload();
}

// The library reads JPEG by content as well, so a ".jpeg" file is one too.
void TAnyImage::setJpegScale(Jpegscale value)
{
    const auto limited = Jpegscale(std::clamp(int(value), int(jsFull), int(jsQuarter)));
    if (limited == jpeg_scale_) return;
    jpeg_scale_ = limited;
    if (extension_ == QLatin1String(".JPG") || extension_ == QLatin1String(".JPEG")) reload();
}

void TAnyImage::setPCDSize(Pcdsize value)
{
    const auto limited = Pcdsize(std::clamp(int(value), int(p192x128), int(p768x512)));
    if (limited == pcd_size_) return;
    pcd_size_ = limited;
    if (extension_ == QLatin1String(".PCD")) reload();
}

void TAnyImage::setPicture(const QImage& picture)
{
    picture_ = picture;
    reduced_ = QImage();
    display_transform_ = controls::readDisplayTransform();
    display_picture_ = QImage();
    if (auto_size_ && !picture_.isNull()) resize(displaySize());
    update();
}

void TAnyImage::setStretch(bool value)
{
    if (value == stretch_) return;
    stretch_ = value;
    update();
}

void TAnyImage::setAutoSize(bool value)
{
    auto_size_ = value;
    if (auto_size_ && !picture_.isNull()) resize(displaySize());
}

QString TAnyImage::temporaryPathFor(const QString& name)
{
    const QString file = file_part(name);
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    return controls::uniqueTempPath(controls::privateTempDir(), 'x' + short_stem(dot < 0 ? file : file.left(dot)));
}

void TAnyImage::LoadImageFile(const QString& name)
{
    file_name_ = name;
    const QString file = file_part(name);
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    extension_ = dot < 0 ? QString() : file.mid(dot).toUpper();
    if (name.isEmpty()) return;  // nothing to show, and no reason to load the library

    if (loads_directly(extension_)) {
        if (extension_ == QLatin1String(".WMF") || extension_ == QLatin1String(".EMF")) return;
        const QImage picture(name);
        if (!picture.isNull()) setPicture(picture);
        return;
    }

    record_->progress = progress_callback_;
    if (!library_.load()) {
        ShowError(QStringLiteral("Cannot find libzarngfx.so"), QStringLiteral("AnyImage"));
        return;
    }
    ConvertAndShow(name);
    if (auto_flush_) library_.unload();
}

void TAnyImage::ConvertAndShow(const QString& name)
{
    const auto convert = library_.find<Conversion>(tru_color_ ? "_anytobmps" : "_anyto256");
    const auto valid = library_.find<Validation>("_Pic_Valid");
    if (!convert || !valid) {
        ShowError(QStringLiteral("Cannot find Routine"), QStringLiteral("ZarnGfx"));
        return;
    }
    temporary_path_ = temporaryPathFor(name);
    if (temporary_path_.isEmpty() || same_file(temporary_path_, name)) return;

    const QByteArray source = QFile::encodeName(name);
    const QByteArray bmp = QFile::encodeName(temporary_path_);
    if (valid(source.constData()) != 0 &&
        convert(source.constData(), bmp.constData(), record_.get(), int(pcd_size_) + 1, int(jpeg_scale_)) != 0) {
        QImage picture = controls::readBmpPicture(temporary_path_);
        if (picture.isNull()) picture = QImage(temporary_path_, "BMP");
        if (!picture.isNull()) {
            setPicture(picture);
            if (proportional_) FitToPicture();
        }
    }
    QFile::remove(temporary_path_);
}

void TAnyImage::FitToPicture()
{
    const std::int64_t picture_width = picture_.width(), picture_height = picture_.height();
    if (picture_width <= 0 || picture_height <= 0) return;  // no picture, no proportions
    const std::int64_t control_width = width(), control_height = height();
    std::int64_t w = control_height * picture_width / picture_height, h = control_height;
    if (w > control_width) {
        h = control_width * picture_height / picture_width;
        w = control_width;
    }
    // The picture's own size already has its proportions, to the screen
    // pixel; recomputing them in coarser units could only blur it.
    if (size() == displaySize()) w = control_width, h = control_height;
    QWidget* parent = parentWidget();
    if (center_on_parent_ && parent && !isWindow()) {
        int left = x(), top = y();
        if (w < parent->width()) left = int((parent->width() - w) / 2);
        if (h < parent->height()) top = int((parent->height() - h) / 2);
        move(left, top);
    }
    if (w != width() || h != height()) resize(int(w), int(h));
}

QSize TAnyImage::displaySize() const
{
    const qreal ratio = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
    return QSize(int(std::ceil(picture_.width() / ratio)), int(std::ceil(picture_.height() / ratio)));
}

QSize TAnyImage::sizeHint() const
{
    return picture_.isNull() ? QWidget::sizeHint() : displaySize();
}

void TAnyImage::paintEvent(QPaintEvent* event)
{
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.setClipRegion(event->region());
    const qreal ratio = devicePixelRatioF() > 0 ? devicePixelRatioF() : 1.0;
    if (stretch_ && size() != displaySize()) {
        // Shrunk, each screen pixel is the mean of the picture pixels it
        // covers, so fine patterns show as their mean; the reduction is kept
        // for the control's size, so repainting costs a copy.
        const QSize device(int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
        if (device.isEmpty() || device.width() > picture_.width() || device.height() > picture_.height()) {
            painter.drawImage(rect(), shown_picture());
            return;
        }
        if (reduced_.size() != device) {
            reduced_ = controls::areaScaled(picture_, device);
            display_transform_.apply(reduced_, reduced_.rect());
        }
        painter.scale(1 / ratio, 1 / ratio);
        painter.drawImage(QPoint(0, 0), reduced_);
        return;
    }
    // In screen pixels: one picture pixel to each.
    painter.scale(1 / ratio, 1 / ratio);
    painter.drawImage(QPoint(0, 0), shown_picture());
}

const QImage& TAnyImage::shown_picture()
{
    if (!display_transform_) return picture_;
    if (display_picture_.isNull()) display_picture_ = display_transform_.applied(picture_);
    return display_picture_;
}

void TAnyImage::ShowError(const QString& text, const QString& caption)
{
    QMessageBox::critical(QApplication::activeWindow(), caption, text);
}
