// Colour depth changes: ordered dither, error-diffused reduction, greyscale, monochrome, expansion.
#include "channel_swap.h"
#include "checked.h"
#include "operations.h"
#include "record.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zarn {
namespace {

using Matrix = std::array<std::array<int, 16>, 16>;

// The dispersed-dot index matrix: M(1) = [0] and M(2n) holds 4M(n), 4M(n)+2,
// 4M(n)+3, 4M(n)+1 in its top-left, top-right, bottom-left and bottom-right
// quadrants.
constexpr Matrix make_index_matrix()
{
    Matrix m{};
    for (std::size_t n = 1; n < 16; n *= 2) {
        Matrix next{};
        for (std::size_t y = 0; y < n; ++y)
            for (std::size_t x = 0; x < n; ++x) {
                const int v = 4 * m[y][x];
                next[y][x] = v;
                next[y][x + n] = v + 2;
                next[y + n][x] = v + 3;
                next[y + n][x + n] = v + 1;
            }
        m = next;
    }
    return m;
}

// Signed offsets added before the channels are cut to their levels; the
// columns of each pair trade places, so each row starts on the matrix's
// second column.
constexpr Matrix make_dither_matrix()
{
    const Matrix index = make_index_matrix();
    Matrix d{};
    for (std::size_t y = 0; y < 16; ++y)
        for (std::size_t x = 0; x < 16; ++x) d[y][x] = 256 * index[y][x ^ 1] - 32767;
    return d;
}

constexpr Matrix kDither = make_dither_matrix();

constexpr bool rows_match(int y, std::array<int, 16> expected)
{
    for (std::size_t x = 0; x < 16; ++x)
        if (kDither[std::size_t(y)][x] != 256 * expected[x] - 32767) return false;
    return true;
}
constexpr bool offsets_each_once()
{
    std::array<bool, 256> seen{};
    for (const auto& row : kDither)
        for (int t : row) {
            const int step = (t + 32767) / 256;
            if ((t + 32767) % 256 || step < 0 || step > 255 || seen[std::size_t(step)]) return false;
            seen[std::size_t(step)] = true;
        }
    return true;
}
static_assert(rows_match(0, {128, 0, 160, 32, 136, 8, 168, 40, 130, 2, 162, 34, 138, 10, 170, 42}));
static_assert(rows_match(1, {64, 192, 96, 224, 72, 200, 104, 232, 66, 194, 98, 226, 74, 202, 106, 234}));
static_assert(offsets_each_once());

constexpr std::array<std::uint8_t, 5> kRedBlueLevels{16, 80, 144, 208, 255};
constexpr std::array<std::uint8_t, 9> kGreenLevels{8, 40, 72, 104, 136, 168, 200, 232, 255};

// Added to grey values before the threshold of the monochrome dither.
constexpr std::array<int, 16> kMonoNoise{-48, 0, -64, 48, -16, 16, -32, 48, -32, 48, -48, 16, 0, 64, -16, 32};

constexpr int kCubeCells = 16 * 32 * 16;
constexpr std::int16_t kAbsent = -1;
constexpr std::int16_t kPresent = -2;

thread_local std::uint32_t random_seed = 1;

std::size_t pixel_count(const PicImage* pic)
{
    return static_cast<std::size_t>(pic->width) * static_cast<std::size_t>(pic->height);
}

// Channels quantised to 4, 5 and 4 bits: the cube cell of a pixel.
inline int cube_index(const unsigned char* rgb)
{
    return (rgb[0] >> 4) * 512 + (rgb[1] >> 3) * 16 + (rgb[2] >> 4);
}

// The first of the 256 entries closest to (r, g, b). Distances of 100000 or
// more never win, so a colour that far from every entry gets entry 0.
int nearest_entry(const unsigned char* palette, int r, int g, int b)
{
    int best = 100000, best_index = 0;
    for (int i = 0; i < 256; ++i) {
        const int dr = palette[3 * i] - r, dg = palette[3 * i + 1] - g, db = palette[3 * i + 2] - b;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
            best = distance;
            best_index = i;
        }
    }
    return best_index;
}

inline void add_saturating(unsigned char& value, unsigned amount)
{
    value = clamp_channel(value + amount);
}

// Keeps the reducer's cube in the record for as long as the reduction runs.
class ColourTableScope {
public:
    ColourTableScope(PicImage* pic, void* table) : pic_(pic) { pic_->colour_table = table; }
    ~ColourTableScope() { pic_->colour_table = nullptr; }
    ColourTableScope(const ColourTableScope&) = delete;
    ColourTableScope& operator=(const ColourTableScope&) = delete;

private:
    PicImage* pic_;
};

