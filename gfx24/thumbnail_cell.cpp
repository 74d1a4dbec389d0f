// A cached thumbnail decoded by libpng from memory straight into the grid's cell: one read of the file, no copy
// of the picture on the way, and no painter unless it must be fitted.
#include "thumbnail_cell.h"

#include <QPainter>

#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <png.h>
#include <zlib.h>

namespace gfx24 {
namespace {

// The cache's largest size is 1024; a bigger entry is no thumbnail.
constexpr png_uint_32 kLargestSide = 2048;
constexpr png_alloc_size_t kMaxChunkBytes = 1 << 20;
// Chunks a cell has no use for, four letters and a NUL each: the cache's
// own entries, read already, and the colour space's, which the grid leaves.
constexpr png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0eXIf\0iCCP\0tIME\0pHYs";
constexpr unsigned kSkippedChunkCount = 7;

void fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

struct Source {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
};

// Never past the end: a file cut short is a damaged one.
void read_bytes(png_structp png, png_bytep out, png_size_t length)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->size - source->at) png_error(png, "truncated");
    std::memcpy(out, source->data + source->at, length);
    source->at += length;
}

struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngRead(const PngRead&) = delete;
    PngRead& operator=(const PngRead&) = delete;
    PngRead() = default;
    ~PngRead() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct Header {
    png_uint_32 width = 0, height = 0;
    bool alpha = false;
};

// Asks libpng for 8-bit ARGB32 pixels in the machine's order whatever the
// file holds. Holds the setjmp; it keeps no object with a destructor.
bool read_header(png_structp png, png_infop info, Header& header)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    int depth = 0, colour = 0;
    png_get_IHDR(png, info, &header.width, &header.height, &depth, &colour, nullptr, nullptr, nullptr);
    header.alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
#else
    png_set_swap_alpha(png);
    png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
#endif
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == std::size_t(header.width) * 4;
}

// Holds the setjmp; it keeps no object with a destructor.
bool read_rows(png_structp png, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    return true;
}

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
// its place. Nothing for any other file, which libpng reads; a null image
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
            return std::nullopt;  // a colour key, or a critical chunk libpng will judge
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

void premultiply(QImage& picture, int left, int top, int width, int height)
{
    for (int y = top; y < top + height; ++y) {
        auto* pixel = reinterpret_cast<QRgb*>(picture.scanLine(y)) + left;
        for (int x = 0; x < width; ++x) pixel[x] = qPremultiply(pixel[x]);
    }
}

}  // namespace

QImage thumbnail_cell(const QByteArray& data, int side, qreal ratio)
{
    const auto* bytes = reinterpret_cast<png_const_bytep>(data.constData());
    if (side <= 0 || data.size() < 8 || png_sig_cmp(bytes, 0, 8) != 0) return {};
    if (std::optional<QImage> plain = read_plain(data, side, ratio)) return *std::move(plain);
    PngRead job;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, ignore_warning);
    if (!job.png) return {};
    job.info = png_create_info_struct(job.png);
    if (!job.info) return {};
    png_set_user_limits(job.png, kLargestSide, kLargestSide);
    png_set_chunk_malloc_max(job.png, kMaxChunkBytes);
    png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);
#ifdef PNG_IGNORE_ADLER32
    // The chunks' own checksums still guard the data.
    png_set_option(job.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    Source source{reinterpret_cast<const unsigned char*>(data.constData()), std::size_t(data.size()), 0};
    png_set_read_fn(job.png, &source, read_bytes);

    Header header;
    if (!read_header(job.png, job.info, header) || header.width == 0 || header.height == 0) return {};
    const auto width = static_cast<int>(header.width), height = static_cast<int>(header.height);
    const bool fits = width <= side && height <= side;
    // A picture that fits is decoded into its place in the cell; a larger
    // one on its own, then fitted.
    QImage picture = fits ? QImage(side, side, QImage::Format_ARGB32_Premultiplied)
                          : QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull()) return {};
    const int left = fits ? (side - width) / 2 : 0, top = fits ? (side - height) / 2 : 0;
    if (fits) picture.fill(Qt::transparent);
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) rows[std::size_t(y)] = picture.scanLine(top + y) + 4 * left;
    if (!read_rows(job.png, rows.data())) return {};
    if (header.alpha) premultiply(picture, left, top, width, height);
    if (!fits) {
        const QImage fitted = picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        picture = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
        if (picture.isNull()) return {};
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.drawImage((side - fitted.width()) / 2, (side - fitted.height()) / 2, fitted);
    }
    picture.setDevicePixelRatio(ratio);
    return picture;
}

}  // namespace gfx24
