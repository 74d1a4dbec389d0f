// Geometry: quarter turn, crop, shear rotation, resize, and the BMP-to-BMP file wrapper.
#include "checked.h"
#include "codecs.h"
#include "operations.h"
#include "record.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace zarn {
namespace {

std::size_t pixel_bytes(int bits)
{
    return bits == 24 ? 3 : 1;
}

// Turns the picture in square tiles: the rows of one tile of the source stay
// in cache while the tile's columns become rows of the result, so neither
// side is walked with a stride of a whole row per byte. Tiles are small
// because rows of a power-of-two length all fall in the same cache sets.
template <std::size_t N>
void turn_clockwise(const PicImage* pic, unsigned char* out)
{
    constexpr std::size_t kTile = 16;
    const auto width = static_cast<std::size_t>(pic->width);
    const auto height = static_cast<std::size_t>(pic->height);
    const unsigned char* in = pic->pixels;
    for (std::size_t i0 = 0; i0 < height; i0 += kTile) {
        const std::size_t i1 = std::min(height, i0 + kTile);
        for (std::size_t i = i0; i < i1; ++i) report_progress(pic, std::int64_t(i), pic->height);
        for (std::size_t j0 = 0; j0 < width; j0 += kTile) {
            const std::size_t j1 = std::min(width, j0 + kTile);
            for (std::size_t j = j0; j < j1; ++j) {
                // Source column j, read upwards, is row j of the result.
                unsigned char* row = out + (j * height + (height - i1)) * N;
                for (std::size_t i = i1; i-- > i0; row += N) std::memcpy(row, in + (i * width + j) * N, N);
            }
        }
    }
}

// Source column or row for output position `position` under the nearest
// rule: round(position × scale), kept inside the source. Positions before
// the start map to 0.
std::vector<std::size_t> nearest_map(std::int64_t from, std::int64_t to, std::int64_t source_size, double scale)
{
    std::vector<std::size_t> map;
    map.reserve(static_cast<std::size_t>(to - from));
    for (std::int64_t position = from; position < to; ++position) {
        std::int64_t source = 0;
        if (position >= 0) source = static_cast<std::int64_t>(double(position) * scale + 0.5);
        map.push_back(static_cast<std::size_t>(std::clamp<std::int64_t>(source, 0, source_size - 1)));
    }
    return map;
}

void resize_mono(const PicImage* pic, unsigned char* out, int new_width, int new_height,
                 const std::vector<std::size_t>& columns, const std::vector<std::size_t>& rows)
{
    const std::size_t in_row = (static_cast<std::size_t>(pic->width) + 7) / 8;
    const std::size_t out_row = (static_cast<std::size_t>(new_width) + 7) / 8;
    for (std::size_t y = 0; y < std::size_t(new_height); ++y) {
        report_progress(pic, std::int64_t(y), new_height);
        const unsigned char* source = pic->pixels + rows[y] * in_row;
        unsigned char* packed = out + y * out_row;
        unsigned byte = 0, gathered = 0;
        for (std::size_t x = 0; x < std::size_t(new_width); ++x) {
            const std::size_t column = columns[x];
            byte = byte << 1 | ((source[column / 8] >> (7 - column % 8)) & 1u);
            if (++gathered == 8) {
                *packed++ = static_cast<unsigned char>(byte);
                byte = gathered = 0;
            }
        }
        if (gathered) *packed = static_cast<unsigned char>(byte << (8 - gathered));
    }
}

template <std::size_t N>
void resize_nearest(const PicImage* pic, unsigned char* out, int new_width, int new_height,
                    const std::vector<std::size_t>& columns, const std::vector<std::size_t>& rows)
{
    const std::size_t in_row = static_cast<std::size_t>(pic->width) * N;
    for (std::size_t y = 0; y < std::size_t(new_height); ++y) {
        report_progress(pic, std::int64_t(y), new_height);
        const unsigned char* source = pic->pixels + rows[y] * in_row;
        for (std::size_t x = 0; x < std::size_t(new_width); ++x, out += N) std::memcpy(out, source + columns[x] * N, N);
    }
}

// Each channel is the mean of the centre sample, counted twice, and the
// four diagonal neighbours' samples: a light blur over the blocks that a
// plain enlargement would show.
void resize_smoothed(const PicImage* pic, unsigned char* out, int new_width, int new_height, double scale_x,
                     double scale_y)
{
    // Index 0 of each map is position -1, so map[k] is position k - 1.
    const auto columns = nearest_map(-1, std::int64_t(new_width) + 1, pic->width, scale_x);
    const auto rows = nearest_map(-1, std::int64_t(new_height) + 1, pic->height, scale_y);
    const std::size_t in_row = static_cast<std::size_t>(pic->width) * 3;
    for (std::size_t y = 0; y < std::size_t(new_height); ++y) {
        report_progress(pic, std::int64_t(y), new_height);
        const unsigned char* above = pic->pixels + rows[y] * in_row;
        const unsigned char* centre = pic->pixels + rows[y + 1] * in_row;
        const unsigned char* below = pic->pixels + rows[y + 2] * in_row;
        for (std::size_t x = 0; x < std::size_t(new_width); ++x) {
            const std::size_t left = columns[x] * 3, middle = columns[x + 1] * 3, right = columns[x + 2] * 3;
            for (std::size_t c = 0; c < 3; ++c) {
                const unsigned sum =
                    2u * centre[middle + c] + above[left + c] + above[right + c] + below[left + c] + below[right + c];
                *out++ = clamp_channel(sum / 6);
            }
        }
    }
}

}  // namespace