struct CubeFreer {
    void operator()(std::int16_t* p) const { std::free(p); }
};
using CubeBlock = std::unique_ptr<std::int16_t, CubeFreer>;

// Gives palette entries to the colours of the pixels at byte offsets 0, s,
// 2s, ... that have none yet, counting on from `assigned`; stops once all
// 256 entries are taken.
void sample_palette(PicImage* pic, std::int16_t* cube, std::size_t stride, int& assigned)
{
    const std::size_t total = 3 * pixel_count(pic);
    for (std::size_t offset = 0; offset < total; offset += stride) {
        const unsigned char* rgb = pic->pixels + offset;
        std::int16_t& cell = cube[cube_index(rgb)];
        if (cell >= 0) continue;
        cell = static_cast<std::int16_t>(assigned);
        unsigned char* entry = pic->palette + 3 * assigned;
        entry[0] = static_cast<unsigned char>(rgb[0] >> 4 << 4);
        entry[1] = static_cast<unsigned char>(rgb[1] >> 3 << 3);
        entry[2] = static_cast<unsigned char>(rgb[2] >> 4 << 4);
        if (++assigned > 255) return;
    }
}

}  // namespace

int library_rand()
{
    random_seed = random_seed * 22695477u + 1u;
    return static_cast<int>((random_seed >> 16) & 32767u);
}

bool ordered_dither(PicImage* pic)
{
    if (!takes(pic, kTrueColourKind) || !pixel_block_bytes(pic)) return false;
    const auto width = static_cast<std::size_t>(pic->width);
    const auto height = static_cast<std::size_t>(pic->height);
    PixelBlock out = allocate_pixels(width * height);
    if (!out) return false;

    const unsigned char* in = pic->pixels;
    unsigned char* index = out.get();
    for (std::size_t y = 0; y < height; ++y) {
        report_progress(pic, std::int64_t(y), pic->height);
        const auto& offsets = kDither[y % 16];
        for (std::size_t x = 0; x < width; ++x, in += 3) {
            const int t = offsets[x % 16];
            // Sums never fall below -32767, so the division truncating
            // toward zero gives 0 there, never -1.
            const int r = (in[0] * 1024 + t) / 65536;
            const int g = (in[1] * 2048 + t) / 65536;
            const int b = (in[2] * 1024 + t) / 65536;
            *index++ = clamp_channel((r * 9 + g) * 5 + b);
        }
    }

    replace_pixels(pic, std::move(out));
    for (int r = 0; r < 5; ++r)
        for (int g = 0; g < 9; ++g)
            for (int b = 0; b < 5; ++b) {
                unsigned char* entry = pic->palette + 3 * ((r * 9 + g) * 5 + b);
                entry[0] = kRedBlueLevels[std::size_t(r)];
                entry[1] = kGreenLevels[std::size_t(g)];
                entry[2] = kRedBlueLevels[std::size_t(b)];
            }
    pic->bits = 8;
    pic->colours = 256;
    return true;
}

// The low bits the quantiser will drop (4 of red and blue, 3 of green) are
// passed on: all of it to the next pixel, half to the one below, a quarter
// below-right. The bytes run as one sequence, so the last pixel of a row
// feeds the first of the next. Every addition saturates at 255 and none is
// negative, so their order does not change the sums; what matters is that
// each byte gives its error only once it has received all of its own,
// which the row-by-row order keeps.
void diffuse_error(PicImage* pic)
{
    if (pic->bits != 24 || !pixel_block_bytes(pic)) return;
    const auto stride = 3 * static_cast<std::size_t>(pic->width);
    const std::int64_t end = std::int64_t(pic->width) * (std::int64_t(pic->height) - 1) * 3 - 6;
    if (end <= 0) return;
    const auto last = static_cast<std::size_t>(end);
    unsigned char* v = pic->pixels;

    for (std::size_t row = 0; row < last; row += stride) {
        const std::size_t row_end = std::min(row + stride, last);
        // Along the row the running values stay in registers: each pixel
        // is final once its left neighbour has given its error.
        unsigned red = v[row], green = v[row + 1], blue = v[row + 2];
        for (std::size_t p = row; p < row_end; p += 3) {
            red = std::min(255u, v[p + 3] + (red & 15u));
            green = std::min(255u, v[p + 4] + (green & 7u));
            blue = std::min(255u, v[p + 5] + (blue & 15u));
            v[p + 3] = static_cast<unsigned char>(red);
            v[p + 4] = static_cast<unsigned char>(green);
            v[p + 5] = static_cast<unsigned char>(blue);
        }
        for (std::size_t p = row; p < row_end; p += 3) {
            const unsigned e[3] = {v[p] & 15u, v[p + 1] & 7u, v[p + 2] & 15u};
            for (std::size_t c = 0; c < 3; ++c) {
                add_saturating(v[p + stride + c], e[c] >> 1);
                add_saturating(v[p + stride + 3 + c], e[c] >> 2);
            }
        }
    }
}

