// PictureStore: the picture read from the library's BMP files, kept where it is shown.
#pragma once

#include <QImage>
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
    void setPicture(const QImage& picture);

protected:
    // Called after every change of the picture, so a control can repaint.
    virtual void pictureChanged() {}

private:
    QImage picture_;
};
