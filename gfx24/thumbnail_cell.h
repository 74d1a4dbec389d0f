// A cached thumbnail's PNG bytes, decoded into the grid's square cell.
#pragma once

#include <QByteArray>
#include <QImage>

namespace gfx24 {

// The PNG in `data` centred in a transparent square of `side` device pixels
// (premultiplied ARGB32), fitted when it is larger; null when the bytes are
// no PNG or are damaged. The pixels are taken as the file gives them.
QImage thumbnail_cell(const QByteArray& data, int side, qreal ratio);

}  // namespace gfx24
