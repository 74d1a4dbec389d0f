// PictureStore: reading the working file into the picture, in place when it can.
#include "picture_store.h"

#include "bmp_picture.h"

#include <QImageReader>

bool PictureStore::LoadFromFile(const QString& path)
{
    // The library's own BMPs read straight into pixels of their own depth;
    // Qt's reader takes the rest (and is several times slower on large
    // pictures). A picture of the same size and kind, as after most
    // processing steps, takes the new rows in place. Either way a picture
    // whose display form would pass the library's ceiling is refused before
    // anything is allocated for it.
    QImage fast = controls::readBmpPicture(path, &picture_);
    if (!fast.isNull()) {
        setPicture(fast);
        return true;
    }
    // The library has already bounded the picture's size; Qt's own
    // allocation cap would refuse large pictures the library accepted.
    QImageReader::setAllocationLimit(0);
    QImageReader reader(path, "bmp");
    reader.setAutoTransform(false);
    QImage loaded;
    if (controls::pictureFitsCeiling(reader.size(), reader.imageFormat())) loaded = reader.read();
    if (loaded.isNull()) {
        // Rows read in place before a failure have changed the picture all the same.
        pictureChanged();
        return false;
    }
    setPicture(loaded);
    return true;
}

void PictureStore::setPicture(const QImage& picture, QSize fullSize)
{
    picture_ = picture;
    full_size_ = fullSize;
    pictureChanged();
}
