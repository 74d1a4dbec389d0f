// Reading the orientation tag from an Exif APP1 segment, and turning pixels upright by it.
#include "exif.h"

#include "byte_reader.h"
#include "checked.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace zarn {
namespace {

constexpr std::string_view kExifHeader{"Exif\0\0", 6};
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;
constexpr std::size_t kEntryBytes = 12;

std::atomic<bool> keep_orientation{false};

// The TIFF structure's byte order, from its first two bytes.
class TiffFields {
public:
    TiffFields(std::span<const std::uint8_t> tiff, bool big_endian) : tiff_(tiff), big_endian_(big_endian) {}

    // Every read is checked against the end of the segment.
    bool fits(std::size_t at, std::size_t bytes) const { return at <= tiff_.size() && tiff_.size() - at >= bytes; }
    std::uint16_t u16(std::size_t at) const { return big_endian_ ? be16(&tiff_[at]) : le16(&tiff_[at]); }
    std::uint32_t u32(std::size_t at) const
    {
        const std::uint32_t first = u16(at), second = u16(at + 2);
        return big_endian_ ? first << 16 | second : second << 16 | first;
    }

private:
    std::span<const std::uint8_t> tiff_;
    bool big_endian_;
};

// Where output row `y` starts in the stored picture and how far apart its
// pixels lie there, both in pixels. Stored column and row of upright
// pixel (x, y), per orientation:
//   1 (x, y)  2 (w-1-x, y)  3 (w-1-x, h-1-y)  4 (x, h-1-y)
//   5 (y, x)  6 (y, h-1-x)  7 (w-1-y, h-1-x)  8 (w-1-y, x)
struct RowWalk {
    std::ptrdiff_t start;
    std::ptrdiff_t step;
};

RowWalk walk_for(int orientation, std::ptrdiff_t y, std::ptrdiff_t w, std::ptrdiff_t h)
{
    switch (orientation) {
    case 2: return {y * w + w - 1, -1};
    case 3: return {(h - 1 - y) * w + w - 1, -1};
    case 4: return {(h - 1 - y) * w, 1};
    case 5: return {y, w};
    case 6: return {(h - 1) * w + y, -w};
    case 7: return {(h - 1) * w + w - 1 - y, -w};
    case 8: return {w - 1 - y, w};
    default: return {y * w, 1};
    }
}

// Works in square tiles so that turning a picture on its side reads a few
// dozen stored rows at a time instead of one byte from every row.
template <std::size_t N>
void copy_upright(const unsigned char* in, unsigned char* out, std::size_t width, std::size_t height, int orientation)
{
    constexpr std::size_t kTile = 32;
    const bool swapped = orientation_swaps_sides(orientation);
    const std::size_t out_width = swapped ? height : width;
    const std::size_t out_height = swapped ? width : height;
    const auto w = static_cast<std::ptrdiff_t>(width), h = static_cast<std::ptrdiff_t>(height);
    for (std::size_t y0 = 0; y0 < out_height; y0 += kTile) {
        const std::size_t y1 = std::min(out_height, y0 + kTile);
        for (std::size_t x0 = 0; x0 < out_width; x0 += kTile) {
            const std::size_t x1 = std::min(out_width, x0 + kTile);
            for (std::size_t y = y0; y < y1; ++y) {
                const RowWalk walk = walk_for(orientation, static_cast<std::ptrdiff_t>(y), w, h);
                unsigned char* target = out + (y * out_width + x0) * N;
                std::ptrdiff_t source = walk.start + static_cast<std::ptrdiff_t>(x0) * walk.step;
                for (std::size_t x = x0; x < x1; ++x, target += N, source += walk.step)
                    std::memcpy(target, in + static_cast<std::size_t>(source) * N, N);
            }
        }
    }
}

}  // namespace

int exif_orientation(std::span<const std::uint8_t> segment)
{
    const std::optional<OrientationField> field = exif_orientation_field(segment);
    if (!field) return 1;
    const int value = field->big_endian ? be16(&segment[field->offset]) : le16(&segment[field->offset]);
    return value >= 1 && value <= 8 ? value : 1;
}

std::optional<OrientationField> exif_orientation_field(std::span<const std::uint8_t> segment)
{
    if (segment.size() < kExifHeader.size() || !std::equal(kExifHeader.begin(), kExifHeader.end(), segment.begin()))
        return std::nullopt;
    const std::span<const std::uint8_t> tiff = segment.subspan(kExifHeader.size());
    if (tiff.size() < 8) return std::nullopt;
    const bool big_endian = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big_endian && !(tiff[0] == 'I' && tiff[1] == 'I')) return std::nullopt;
    const TiffFields fields(tiff, big_endian);
    if (fields.u16(2) != 42) return std::nullopt;

    const std::size_t directory = fields.u32(4);
    if (!fields.fits(directory, 2)) return std::nullopt;
    const std::size_t count = fields.u16(directory);
    const std::size_t first_entry = directory + 2;
    if (!fields.fits(first_entry, count * kEntryBytes)) return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = first_entry + i * kEntryBytes;
        if (fields.u16(entry) != kOrientationTag) continue;
        // A SHORT with one value sits in the first half of the value field.
        if (fields.u16(entry + 2) != kShortType || fields.u32(entry + 4) != 1) return std::nullopt;
        return OrientationField{kExifHeader.size() + entry + 8, big_endian};
    }
    return std::nullopt;
}

PixelBlock upright_pixels(const unsigned char* pixels, std::size_t width, std::size_t height,
                          std::size_t bytes_per_pixel, int orientation)
{
    if (orientation < 2 || orientation > 8 || (bytes_per_pixel != 1 && bytes_per_pixel != 3)) return nullptr;
    const auto area = checked_mul(width, height);
    const auto bytes = area ? checked_mul(*area, bytes_per_pixel) : std::nullopt;
    if (!bytes || *bytes > max_image_bytes()) return nullptr;
    PixelBlock out = allocate_pixels(*bytes);
    if (!out) return nullptr;
    if (bytes_per_pixel == 3) copy_upright<3>(pixels, out.get(), width, height, orientation);
    else copy_upright<1>(pixels, out.get(), width, height, orientation);
    return out;
}

// Also kept in the environment, where the outside modules' own copies of
// this code find it.
void set_keep_stored_orientation(bool keep)
{
    keep_orientation.store(keep, std::memory_order_relaxed);
    if (keep) ::setenv("ZARN_KEEP_ORIENTATION", "1", 1);
    else ::unsetenv("ZARN_KEEP_ORIENTATION");
}

bool keep_stored_orientation()
{
    if (keep_orientation.load(std::memory_order_relaxed)) return true;
    const char* text = std::getenv("ZARN_KEEP_ORIENTATION");
    return text && text[0] == '1';
}

}  // namespace zarn