bool reduce_diffused(PicImage* pic)
{
    pic->colour_table = nullptr;
    if (!takes(pic, kTrueColourKind) || !pixel_block_bytes(pic)) return false;
    const std::size_t count = pixel_count(pic);
    // Both blocks first: once the error pass has run there is no way back.
    PixelBlock out = allocate_pixels(count);
    CubeBlock cube(static_cast<std::int16_t*>(std::malloc(kCubeCells * sizeof(std::int16_t))));
    if (!out || !cube) return false;
    ColourTableScope table_scope(pic, cube.get());
    std::int16_t* cells = cube.get();

    report_progress(pic, 15, 100);
    diffuse_error(pic);

    // The pixels keep their full values; every step below looks only at the
    // quantised colour, so the cut to 4-5-4 bits happens in cube_index().
    report_progress(pic, 30, 100);
    std::fill_n(cells, kCubeCells, kAbsent);
    int distinct = 0;
    const unsigned char* rgb = pic->pixels;
    for (std::size_t i = 0; i < count; ++i, rgb += 3) {
        std::int16_t& cell = cells[cube_index(rgb)];
        if (cell == kAbsent) {
            cell = kPresent;
            ++distinct;
        }
    }

    // Coarse strides first, so colours spread over the whole picture take
    // entries before a full scan hands the rest out in reading order.
    report_progress(pic, 45, 100);
    const int target = std::min(distinct, 255);
    int assigned = 0;
    const std::size_t total = 3 * count;
    std::size_t stride = total / 128 + 12345;
    for (;;) {
        stride /= 2;
        if (stride < 64) break;
        stride = (stride / 3 + 3) * 3;
        sample_palette(pic, cells, stride, assigned);
        if (assigned >= target) break;
    }
    if (assigned < target) sample_palette(pic, cells, 3, assigned);

    // Colours left without an entry take the nearest one. Absent colours
    // are never looked up, so they need no entry.
    report_progress(pic, 60, 100);
    for (int r = 0; r < 16; ++r)
        for (int g = 0; g < 32; ++g)
            for (int b = 0; b < 16; ++b) {
                std::int16_t& cell = cells[r * 512 + g * 16 + b];
                if (cell == kPresent)
                    cell = static_cast<std::int16_t>(nearest_entry(pic->palette, r * 16, g * 8, b * 16));
            }

    report_progress(pic, 80, 100);
    unsigned char* index = out.get();
    rgb = pic->pixels;
    for (std::size_t i = 0; i < count; ++i, rgb += 3) index[i] = static_cast<unsigned char>(cells[cube_index(rgb)]);

    report_progress(pic, 100, 100);
    replace_pixels(pic, std::move(out));
    pic->bits = 8;
    pic->colours = 256;
    return true;
}

bool reduce_to_palette(PicImage* pic, const unsigned char* palette)
{
    pic->colour_table = nullptr;
    if (!takes(pic, kTrueColourKind) || !pixel_block_bytes(pic)) return false;
    const std::size_t count = pixel_count(pic);
    PixelBlock out = allocate_pixels(count);
    if (!out) return false;  // before the error pass, so the image stays as it was

    report_progress(pic, 15, 100);
    diffuse_error(pic);
    if (palette) std::memcpy(pic->palette, palette, sizeof pic->palette);

    // Neighbouring pixels often share a colour; the last answer is kept.
    const auto width = static_cast<std::size_t>(pic->width);
    const std::int64_t total = 3 * std::int64_t(count);
    const unsigned char* rgb = pic->pixels;
    unsigned char* index = out.get();
    int last_colour = -1, last_index = 0;
    for (std::size_t i = 0; i < count; ++i, rgb += 3) {
        if (i % width == 0) report_progress(pic, 3 * std::int64_t(i), total);
        const int colour = rgb[0] << 16 | rgb[1] << 8 | rgb[2];
        if (colour != last_colour) {
            last_colour = colour;
            last_index = nearest_entry(pic->palette, rgb[0], rgb[1], rgb[2]);
        }
        index[i] = static_cast<unsigned char>(last_index);
    }

    replace_pixels(pic, std::move(out));
    pic->bits = 8;
    pic->colours = 256;
    return true;
}

