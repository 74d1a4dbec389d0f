// PictureStore: the picture read from the library's BMP files, kept where it is shown.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The viewer's core reads the working file into the store of whatever shows
// it (the main window's picture control), so a picture of the same size and
// kind takes the new rows in place; without a window it keeps its own.
class PictureStore {
public:
    virtual ~PictureStore() = default;

    // Loads a BMP file as the picture; false leaves the old picture, except
    // when a file of its own size and kind failed halfway through its rows.
    bool LoadFromFile(const QString& path);
    const QImage& Picture() const { return picture_; }
    // `fullSize`, when given, is the size of the whole picture of which
    // `picture` is a reduced preview (a scaled decode shown before the full
    // read is done); without it the picture is the whole picture.
    void setPicture(const QImage& picture, QSize fullSize = {});
    // The whole picture's size, in picture pixels, whether or not a preview is shown.
    QSize fullSize() const { return full_size_.isEmpty() ? picture_.size() : full_size_; }
    bool isPreview() const { return !full_size_.isEmpty() && full_size_ != picture_.size(); }

protected:
    // Called after every change of the picture, so a control can repaint.
    virtual void pictureChanged() {}

private:
    QImage picture_;
    QSize full_size_;
};