std::optional<std::size_t> pixel_block_bytes(const PicImage* pic)
{
    if (!pic->pixels) return std::nullopt;
    return image_bytes(pic->width, pic->height, pic->bits);
}

bool rotate_quarter(PicImage* pic)
{
    const int bits = pic->bits;
    if (!takes(pic, kRotateKinds)) return false;
    const auto block = pixel_block_bytes(pic);
    PixelBlock out = block ? allocate_pixels(*block) : nullptr;
    if (!out) return false;
    if (bits == 24) turn_clockwise<3>(pic, out.get());
    else turn_clockwise<1>(pic, out.get());
    std::swap(pic->width, pic->height);
    replace_pixels(pic, std::move(out));
    return true;
}

// A monochrome crop starts on the byte holding column x, so its left edge
// is column x rounded down to a multiple of 8 (the viewer's selections on
// such images are taken as they come).
bool crop_image(PicImage* pic, int x, int y, int w, int h)
{
    const int bits = pic->bits;
    if (!takes(pic, kCropKinds)) return false;
    if (x < 0 || y < 0 || w < 1 || h < 1) return false;
    if (std::int64_t(x) + w > pic->width || std::int64_t(y) + h > pic->height) return false;
    if (!pixel_block_bytes(pic)) return false;

    const std::size_t in_row = *row_bytes(pic->width, bits);
    const std::size_t out_row = *row_bytes(w, bits);
    const std::size_t left = bits == 1 ? std::size_t(x) / 8 : std::size_t(x) * pixel_bytes(bits);
    PixelBlock out = allocate_pixels(out_row * std::size_t(h));
    if (!out) return false;
    for (std::size_t row = 0; row < std::size_t(h); ++row) {
        std::memcpy(out.get() + row * out_row, pic->pixels + (std::size_t(y) + row) * in_row + left, out_row);
        report_progress(pic, std::int64_t(row), h);
    }
    pic->width = w;
    pic->height = h;
    replace_pixels(pic, std::move(out));
    return true;
}

// Turns the picture counter-clockwise by `angle` degrees with two shears and
// no interpolation: each pixel lands once where the shear puts it and once
// more on the next position of the block, which closes most of the gaps.
bool shear_rotate(PicImage* pic, double angle)
{
    const int bits = pic->bits;
    if (!takes(pic, kShearKinds)) return false;
    if (!(angle >= 0.0 && angle < 90.0)) return false;  // also refuses NaN; 90 has no finite tangent
    if (!pixel_block_bytes(pic)) return false;

    const double t = std::tan(angle * std::numbers::pi / 180.0);
    const double new_width = std::trunc(t * pic->height + pic->width);
    const double new_height = std::trunc(t * pic->width + pic->height);
    if (new_width > INT32_MAX || new_height > INT32_MAX) return false;
    const auto block = image_bytes(std::int64_t(new_width), std::int64_t(new_height), bits);
    PixelBlock out = block ? allocate_pixels(*block) : nullptr;  // zero bytes: black, or palette index 0
    if (!out) return false;

    const std::size_t n = pixel_bytes(bits);
    const auto out_width = static_cast<std::int64_t>(new_width);
    const auto out_height = static_cast<std::int64_t>(new_height);
    const std::int64_t out_pixels = out_width * out_height;
    const unsigned char* in = pic->pixels;
    for (std::int64_t i = 0; i < pic->height; ++i) {
        report_progress(pic, i, pic->height);
        const auto shift = static_cast<std::int64_t>(double(i) * t);
        for (std::int64_t j = 0; j < pic->width; ++j, in += n) {
            const auto target_y = static_cast<std::int64_t>(t * double(pic->width - j) + double(i));
            const std::int64_t target_x = j + shift;
            // Rounding in the tangent could in principle push a pixel one
            // step past the block's edge; such a pixel is dropped.
            if (target_x >= out_width || target_y >= out_height) continue;
            const std::int64_t at = target_y * out_width + target_x;
            std::memcpy(out.get() + std::size_t(at) * n, in, n);
            if (at + 1 < out_pixels) std::memcpy(out.get() + std::size_t(at + 1) * n, in, n);
        }
    }
    pic->width = static_cast<std::int32_t>(out_width);
    pic->height = static_cast<std::int32_t>(out_height);
    replace_pixels(pic, std::move(out));
    return true;
}

