// ViewerCore: the commands that change the working file: processing, cropping, a picture taken in, the dialogs.
#include "viewer_core.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>

bool ViewerCore::process(int code, QRect selection)
{
    // Nothing loaded yet: nothing to process (the working file is still empty).
    if (!hasPicture() || !fullPictureAvailable()) return false;

    const int bits_before = pic_->bits;
    emit busyChanged(true);
    keepForUndo();
    QElapsedTimer clock;
    clock.start();

    // The library works on the working file as the last load or step left
    // it; the picture on screen, outline and all, is never written back.
    const QByteArray working = QFile::encodeName(WorkingFile);
    if (code == kCropToSelection) {
        // Only the part of the selection on the picture is cropped to.
        const QRect area = selection & QRect(QPoint(0, 0), picture().size());
        if (!area.isEmpty())
            _bmpcrop(working.constData(), working.constData(), pic_.get(), area.x(), area.y(), area.width(),
                     area.height());
    } else {
        _bmprocess(working.constData(), working.constData(), pic_.get(), code);
    }
    show_file(WorkingFile);
    emit busyChanged(false);

    // The record describes the new file before the window is fitted to it,
    // so a change of depth reaches the side toolbar at once: a picture no
    // longer 24-bit loses the side toolbar, whose steps it cannot take.
    _checkbmp(working.constData(), pic_.get());
    const bool refit = code <= 1 || pic_->bits != bits_before;
    show_seconds(clock.elapsed());
    show_description(description());
    finishEdit(refit);
    return refit;
}

bool ViewerCore::takeImage(const QImage& image, const QString& title)
{
    if (WorkingFile.isEmpty() || image.isNull()) return false;
    // Plain 24-bit RGB with the 40-byte header: the kind of BMP the library
    // reads back, written beside the working file and renamed over it, as
    // the library writes. A failed write leaves the picture as it was.
    keepForUndo();
    QSaveFile file(WorkingFile);
    QImageWriter writer(&file, "bmp");
    if (!writer.write(image.convertToFormat(QImage::Format_RGB888)) || !file.commit()) {
        finishEdit(true);
        return false;
    }
    view_only_ = false;
    FileTitle = title;
    showFileTitle();
    reload();
    emit pictureLoaded();
    finishEdit(true);
    return true;
}

bool ViewerCore::acquire(void* owner)
{
    if (WorkingFile.isEmpty()) return false;
    const QByteArray working = QFile::encodeName(WorkingFile);
    keepForUndo();
    if (!_ScanToFile(owner, working.constData())) {
        finishEdit(true);
        return false;
    }
    view_only_ = false;
    FileTitle = QStringLiteral("Twain Image");
    showFileTitle();
    reload();
    emit pictureLoaded();
    finishEdit(true);
    return true;
}

bool ViewerCore::runOnWorkingFile(const std::function<int(const char*)>& dialog, bool refit)
{
    if (!hasPicture() || !fullPictureAvailable()) return false;
    const QByteArray working = QFile::encodeName(WorkingFile);
    keepForUndo();
    const bool changed = modal([&] { return dialog(working.constData()); }) != 0;
    if (changed) {
        if (refit) {
            reload();
            emit pictureLoaded();
        } else {
            show_file(WorkingFile);
        }
    }
    finishEdit(refit);
    return changed;
}
