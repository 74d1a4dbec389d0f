// TAnyImage: a picture control that shows a file of any format the image library converts.
#pragma once

#include "display_profile.h"
#include "zarngfx.h"
#include "zarngfx_module.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>

// Holds one picture and paints it at its own size (one picture pixel per
// screen pixel) from the top left, or
// stretched over the whole control when Stretch is on (area averaged when
// that shrinks it); AutoSize makes the
// control the picture's size. A file name given to it is converted by the
// image library (loaded at run time by name) into a temporary BMP that is
// shown and deleted again.
class TAnyImage : public QWidget {
    Q_OBJECT
public:
    enum Jpegscale { jsFull, jsHalf, jsQuarter };
    Q_ENUM(Jpegscale)
    enum Pcdsize { p192x128, p384x256, p768x512 };
    Q_ENUM(Pcdsize)

    explicit TAnyImage(QWidget* parent = nullptr);
    ~TAnyImage() override;
    TAnyImage(const TAnyImage&) = delete;
    TAnyImage& operator=(const TAnyImage&) = delete;

    // A different name loads the file; the same name again does nothing.
    QString FileName() const { return file_name_; }
    void setFileName(const QString& value);
    // After a load, fit the control to the picture's proportions. Turning it
    // on also switches AutoSize off and Stretch on and fits at once.
    bool Proportional() const { return proportional_; }
    void setProportional(bool value);
    // Fitting also centres the control in its parent; turning it on reloads.
    bool CenterOnParent() const { return center_on_parent_; }
    void setCenterOnParent(bool value);
    // Full colour when true, else 256 colours by ordered dither; a change reloads.
    bool TruColor() const { return tru_color_; }
    void setTruColor(bool value);
    // Unload the image library after every load; setting it unloads now.
    bool AutoFlush() const { return auto_flush_; }
    void setAutoFlush(bool value);
    // A change reloads a JPEG file on show.
    Jpegscale JpegScale() const { return jpeg_scale_; }
    void setJpegScale(Jpegscale value);
    // A change reloads a PhotoCD file on show.
    Pcdsize PCDSize() const { return pcd_size_; }
    void setPCDSize(Pcdsize value);
    // Called by the image library as (row, height) while it converts; none by default.
    PicProgress ProgressCallback() const { return progress_callback_; }
    void setProgressCallback(PicProgress value) { progress_callback_ = value; }

    // The record lent to the library; after a load it holds the image's
    // size, kind and description.
    const PicImage& Record() const { return *record_; }

    // The picture on show; null until something has loaded.
    const QImage& Picture() const { return picture_; }
    void setPicture(const QImage& picture);
    bool Stretch() const { return stretch_; }
    void setStretch(bool value);
    bool AutoSize() const { return auto_size_; }
    void setAutoSize(bool value);

    // Takes `name` as FileName and shows it. A file the library does not
    // recognise, or cannot convert, leaves the previous picture on show.
    void LoadImageFile(const QString& name);
    // Shrinks the control within its current bounds to the picture's
    // proportions, centring it in the parent when CenterOnParent is on.
    void FitToPicture();

    // Where a load of `name` puts its temporary BMP: "x", the file's name
    // without folder and extension, ".bmp", in the private temporary folder.
    static QString temporaryPathFor(const QString& name);

    // The size, in device-independent pixels, at which the picture shows one
    // of its pixels per screen (device) pixel: its pixel count over the
    // screen's pixel ratio, rounded up. At that size it is copied pixel for
    // pixel, never stretched or smoothed.
    QSize displaySize() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Runs the image library's conversion into the temporary BMP and shows it.
    void ConvertAndShow(const QString& name);
    void reload() { LoadImageFile(file_name_); }
    static void ShowError(const QString& text, const QString& caption);

    QString file_name_;
    QString extension_;  // the current file's, with the dot, upper case
    QString temporary_path_;
    bool proportional_ = true;
    bool center_on_parent_ = true;
    bool tru_color_ = true;
    bool auto_flush_ = true;
    Jpegscale jpeg_scale_ = jsFull;
    Pcdsize pcd_size_ = p768x512;
    PicProgress progress_callback_ = nullptr;

    QImage picture_;
    QImage reduced_;  // the picture area averaged to the control's size, when stretched smaller
    // The display's profile, asked for with each new picture, and the
    // picture converted to it as first drawn (only when there is one).
    const QImage& shown_picture();
    controls::DisplayTransform display_transform_;
    QImage display_picture_;
    bool stretch_ = false;
    bool auto_size_ = false;

    controls::ZarngfxModule library_;
    std::unique_ptr<PicImage> record_;
};
