// Reading the working file into a QImage quickly: the uncompressed BMPs the image library writes.
#pragma once

#include <QImage>
#include <QString>

namespace show {

// The picture of an uncompressed 1, 4, 8 or 24-bit BMP with the plain
// 40-byte header; a null image for anything else (Qt's reader takes those),
// or for a file whose header and size do not agree.
QImage readBmpPicture(const QString& path);

}  // namespace show
