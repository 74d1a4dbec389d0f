// A cached thumbnail decoded from memory straight into the grid's cell: the common kind inflated and unfiltered
// here, one read of the file, no copy of the picture on the way; other kinds read by Qt.
#include "thumbnail_cell.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <zlib.h>

namespace gfx24 {
namespace {

// The cache's largest size is 1024; a bigger entry is no thumbnail.
constexpr int kLargestSide = 2048;

std::uint32_t big_endian(const unsigned char* bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

unsigned char paeth(int left, int up, int up_left)
{
    const int estimate = left + up - up_left;
    const int to_left = std::abs(estimate - left), to_up = std::abs(estimate - up),
              to_up_left = std::abs(estimate - up_left);
    if (to_left <= to_up && to_left <= to_up_left) return static_cast<unsigned char>(left);
    return static_cast<unsigned char>(to_up <= to_up_left ? up : up_left);
}

// Undoes one row's filter in place against the row above (null for the
// first), for pixels of `kPixel` bytes.
template <std::size_t kPixel>
bool unfilter(unsigned char type, unsigned char* row, const unsigned char* above, std::size_t bytes)
{
    constexpr std::size_t pixel = kPixel;
    switch (type) {
    case 0: return true;
    case 1: {
        // The running sums stay in registers, out of the memory's way.
        std::array<unsigned char, kPixel> sum{};
        for (std::size_t i = 0; i + kPixel <= bytes; i += kPixel)
            for (std::size_t c = 0; c < kPixel; ++c)
                row[i + c] = sum[c] = static_cast<unsigned char>(sum[c] + row[i + c]);
        return true;
    }
    case 2:
        if (above)
            for (std::size_t i = 0; i < bytes; ++i) row[i] = static_cast<unsigned char>(row[i] + above[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < bytes; ++i) {
            const int left = i >= pixel ? row[i - pixel] : 0, up = above ? above[i] : 0;
            row[i] = static_cast<unsigned char>(row[i] + (left + up) / 2);
        }
        return true;
    case 4:
        for (std::size_t i = 0; i < bytes; ++i) {
            const int left = i >= pixel ? row[i - pixel] : 0, up = above ? above[i] : 0;
            const int up_left = above && i >= pixel ? above[i - pixel] : 0;
            row[i] = static_cast<unsigned char>(row[i] + paeth(left, up, up_left));
        }
        return true;
    default: return false;
    }
}

struct Span {
    std::size_t at, length;
};

// The common entry, 8-bit RGB or RGBA without interlace, no colour key and
// no larger than the cell, read without libpng: its image stream inflated
// in one call, where libpng inflates a row at a time and so mostly on
// zlib's slow path near each row's end, then each row unfiltered and put in
// its place. Nothing for any other file, which Qt reads; a null image
// for a damaged one.
std::optional<QImage> read_plain(const QByteArray& data, int side, qreal ratio)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const auto size = static_cast<std::size_t>(data.size());
    if (size < 8 + 25 || big_endian(bytes + 8) != 13 || std::memcmp(bytes + 12, "IHDR", 4) != 0) return std::nullopt;
    const unsigned char* header = bytes + 16;
    const std::uint32_t width = big_endian(header), height = big_endian(header + 4);
    const unsigned char depth = header[8], colour = header[9];
    if (width == 0 || height == 0 || width > std::uint32_t(side) || height > std::uint32_t(side)) return std::nullopt;
    if (depth != 8 || (colour != 2 && colour != 6) || header[10] != 0 || header[11] != 0 || header[12] != 0)
        return std::nullopt;

    std::vector<Span> streams;
    bool ended = false;
    for (std::size_t at = 8 + 25; at + 12 <= size && !ended;) {
        const std::uint32_t length = big_endian(bytes + at);
        const unsigned char* type = bytes + at + 4;
        if (length > 0x7FFFFFFFu || length > size - at - 12) return QImage();
        if (std::memcmp(type, "IDAT", 4) == 0) {
            if (length > 0) streams.push_back({at + 8, length});
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        } else if (std::memcmp(type, "tRNS", 4) == 0 || (type[0] & 0x20) == 0) {
            return std::nullopt;  // a colour key, or a critical chunk Qt will judge
        }
        at += std::size_t(length) + 12;
    }
    if (streams.empty()) return QImage();

    const std::size_t pixel = colour == 6 ? 4 : 3;
    const std::size_t row_bytes = pixel * width;
    thread_local std::vector<unsigned char> raw;
    raw.resize((row_bytes + 1) * height);
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return QImage();
    stream.next_out = raw.data();
    stream.avail_out = static_cast<uInt>(raw.size());
    int status = Z_OK;
    for (const Span& span : streams) {
        stream.next_in = const_cast<Bytef*>(bytes + span.at);
        stream.avail_in = static_cast<uInt>(span.length);
        status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_BUF_ERROR && stream.avail_out == 0) status = Z_STREAM_END;  // data past the picture
        if (status != Z_OK) break;
    }
    const bool whole = (status == Z_STREAM_END || status == Z_OK) && stream.avail_out == 0;
    inflateEnd(&stream);
    if (!whole) return QImage();

    QImage cell(side, side, QImage::Format_ARGB32_Premultiplied);
    if (cell.isNull()) return QImage();
    cell.fill(Qt::transparent);
    const int left = (side - static_cast<int>(width)) / 2, top = (side - static_cast<int>(height)) / 2;
    const unsigned char* above = nullptr;
    for (std::uint32_t y = 0; y < height; ++y) {
        unsigned char* row = raw.data() + std::size_t(y) * (row_bytes + 1);
        const bool undone = pixel == 3 ? unfilter<3>(row[0], row + 1, above, row_bytes)
                                       : unfilter<4>(row[0], row + 1, above, row_bytes);
        if (!undone) return QImage();
        above = row + 1;
        auto* out = reinterpret_cast<QRgb*>(cell.scanLine(top + static_cast<int>(y))) + left;
        const unsigned char* in = row + 1;
        if (pixel == 3) {
            for (std::uint32_t x = 0; x < width; ++x, in += 3) out[x] = qRgb(in[0], in[1], in[2]);
        } else {
            for (std::uint32_t x = 0; x < width; ++x, in += 4) out[x] = qPremultiply(qRgba(in[0], in[1], in[2], in[3]));
        }
    }
    cell.setDevicePixelRatio(ratio);
    return cell;
}

}  // namespace

QImage thumbnail_cell(const QByteArray& data, int side, qreal ratio)
{
    static constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (side <= 0 || !data.startsWith(QByteArray::fromRawData(kSignature, 8))) return {};
    if (std::optional<QImage> plain = read_plain(data, side, ratio)) return *std::move(plain);
    // Any other kind (palette, grey, 16-bit, interlaced, a colour key) is
    // Qt's to read; a larger picture is then fitted.
    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kLargestSide || size.height() > kLargestSide) return {};
    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) return {};
    if (picture.width() > side || picture.height() > side)
        picture = picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage cell(side, side, QImage::Format_ARGB32_Premultiplied);
    if (cell.isNull()) return {};
    cell.fill(Qt::transparent);
    QPainter painter(&cell);
    painter.drawImage((side - picture.width()) / 2, (side - picture.height()) / 2, picture);
    painter.end();
    cell.setDevicePixelRatio(ratio);
    return cell;
}

}  // namespace gfx24