bool make_grey(PicImage* pic)
{
    const int bits = pic->bits;
    if (!takes(pic, kGreyKinds) || !pixel_block_bytes(pic)) return false;
    const auto width = static_cast<std::size_t>(pic->width);
    const auto height = static_cast<std::size_t>(pic->height);
    PixelBlock out = allocate_pixels(width * height);
    if (!out) return false;

    std::array<unsigned char, 256> palette_grey{};
    for (std::size_t i = 0; i < 256; ++i) {
        const unsigned char* entry = pic->palette + 3 * i;
        palette_grey[i] = clamp_channel((30 * entry[0] + 59 * entry[1] + 11 * entry[2]) / 100);
    }
    const unsigned char* in = pic->pixels;
    unsigned char* grey = out.get();
    for (std::size_t y = 0; y < height; ++y) {
        report_progress(pic, std::int64_t(y), pic->height);
        if (bits == 24) {
            grey_row(in, grey, width);
            in += 3 * width;
        } else {
            for (std::size_t x = 0; x < width; ++x) grey[x] = palette_grey[*in++];
        }
        grey += width;
    }

    replace_pixels(pic, std::move(out));
    pic->colours = 256;
    pic->bits = 8;
    set_grey_palette(pic);
    return true;
}

// A set bit means dark. The noise table runs forwards on odd rows and
// backwards on even ones; the phase drifts randomly from row to row and by 6
// per group of eight, so the pattern does not line up in columns.
bool make_mono(PicImage* pic)
{
    if (!takes(pic, kMonoKinds) || !pixel_block_bytes(pic)) return false;
    const auto width = static_cast<std::size_t>(pic->width);
    const auto height = static_cast<std::size_t>(pic->height);
    const std::size_t out_row = (width + 7) / 8;
    PixelBlock out = allocate_pixels(out_row * height);
    if (!out) return false;

    std::array<int, 16> reversed{};
    for (std::size_t k = 0; k < 16; ++k) reversed[k] = kMonoNoise[15 - k];
    std::uint64_t phase = 0;
    for (std::size_t y = 0; y < height; ++y) {
        phase += static_cast<std::uint64_t>(library_rand() % 99);
        report_progress(pic, std::int64_t(y), pic->height);
        const auto& noise = (y & 1) ? kMonoNoise : reversed;
        const unsigned char* grey = pic->pixels + y * width;
        unsigned char* packed = out.get() + y * out_row;
        for (std::size_t x0 = 0; x0 < width; x0 += 8) {
            unsigned byte = 0;
            for (std::size_t j = 0; j < 8; ++j) {
                byte <<= 1;
                const std::size_t x = x0 + j;
                if (x < width && grey[x] + noise[(phase + x) % 16] < 128) byte |= 1;
            }
            *packed++ = static_cast<unsigned char>(byte);
            phase += 6;
        }
    }

    replace_pixels(pic, std::move(out));
    pic->colours = 2;
    pic->bits = 1;
    std::memset(pic->palette, 255, 3);
    std::memset(pic->palette + 3, 0, 3);
    return true;
}

bool invert_mono(PicImage* pic)
{
    const auto block = takes(pic, kInvertKinds) ? pixel_block_bytes(pic) : std::nullopt;
    if (!block) return false;
    for (std::size_t i = 0; i < *block; ++i) pic->pixels[i] = static_cast<unsigned char>(~pic->pixels[i]);
    return true;
}

bool expand_to_rgb(PicImage* pic)
{
    if (!takes(pic, kExpandKinds) || !pixel_block_bytes(pic)) return false;
    const auto width = static_cast<std::size_t>(pic->width);
    const auto height = static_cast<std::size_t>(pic->height);
    const auto block = image_bytes(pic->width, pic->height, 24);
    PixelBlock out = block ? allocate_pixels(*block) : nullptr;
    if (!out) return false;

    const unsigned char* in = pic->pixels;
    unsigned char* rgb = out.get();
    for (std::size_t y = 0; y < height; ++y) {
        report_progress(pic, std::int64_t(y), pic->height);
        for (std::size_t x = 0; x < width; ++x, rgb += 3) std::memcpy(rgb, pic->palette + 3 * *in++, 3);
    }

    pic->colours = 0;
    pic->bits = 24;
    replace_pixels(pic, std::move(out));
    return true;
}

}  // namespace zarn

using namespace zarn;

extern "C" {

ZARNGFX_EXPORT void _Pic_Dither(PicImage* pic)
{
    if (!pic) return;
    guarded([&] { return int(ordered_dither(pic)); });
}

// Images that are already 24-bit, and monochrome ones, are left as they are
// and answer with their kind; 0 means the expansion ran out of memory.
ZARNGFX_EXPORT int _Pic_RGB24(PicImage* pic)
{
    if (!pic) return 0;
    if (pic->bits == 24 || pic->bits < 4) return pic->bits;
    return guarded([&] { return expand_to_rgb(pic) ? pic->bits : 0; });
}

}  // extern "C"
