// Reading the working file into a QImage quickly: the uncompressed BMPs the image library writes.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstddef>

namespace controls {

// A picture is shown only when its display form, rows padded as QImage pads
// them, stays within the image library's ceiling on one pixel block.
bool pictureFitsCeiling(QSize size, QImage::Format format);

// The picture of an uncompressed 1, 4, 8 or 24-bit BMP with the plain
// 40-byte header, 1-bit pictures kept at one bit a pixel (Format_Mono); a
// null image for anything else (Qt's reader takes those), for a file whose
// header and size do not agree, or for a picture past the ceiling. A `reuse` picture of
// the file's size and kind that nothing else shares is filled in place and
// returned (left null); if reading then fails halfway, it is handed back in
// `reuse` holding part of the new rows.
QImage readBmpPicture(const QString& path, QImage* reuse = nullptr);

}  // namespace controls