bool resize_image(PicImage* pic, int new_width, int new_height)
{
    const int bits = pic->bits;
    if (!takes(pic, kAnyKind)) return false;
    if (new_width < 1 || new_height < 1 || !pixel_block_bytes(pic)) return false;
    if (new_width == pic->width && new_height == pic->height) return true;
    const auto block = image_bytes(new_width, new_height, bits);
    PixelBlock out = block ? allocate_pixels(*block) : nullptr;
    if (!out) return false;

    const double scale_x = double(pic->width) / double(new_width);
    const double scale_y = double(pic->height) / double(new_height);
    if (bits == 24 && (new_width > pic->width || new_height > pic->height)) {
        resize_smoothed(pic, out.get(), new_width, new_height, scale_x, scale_y);
    } else {
        const auto columns = nearest_map(0, new_width, pic->width, scale_x);
        const auto rows = nearest_map(0, new_height, pic->height, scale_y);
        if (bits == 1) resize_mono(pic, out.get(), new_width, new_height, columns, rows);
        else if (bits == 24) resize_nearest<3>(pic, out.get(), new_width, new_height, columns, rows);
        else resize_nearest<1>(pic, out.get(), new_width, new_height, columns, rows);
    }
    pic->width = new_width;
    pic->height = new_height;
    replace_pixels(pic, std::move(out));
    return true;
}

// The answer is always the record: callers that need to know whether the
// destination was written read its header back.
PicImage* process_bmp_file(const char* source, const char* destination, PicImage* pic,
                           const std::function<void(PicImage*)>& operation)
{
    if (!pic) return nullptr;
    reset_image(pic);
    if (source && destination) {
        guarded([&] {
            if (read_bmp(source, pic)) {
                operation(pic);
                write_bmp(destination, pic);
            }
            return 1;
        });
    }
    release_image(pic);
    return pic;
}

}  // namespace zarn

using namespace zarn;

extern "C" {

ZARNGFX_EXPORT void _Pic_Rotate(PicImage* pic)
{
    if (!pic) return;
    guarded([&] { return int(rotate_quarter(pic)); });
}

// Non-zero after a crop; 0 when the rectangle was refused and nothing changed.
ZARNGFX_EXPORT int _Pic_Crop(PicImage* pic, int x, int y, int w, int h)
{
    if (!pic) return 0;
    return guarded([&] { return int(crop_image(pic, x, y, w, h)); });
}

ZARNGFX_EXPORT PicImage* _bmpcrop(const char* source, const char* destination, PicImage* pic, int x, int y, int w,
                                  int h)
{
    return process_bmp_file(source, destination, pic, [&](PicImage* image) { crop_image(image, x, y, w, h); });
}

ZARNGFX_EXPORT PicImage* _bmprotate(const char* source, const char* destination, PicImage* pic, int angle)
{
    return process_bmp_file(source, destination, pic, [&](PicImage* image) { shear_rotate(image, double(angle)); });
}

ZARNGFX_EXPORT PicImage* _bmpresize(const char* source, const char* destination, PicImage* pic, int new_width,
                                    int new_height)
{
    return process_bmp_file(source, destination, pic,
                            [&](PicImage* image) { resize_image(image, new_width, new_height); });
}

}  // extern "C"
