// PNG module, reading: libpng decodes into the record's layouts, alpha composited onto white, a stated colour
// space turned into sRGB.
#include "zarnpng.h"

#include "checked.h"
#include "colour_profile.h"
#include "progress.h"
#include "record.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

namespace zarn::png {
namespace {

constexpr png_alloc_size_t kMaxChunkBytes = 8 << 20;
// Only cICP is ever kept among the chunks libpng does not know; a file
// repeating it has the first two held, no more.
constexpr png_uint_32 kMaxAncillaryChunks = 3;
constexpr png_byte kCicp[] = "cICP";
// Every ancillary chunk libpng knows but the colour space's, four letters and a NUL each.
constexpr png_byte kIgnoredChunks[] = "bKGD\0eXIf\0hIST\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0tEXt\0tIME\0zTXt";

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
    // The colour space the file states, as libpng accepted it.
    bool srgb = false;
    std::vector<png_byte> icc;
    bool has_chromaticities = false;
    Chromaticities chromaticities{};
    double file_gamma = 0;                      // gAMA's encoding exponent (0.45455), 0 without one
    int cicp_primaries = 0, cicp_transfer = 0;  // cICP's codes for full-range RGB, 0 without one
};

// Keeps the colour chunks read with the header. libpng has checked them
// already: a profile it found broken or of the wrong kind is not there.
void note_colour_space(PngRead& job)
{
    png_structp png = job.png;
    png_infop info = job.info;
    job.srgb = png_get_valid(png, info, PNG_INFO_sRGB) != 0;
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) && profile && length > 0)
        job.icc.assign(profile, profile + length);
    Chromaticities& c = job.chromaticities;
    job.has_chromaticities = png_get_cHRM(png, info, &c.white_x, &c.white_y, &c.red_x, &c.red_y, &c.green_x, &c.green_y,
                                          &c.blue_x, &c.blue_y) != 0;
    if (!png_get_gAMA(png, info, &job.file_gamma)) job.file_gamma = 0;
    png_unknown_chunkp chunks = nullptr;
    const int count = png_get_unknown_chunks(png, info, &chunks);
    for (int i = 0; i < count && chunks; ++i) {
        const png_unknown_chunk& chunk = chunks[i];
        if (std::memcmp(chunk.name, kCicp, 4) != 0 || chunk.size != 4 || !chunk.data) continue;
        // Matrix 0 is RGB as stored; narrow-range samples are not ours.
        if (chunk.data[2] == 0 && chunk.data[3] == 1) {
            job.cicp_primaries = chunk.data[0];
            job.cicp_transfer = chunk.data[1];
        }
        break;
    }
}

bool same_space(const Chromaticities& a, const Chromaticities& b)
{
    const double pairs[8][2] = {{a.white_x, b.white_x}, {a.white_y, b.white_y}, {a.red_x, b.red_x},
                                {a.red_y, b.red_y},     {a.green_x, b.green_x}, {a.green_y, b.green_y},
                                {a.blue_x, b.blue_x},   {a.blue_y, b.blue_y}};
    return std::ranges::all_of(pairs, [](const double(&pair)[2]) { return std::abs(pair[0] - pair[1]) <= 0.002; });
}

// A profile for cHRM with gAMA, named after the space whose primaries they
// are. sRGB's primaries with a gamma of about 2.2 are how many writers say
// sRGB, and are read as sRGB. gAMA without cHRM (or cHRM without gAMA)
// says too little, and is left alone.
std::vector<std::uint8_t> profile_from_chunks(const PngRead& job)
{
    if (!job.has_chromaticities || !(job.file_gamma > 0)) return {};
    constexpr double kD65x = 0.3127, kD65y = 0.3290;
    const double gamma = 1.0 / job.file_gamma;
    const Chromaticities srgb{kD65x, kD65y, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    if (same_space(job.chromaticities, srgb) && std::abs(gamma - 2.2) < 0.02) return {};
    struct Known {
        Chromaticities space;
        const char* name;
    };
    static constexpr Known kKnown[] = {
        {{kD65x, kD65y, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06}, "Adobe RGB (1998)"},
        {{kD65x, kD65y, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060}, "Display P3"},
        {{kD65x, kD65y, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046}, "BT.2020"},
    };
    const char* name = "cHRM";
    for (const Known& known : kKnown)
        if (same_space(job.chromaticities, known.space)) name = known.name;
    return profile_from_gamma(job.chromaticities, gamma, name);
}

// The file's colour space into sRGB, the description saying which it was.
// cICP comes first, when it names a space we can build (sRGB's codes are
// sRGB); then an sRGB chunk; then a profile; then cHRM and gAMA.
void convert_colours(const PngRead& job, PicImage* pic)
{
    if (keep_stored_colours()) return;
    if (job.cicp_primaries) {
        const std::vector<std::uint8_t> coded = profile_from_cicp(job.cicp_primaries, job.cicp_transfer);
        if (!coded.empty()) {
            describe_colours(pic, convert_record_to_srgb(pic, coded));
            return;
        }
        const bool srgb_primaries = job.cicp_primaries == 1 || job.cicp_primaries == 2;
        if (srgb_primaries && (job.cicp_transfer == 2 || job.cicp_transfer == 13)) return;
    }
    if (job.srgb) return;
    const std::vector<std::uint8_t> built = job.icc.empty() ? profile_from_chunks(job) : std::vector<std::uint8_t>{};
    const std::span<const std::uint8_t> icc =
        job.icc.empty() ? std::span<const std::uint8_t>(built) : std::span<const std::uint8_t>(job.icc);
    describe_colours(pic, convert_record_to_srgb(pic, icc));
}

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
    // Only the header, palette, transparency, colour space and pixels
    // matter here. The other chunks are skipped unread: a text chunk can
    // claim most of 2 GiB in a few bytes, which libpng would allocate up
    // front; a profile is held to the chunk limit below.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, int(sizeof kIgnoredChunks / 5));
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kCicp, 1);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, kMaxAncillaryChunks);
#ifdef PNG_IGNORE_ADLER32
    // Every compressed byte is already checked by its chunk's CRC; the
    // stream's own checksum over the inflated rows adds nothing but time.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    note_colour_space(job);
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
    convert_colours(job, pic);
    return 1;
}

}  // namespace zarn::png

ZARNPNG_EXPORT int _Pic_Read_PNG(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic) return 0;
    return guarded([&] { return read_path(path, pic, png::read_png_stream); });
}
