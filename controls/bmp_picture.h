// Reading the working file into a QImage quickly: the uncompressed BMPs the image library writes.
#pragma once

#include <QImage>
#include <QString>

namespace show {

// The picture of an uncompressed 1, 4, 8 or 24-bit BMP with the plain
// 40-byte header; a null image for anything else (Qt's reader takes those),
// or for a file whose header and size do not agree. A `reuse` picture of
// the file's size and kind that nothing else shares is filled in place and
// returned (left null); if reading then fails halfway, it is handed back in
// `reuse` holding part of the new rows.
QImage readBmpPicture(const QString& path, QImage* reuse = nullptr);

}  // namespace show
