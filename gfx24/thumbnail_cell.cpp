// A cached thumbnail decoded by libpng from memory straight into the grid's cell: one read of the file, no copy
// of the picture on the way, and no painter unless it must be fitted.
#include "thumbnail_cell.h"

#include <QPainter>

#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

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
