// PNG module, writing: each record kind keeps its kind: bilevel, palette or RGB.
#include "zarnpng.h"

#include "checked.h"
#include "progress.h"
#include "record.h"
#include "write_path.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <png.h>
#include <zlib.h>

namespace zarn::png {
namespace {

void fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

struct PngWrite {
    png_structp png = nullptr;
    png_infop info = nullptr;
};

bool black_and_white(const PicImage* pic)
{
    static constexpr unsigned char kBlackWhite[6] = {0, 0, 0, 255, 255, 255};
    return std::memcmp(pic->palette, kBlackWhite, sizeof kBlackWhite) == 0;
}

// A palette image's PLTE covers `colours` and every index the pixels use,
// so no index points past it.
int palette_size(const PicImage* pic)
{
    const std::size_t bytes = std::size_t(pic->width) * std::size_t(pic->height);
    const unsigned char highest = bytes ? *std::max_element(pic->pixels, pic->pixels + bytes) : 0;
    return std::clamp(std::max(pic->colours, int(highest) + 1), 1, 256);
}

int depth_for(int entries)
{
    return entries <= 2 ? 1 : entries <= 4 ? 2 : entries <= 16 ? 4 : 8;
}

// Bytes deflate makes of `data` at libpng's level with `strategy`; the
// largest size_t when it fails.
std::size_t deflated_size(const std::vector<unsigned char>& data, int strategy)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, strategy) != Z_OK) return SIZE_MAX;
    std::vector<unsigned char> out(deflateBound(&stream, uLong(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    const std::size_t size = stream.total_out;
    deflateEnd(&stream);
    return done ? size : SIZE_MAX;
}

unsigned char paeth(int left, int up, int up_left)
{
    const int estimate = left + up - up_left;
    const int to_left = std::abs(estimate - left), to_up = std::abs(estimate - up),
              to_up_left = std::abs(estimate - up_left);
    if (to_left <= to_up && to_left <= to_up_left) return static_cast<unsigned char>(left);
    return static_cast<unsigned char>(to_up <= to_up_left ? up : up_left);
}

// The deflate strategy for a 24-bit picture's rows. libpng's default,
// matching strings, spends most of a photograph's time looking for matches
// that grain and noise leave few of; there, coding the filtered bytes alone
// (or runs of them) is both smaller and several times faster. Sixteen bands
// of four rows, Paeth-filtered as libpng mostly filters such rows, are
// compressed each way, and the smallest wins; a tie keeps the default.
int strategy_for(const PicImage* pic)
{
    constexpr std::size_t kBands = 16, kRowsPerBand = 4;
    const auto height = std::size_t(pic->height);
    const std::size_t stride = 3 * std::size_t(pic->width);
    if (height < kBands * kRowsPerBand || stride * kBands * kRowsPerBand < (std::size_t(1) << 16)) return Z_FILTERED;
    std::vector<unsigned char> sample;
    sample.reserve(kBands * kRowsPerBand * (stride + 1));
    for (std::size_t band = 0; band < kBands; ++band) {
        const std::size_t top = band * (height - kRowsPerBand) / (kBands - 1);
        for (std::size_t y = top; y < top + kRowsPerBand; ++y) {
            const unsigned char* row = pic->pixels + y * stride;
            const unsigned char* above = y > 0 ? row - stride : nullptr;
            sample.push_back(4);  // Paeth
            for (std::size_t i = 0; i < stride; ++i) {
                const int left = i >= 3 ? row[i - 3] : 0;
                const int up = above ? above[i] : 0;
                const int up_left = above && i >= 3 ? above[i - 3] : 0;
                sample.push_back(static_cast<unsigned char>(row[i] - paeth(left, up, up_left)));
            }
        }
    }
    int best = Z_FILTERED;
    std::size_t smallest = deflated_size(sample, Z_FILTERED);
    for (const int strategy : {Z_RLE, Z_HUFFMAN_ONLY}) {
        const std::size_t size = deflated_size(sample, strategy);
        if (size < smallest) {
            smallest = size;
            best = strategy;
        }
    }
    return best;
}

// What a write adds to the plain picture: text entries before the pixels,
// a zlib level (-1 libpng's own) and the row filters (0 libpng's own choice).
struct Extras {
    png_text* texts = nullptr;
    int text_count = 0;
    int level = -1;
    int filters = 0;
};

// Holds the setjmp; it keeps no object with a destructor.
bool encode(PngWrite& job, std::FILE* stream, PicImage* pic, int strategy, const Extras& extras = {})
{
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_structp png = job.png;
    png_infop info = job.info;
    png_init_io(png, stream);
    if (extras.level >= 0) png_set_compression_level(png, extras.level);
    if (extras.filters != 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, extras.filters);
    if (extras.text_count > 0) png_set_text(png, info, extras.texts, extras.text_count);
    const auto width = png_uint_32(pic->width);
    const auto height = png_uint_32(pic->height);

    png_color entries[256];
    int entry_count = 0;
    if (pic->bits == 24) {
        png_set_compression_strategy(png, strategy);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
    } else if (pic->bits == 1 && black_and_white(pic)) {
        png_set_IHDR(png, info, width, height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
    } else {
        entry_count = pic->bits == 1 ? 2 : palette_size(pic);
        const int depth = pic->bits == 1 ? 1 : depth_for(entry_count);
        png_set_IHDR(png, info, width, height, depth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        for (int i = 0; i < entry_count; ++i)
            entries[i] = {pic->palette[3 * i], pic->palette[3 * i + 1], pic->palette[3 * i + 2]};
        png_set_PLTE(png, info, entries, entry_count);
    }
    png_write_info(png, info);
    // One index a byte in the record, packed to the palette's depth in the
    // file; libpng takes this only once the header is written.
    if (entry_count > 0 && pic->bits != 1 && depth_for(entry_count) < 8) png_set_packing(png);

    const std::size_t stride = *row_bytes(pic->width, pic->bits);
    for (png_uint_32 y = 0; y < height; ++y) {
        png_write_row(png, pic->pixels + y * stride);
        report_progress(pic, std::int64_t(y) + 1, pic->height);
    }
    png_write_end(png, info);
    return true;
}

// A thumbnail is written once and read every time a folder is shown, so its
// rows are kept cheap to read: each is coded against its left neighbour only
// (undone in one pass, where libpng's usual choice, mostly Paeth, costs the
// reader as much again as inflating), at zlib's level 2: a 128-pixel photo
// deflates in a sixth of the usual level's time, and inflates within a few
// microseconds of it, 25% larger.
constexpr int kTextLevel = 2;
constexpr int kTextFilters = PNG_FILTER_SUB;

// Whether the entries can be stored as tEXt, whose keys have 1 to 79 characters.
bool valid_texts(const char* const* keys, const char* const* values, int count)
{
    if (count < 0 || count > 64 || (count > 0 && (!keys || !values))) return false;
    for (int i = 0; i < count; ++i) {
        if (!keys[i] || !values[i]) return false;
        const std::size_t length = std::strlen(keys[i]);
        if (length < 1 || length > 79) return false;
    }
    return true;
}

}  // namespace
}  // namespace zarn::png

ZARNPNG_EXPORT int _Pic_Write_PNG_Text(const char* path, PicImage* pic, const char* const* keys,
                                       const char* const* values, int count)
{
    using namespace zarn;
    if (!path || !pic || !pic->pixels) return 0;
    if (pic->bits != 1 && pic->bits != 24 && (pic->bits < 2 || pic->bits > 8)) return 0;
    if (!image_bytes(pic->width, pic->height, pic->bits) || !png::valid_texts(keys, values, count)) return 0;
    return guarded([&] {
        std::vector<png_text> texts(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < texts.size(); ++i) {
            texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
            texts[i].key = const_cast<char*>(keys[i]);
            texts[i].text = const_cast<char*>(values[i]);
            texts[i].text_length = std::strlen(values[i]);
        }
        OutputFile out(path, pic);
        if (!out) return 0;
        png::PngWrite job;
        job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png::fail, png::ignore_warning);
        if (!job.png) return 0;
        job.info = png_create_info_struct(job.png);
        const png::Extras extras{texts.data(), count, png::kTextLevel, png::kTextFilters};
        const bool encoded = job.info && png::encode(job, out.get(), pic, Z_FILTERED, extras);
        png_destroy_write_struct(&job.png, &job.info);
        if (!encoded) return 0;
        return out.commit() ? 1 : 0;
    });
}

ZARNPNG_EXPORT int _Pic_Write_PNG(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic || !pic->pixels) return 0;
    if (pic->bits != 1 && pic->bits != 24 && (pic->bits < 2 || pic->bits > 8)) return 0;
    if (!image_bytes(pic->width, pic->height, pic->bits)) return 0;
    return guarded([&] {
        OutputFile out(path, pic);
        if (!out) return 0;
        png::PngWrite job;
        job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png::fail, png::ignore_warning);
        if (!job.png) return 0;
        job.info = png_create_info_struct(job.png);
        const int strategy = pic->bits == 24 ? png::strategy_for(pic) : Z_FILTERED;
        const bool encoded = job.info && png::encode(job, out.get(), pic, strategy);
        png_destroy_write_struct(&job.png, &job.info);
        if (!encoded) return 0;
        return out.commit() ? 1 : 0;
    });
}
