// PNG module, reading: libpng decodes into the record's layouts, alpha composited onto white.
#include "zarnpng.h"

#include "checked.h"
#include "progress.h"
#include "record.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

namespace zarn::png {
namespace {

constexpr png_alloc_size_t kMaxChunkBytes = 8 << 20;
constexpr png_uint_32 kMaxAncillaryChunks = 1000;
// Every ancillary chunk libpng knows, four letters and a NUL each.
constexpr png_byte kIgnoredChunks[] =
    "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0"
    "sPLT\0sRGB\0tEXt\0tIME\0zTXt";

// libpng's errors jump back to the reader; nothing reaches the terminal.
void fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

// What the record ends up holding, and what libpng is asked to deliver.
enum class Layout {
    Packed,     // 1-bit rows as they are, two palette entries
    Indexed,    // one palette index per byte
    Grey,       // 8-bit grey through a 256-entry ramp
    GreyAlpha,  // grey and alpha, composited into Grey
    Rgb,        // red, green, blue
    RgbAlpha,   // red, green, blue, alpha, composited into Rgb
};

struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PixelBlock pixels;
    std::vector<png_byte> row;  // one decoded row with its alpha
};

// Composites `width` pixels of `channels` colour samples plus alpha onto
// white. `out` may be `in` itself: each pixel is read before it is written,
// and output never runs ahead of input.
void composite_row(const png_byte* in, png_byte* out, std::size_t width, int channels)
{
    const std::size_t step = std::size_t(channels) + 1;
    for (std::size_t x = 0; x < width; ++x) {
        const png_byte* pixel = in + x * step;
        const unsigned alpha = pixel[channels];
        for (int c = 0; c < channels; ++c)
            out[x * std::size_t(channels) + std::size_t(c)] = onto_white(pixel[c], alpha);
    }
}

bool allocate_block(PngRead& job, std::size_t bytes)
{
    job.pixels = allocate_pixels(bytes);
    return job.pixels != nullptr;
}

bool allocate_row(PngRead& job, std::size_t bytes)
{
    try {
        job.row.assign(bytes, 0);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Sets the record's kind and palette from the header and asks libpng for
// the matching row format.
Layout choose_layout(png_structp png, png_infop info, PicImage* pic)
{
    const int depth = png_get_bit_depth(png, info);
    const int colour_type = png_get_color_type(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (depth == 16) png_set_scale_16(png);
    std::memset(pic->palette, 0, sizeof pic->palette);

    if (colour_type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &entries, &count);
        png_bytep alphas = nullptr;
        int alpha_count = 0;
        if (transparency) png_get_tRNS(png, info, &alphas, &alpha_count, nullptr);
        count = std::clamp(count, 0, 256);
        for (int i = 0; i < count; ++i) {
            const unsigned alpha = i < alpha_count ? alphas[i] : 255;
            pic->palette[3 * i] = onto_white(entries[i].red, alpha);
            pic->palette[3 * i + 1] = onto_white(entries[i].green, alpha);
            pic->palette[3 * i + 2] = onto_white(entries[i].blue, alpha);
        }
        pic->bits = depth;
        pic->colours = depth == 1 ? 2 : std::max(count, 1);
        if (depth == 1) return Layout::Packed;
        if (depth < 8) png_set_packing(png);
        return Layout::Indexed;
    }
    if (colour_type == PNG_COLOR_TYPE_GRAY && depth == 1 && !transparency) {
        pic->bits = 1;
        pic->colours = 2;
        set_grey_palette(pic);
        return Layout::Packed;
    }

    pic->bits = 8;
    pic->colours = 256;
    set_grey_palette(pic);
    if (colour_type == PNG_COLOR_TYPE_GRAY) {
        if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (!transparency) return Layout::Grey;
        png_set_tRNS_to_alpha(png);
        return Layout::GreyAlpha;
    }
    if (colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) return Layout::GreyAlpha;

    pic->bits = 24;
    pic->colours = 0;
    if (colour_type == PNG_COLOR_TYPE_RGB_ALPHA) return Layout::RgbAlpha;
    if (transparency) {
        png_set_tRNS_to_alpha(png);
        return Layout::RgbAlpha;
    }
    return Layout::Rgb;
}

// Indexes past the palette (a damaged file) become entry 0, so every
// index in the record has a colour.
void clamp_indexes(png_byte* row, std::size_t width, int colours)
{
    for (std::size_t x = 0; x < width; ++x)
        if (row[x] >= colours) row[x] = 0;
}

// Holds the setjmp, so it keeps no object with a destructor and reads no
// local after the jump; all state lives in `job` and `pic`.
bool decode(PngRead& job, std::FILE* stream, PicImage* pic)
{
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_structp png = job.png;
    png_infop info = job.info;
    png_init_io(png, stream);
    // Only the header, palette, transparency and pixels matter here. The
    // other chunks are skipped unread: a text or profile chunk can claim
    // most of 2 GiB in a few bytes, which libpng would allocate up front.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, int(sizeof kIgnoredChunks / 5));
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxAncillaryChunks);
#ifdef PNG_IGNORE_ADLER32
    // Every compressed byte is already checked by its chunk's CRC; the
    // stream's own checksum over the inflated rows adds nothing but time.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const Layout layout = choose_layout(png, info, pic);
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    const int passes = interlaced ? png_set_interlace_handling(png) : 1;
    png_read_update_info(png, info);

    const auto block = image_bytes(width, height, pic->bits);
    if (!block || height > INT32_MAX || width > INT32_MAX) return false;
    const std::size_t stride = *row_bytes(width, pic->bits);
    const std::size_t decoded_stride = png_get_rowbytes(png, info);
    const bool alpha = layout == Layout::GreyAlpha || layout == Layout::RgbAlpha;
    const int colour_channels = layout == Layout::GreyAlpha ? 1 : 3;
    if (decoded_stride < stride) return false;

    // An interlaced picture with alpha is decoded whole in its wider layout
    // and composited in place afterwards; everything else goes a row at a
    // time straight into the record's rows.
    const bool whole = interlaced && alpha;
    if (whole) {
        const auto wide = checked_mul(decoded_stride, height);
        if (!wide || *wide > max_image_bytes() || !allocate_block(job, *wide)) return false;
    } else {
        if (!allocate_block(job, *block)) return false;
        if (alpha && !allocate_row(job, decoded_stride)) return false;
    }

    png_byte* const pixels = job.pixels.get();
    for (int pass = 0; pass < passes; ++pass) {
        const bool last = pass == passes - 1;
        for (png_uint_32 y = 0; y < height; ++y) {
            if (whole) {
                png_read_row(png, pixels + y * decoded_stride, nullptr);
            } else if (alpha) {
                png_read_row(png, job.row.data(), nullptr);
                composite_row(job.row.data(), pixels + y * stride, width, colour_channels);
            } else {
                png_read_row(png, pixels + y * stride, nullptr);
                if (last && layout == Layout::Indexed && pic->colours < 256)
                    clamp_indexes(pixels + y * stride, width, pic->colours);
            }
            if (last) report_progress(pic, std::int64_t(y) + 1, std::int64_t(height));
        }
    }
    if (whole)
        for (png_uint_32 y = 0; y < height; ++y)
            composite_row(pixels + y * decoded_stride, pixels + y * stride, width, colour_channels);

    pic->width = int32_t(width);
    pic->height = int32_t(height);
    if (pic->bits == 24) describe(pic, "PNG : %ldx%ld - 24bit", long(pic->width), long(pic->height));
    else describe(pic, "PNG : %ldx%ld - %ld Colours", long(pic->width), long(pic->height), long(pic->colours));
    return true;
}

}  // namespace

int read_png_stream(std::FILE* stream, PicImage* pic)
{
    PngRead job;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, ignore_warning);
    if (!job.png) return 0;
    job.info = png_create_info_struct(job.png);
    bool decoded = false;
    if (job.info) decoded = decode(job, stream, pic);
    png_destroy_read_struct(&job.png, &job.info, nullptr);
    if (!decoded) return 0;
    pic->pixels = job.pixels.release();
    return 1;
}

}  // namespace zarn::png

ZARNPNG_EXPORT int _Pic_Read_PNG(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic) return 0;
    return guarded([&] { return read_path(path, pic, png::read_png_stream); });
}
