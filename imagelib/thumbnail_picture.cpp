// A thumbnail's pixels: JPEG decoded scaled down, a RAW's embedded preview, anything else read whole; then area
// averaged.
#include "thumbnail_picture.h"

#include "checked.h"
#include "codecs.h"
#include "colour_profile.h"
#include "exif.h"
#include "jpeg_eighth.h"
#include "operations.h"
#include "record.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace zarn {
namespace {

constexpr int kJpegCode = 4;
constexpr int kPhotoCdCode = 5;
constexpr int kRawCode = 16;
constexpr int kMaxMarkers = 4096;

// For each source index along one axis of a reduction, the first result
// index it falls in and its share of that result and of the next one. A
// result spans at least one source pixel, so no source pixel touches more
// than two results.
struct Share {
    std::size_t into = 0;
    float first = 0, second = 0;
};

std::vector<Share> axis_shares(std::int64_t source, std::int64_t target)
{
    // In units of 1/target of a source pixel, result o covers
    // [o*source, (o+1)*source) and source pixel i covers [i*target, (i+1)*target).
    std::vector<Share> shares(static_cast<std::size_t>(source));
    const float unit = 1.0f / static_cast<float>(source);
    for (std::int64_t i = 0; i < source; ++i) {
        const std::int64_t from = i * target, to = from + target;
        const std::int64_t into = from / source;
        const std::int64_t split = std::min(to, (into + 1) * source);
        Share& share = shares[static_cast<std::size_t>(i)];
        share.into = static_cast<std::size_t>(into);
        share.first = static_cast<float>(split - from) * unit;
        share.second = into + 1 < target ? static_cast<float>(to - split) * unit : 0.0f;
    }
    return shares;
}

bool is_frame_marker(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

constexpr std::array<std::uint8_t, 6> kExifHeader = {'E', 'x', 'i', 'f', 0, 0};

bool drop(PicImage* pic)
{
    std::free(pic->pixels);
    pic->pixels = nullptr;
    return false;
}

// Whether the record is near black outside the rectangle. The rows and
// columns next to it are left out: compression rings there.
bool dark_outside(const PicImage* pic, int left, int top, int width, int height)
{
    constexpr int kDark = 24, kMargin = 2;
    std::vector<unsigned char> rgb(3 * std::size_t(pic->width));
    std::uint64_t sum = 0, count = 0;
    for (int y = 0; y < pic->height; ++y) {
        record_rgb_row(pic, std::size_t(y), rgb.data());
        const bool band_row = y < top - kMargin || y >= top + height + kMargin;
        for (int x = 0; x < pic->width; ++x) {
            if (!band_row && x >= left - kMargin && x < left + width + kMargin) continue;
            const unsigned char* pixel = rgb.data() + 3 * std::size_t(x);
            sum += std::uint64_t(pixel[0]) + pixel[1] + pixel[2];
            count += 3;
        }
    }
    return count > 0 && sum <= std::uint64_t(kDark) * count;
}

// The whole file, read in one call into a block left uninitialised (a
// photograph's megabytes need not be cleared first); empty when it cannot be.
struct FileBytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
};

FileBytes file_bytes(const char* path)
{
    FileBytes bytes;
    FilePtr stream{std::fopen(path, "rb")};
    if (!stream || std::fseek(stream.get(), 0, SEEK_END) != 0) return bytes;
    const long length = std::ftell(stream.get());
    if (length <= 0 || std::fseek(stream.get(), 0, SEEK_SET) != 0) return bytes;
    bytes.data.reset(new (std::nothrow) std::uint8_t[std::size_t(length)]);
    if (bytes.data && std::fread(bytes.data.get(), 1, std::size_t(length), stream.get()) == std::size_t(length))
        bytes.size = std::size_t(length);
    return bytes;
}

// The JPEG at `path` an eighth of its size from its blocks' means, in sRGB
// and upright; false when it is left to libjpeg.
bool read_jpeg_eighth_file(const char* path, const JpegHead& head, PicImage* pic)
{
    const FileBytes bytes = file_bytes(path);
    std::optional<EighthPicture> eighth = read_jpeg_eighth({bytes.data.get(), bytes.size});
    if (!eighth) return false;
    const std::size_t depth = eighth->grey ? 1 : 3;
    const int orientation = keep_stored_orientation() ? 1 : exif_orientation(head.exif);
    PixelBlock block = orientation == 1 ? std::move(eighth->pixels)
                                        : upright_pixels(eighth->pixels.get(), std::size_t(eighth->width),
                                                         std::size_t(eighth->height), depth, orientation);
    if (!block) return false;
    pic->pixels = block.release();
    pic->width = orientation_swaps_sides(orientation) ? eighth->height : eighth->width;
    pic->height = orientation_swaps_sides(orientation) ? eighth->width : eighth->height;
    pic->bits = eighth->grey ? 8 : 24;
    pic->colours = eighth->grey ? 256 : 0;
    for (int level = 0; eighth->grey && level < 256; ++level) std::memset(pic->palette + 3 * level, level, 3);
    convert_record_to_srgb(pic, eighth->icc);
    return true;
}

}  // namespace

std::optional<JpegHead> read_jpeg_head(std::FILE* stream)
{
    unsigned char start[2];
    if (std::fread(start, 1, 2, stream) != 2 || start[0] != 0xFF || start[1] != 0xD8) return std::nullopt;
    JpegHead head;
    for (int count = 0; count < kMaxMarkers; ++count) {
        int marker = 0;
        // Fill bytes (0xFF runs) may stand before a marker.
        do marker = std::fgetc(stream);
        while (marker == 0xFF);
        if (marker == EOF) return std::nullopt;
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
        if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // no frame before the data
        unsigned char length_bytes[2];
        if (std::fread(length_bytes, 1, 2, stream) != 2) return std::nullopt;
        const unsigned length = unsigned(length_bytes[0]) << 8 | length_bytes[1];
        if (length < 2) return std::nullopt;
        if (is_frame_marker(marker)) {
            unsigned char frame[5];
            if (length < 2 + sizeof frame || std::fread(frame, 1, sizeof frame, stream) != sizeof frame)
                return std::nullopt;
            head.size = {unsigned(frame[3]) << 8 | frame[4], unsigned(frame[1]) << 8 | frame[2]};
            if (head.size.width == 0 || head.size.height == 0) return std::nullopt;
            return head;
        }
        if (marker == 0xE1 && head.exif.empty()) {
            std::vector<std::uint8_t> data(length - 2);
            if (std::fread(data.data(), 1, data.size(), stream) != data.size()) return std::nullopt;
            if (data.size() >= kExifHeader.size() && std::equal(kExifHeader.begin(), kExifHeader.end(), data.begin()))
                head.exif = std::move(data);
        } else if (std::fseek(stream, long(length) - 2, SEEK_CUR) != 0) {
            return std::nullopt;
        }
        // The next byte must start a marker; anything else is not JPEG.
        if (std::fgetc(stream) != 0xFF) return std::nullopt;
    }
    return std::nullopt;
}

std::span<const std::uint8_t> exif_thumbnail(std::span<const std::uint8_t> segment)
{
    if (segment.size() < kExifHeader.size() + 8 || !std::equal(kExifHeader.begin(), kExifHeader.end(), segment.begin()))
        return {};
    const std::span<const std::uint8_t> tiff = segment.subspan(kExifHeader.size());
    const bool big_endian = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big_endian && !(tiff[0] == 'I' && tiff[1] == 'I')) return {};
    const auto number = [&](std::uint64_t at, int bytes) -> std::optional<std::uint32_t> {
        if (at + std::uint64_t(bytes) > tiff.size()) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const std::uint32_t byte = tiff[std::size_t(at) + std::size_t(big_endian ? i : bytes - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    };
    if (number(2, 2) != 42u) return {};
    const std::optional<std::uint32_t> first = number(4, 4);
    const std::optional<std::uint32_t> first_count = first ? number(*first, 2) : std::nullopt;
    const std::optional<std::uint32_t> second =
        first_count ? number(std::uint64_t(*first) + 2 + std::uint64_t(*first_count) * 12, 4) : std::nullopt;
    const std::optional<std::uint32_t> count = second && *second ? number(*second, 2) : std::nullopt;
    if (!count) return {};
    std::optional<std::uint32_t> offset, length;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const std::uint64_t entry = std::uint64_t(*second) + 2 + std::uint64_t(i) * 12;
        const std::optional<std::uint32_t> tag = number(entry, 2), type = number(entry + 2, 2);
        if (!tag || !type) return {};
        // LONG values, or a SHORT one in the value field's first half.
        const std::optional<std::uint32_t> value = *type == 3 ? number(entry + 8, 2) : number(entry + 8, 4);
        if (*tag == 0x0201) offset = value;
        if (*tag == 0x0202) length = value;
    }
    if (!offset || !length || *length < 4 || std::uint64_t(*offset) + *length > tiff.size()) return {};
    return tiff.subspan(*offset, *length);
}

bool read_embedded_thumbnail(std::span<const std::uint8_t> exif, StoredSize stored, int size, PicImage* pic)
{
    const std::span<const std::uint8_t> jpeg = exif_thumbnail(exif);
    if (jpeg.empty()) return false;
    FilePtr stream{::fmemopen(const_cast<std::uint8_t*>(jpeg.data()), jpeg.size(), "rb")};
    if (!stream || !read_jpeg_stream(stream.get(), pic, 0) || !pic->pixels) return drop(pic);
    // The part of the thumbnail the picture's aspect fills; a camera pads a
    // thumbnail of a wider or taller picture with black bands.
    const std::int64_t width = pic->width, height = pic->height;
    std::int64_t shown_width = width, shown_height = height;
    if (width * std::int64_t(stored.height) > height * std::int64_t(stored.width))
        shown_width = (height * std::int64_t(stored.width) + stored.height / 2) / stored.height;
    else shown_height = (width * std::int64_t(stored.height) + stored.width / 2) / stored.width;
    if (width - shown_width > 1 || height - shown_height > 1) {
        const int left = int((width - shown_width) / 2), top = int((height - shown_height) / 2);
        if (!dark_outside(pic, left, top, int(shown_width), int(shown_height))) return drop(pic);
        // A row or column more goes on each banded side, which the bands'
        // rounding and ringing may have reached.
        const int trim_x = shown_width < width ? 1 : 0, trim_y = shown_height < height ? 1 : 0;
        if (!crop_image(pic, left + trim_x, top + trim_y, int(shown_width) - 2 * trim_x,
                        int(shown_height) - 2 * trim_y))
            return drop(pic);
    }
    if (std::max(pic->width, pic->height) < size) return drop(pic);
    // The thumbnail is stored the way the picture is; the picture's
    // orientation turns both.
    const int orientation = keep_stored_orientation() ? 1 : exif_orientation(exif);
    if (orientation != 1) {
        PixelBlock turned = upright_pixels(pic->pixels, std::size_t(pic->width), std::size_t(pic->height),
                                           pic->bits == 24 ? 3 : 1, orientation);
        if (!turned) return drop(pic);
        std::free(pic->pixels);
        pic->pixels = turned.release();
        if (orientation_swaps_sides(orientation)) std::swap(pic->width, pic->height);
    }
    return true;
}

int jpeg_scale_for(StoredSize stored, int size)
{
    const std::uint32_t longer = std::max(stored.width, stored.height);
    const auto wanted = static_cast<std::uint32_t>(std::max(size, 1));
    // libjpeg rounds a scaled side up.
    for (const auto& [argument, denominator] : {std::pair{3, 8u}, std::pair{2, 4u}, std::pair{1, 2u}})
        if ((longer + denominator - 1) / denominator >= wanted) return argument;
    return 0;
}

bool area_reduce(PicImage* pic, int width, int height)
{
    if (!pic->pixels || width <= 0 || height <= 0 || width > pic->width || height > pic->height) return false;
    if (!row_bytes(pic->width, pic->bits)) return false;
    const auto source_width = std::size_t(pic->width), source_height = std::size_t(pic->height);
    const auto target_width = std::size_t(width), target_height = std::size_t(height);
    const std::vector<Share> across = axis_shares(pic->width, width);
    const std::vector<Share> down = axis_shares(pic->height, height);
    std::vector<float> sums(3 * target_width * target_height, 0.0f);
    std::vector<float> row_sums(3 * target_width);
    std::vector<unsigned char> rgb(3 * source_width);
    for (std::size_t y = 0; y < source_height; ++y) {
        record_rgb_row(pic, y, rgb.data());
        std::fill(row_sums.begin(), row_sums.end(), 0.0f);
        for (std::size_t x = 0; x < source_width; ++x) {
            const Share& share = across[x];
            float* into = row_sums.data() + 3 * share.into;
            const unsigned char* pixel = rgb.data() + 3 * x;
            for (std::size_t c = 0; c < 3; ++c) into[c] += share.first * float(pixel[c]);
            if (share.second > 0)
                for (std::size_t c = 0; c < 3; ++c) into[3 + c] += share.second * float(pixel[c]);
        }
        const Share& share = down[y];
        float* into = sums.data() + 3 * target_width * share.into;
        for (std::size_t i = 0; i < row_sums.size(); ++i) into[i] += share.first * row_sums[i];
        if (share.second > 0)
            for (std::size_t i = 0; i < row_sums.size(); ++i) into[row_sums.size() + i] += share.second * row_sums[i];
    }
    PixelBlock block = allocate_image(width, height, 24);
    if (!block) return false;
    for (std::size_t i = 0; i < sums.size(); ++i)
        block.get()[i] = static_cast<unsigned char>(std::clamp(std::lround(sums[i]), 0l, 255l));
    std::free(pic->pixels);
    pic->pixels = block.release();
    pic->width = width;
    pic->height = height;
    pic->bits = 24;
    pic->colours = 0;
    return true;
}

bool read_thumbnail_picture(const char* path, int size, PicImage* pic, std::int32_t& full_width,
                            std::int32_t& full_height)
{
    const int format = _Pic_Valid(path);
    bool read = false;
    if (format == kRawCode) read = _Pic_ReadPreview(path, pic, &full_width, &full_height) != 0;
    if (!read && format == kJpegCode) {
        std::optional<JpegHead> head;
        if (FilePtr stream{std::fopen(path, "rb")}) head = read_jpeg_head(stream.get());
        const bool turned = head && !keep_stored_orientation() && orientation_swaps_sides(exif_orientation(head->exif));
        if (head) {
            full_width = std::int32_t(turned ? head->size.height : head->size.width);
            full_height = std::int32_t(turned ? head->size.width : head->size.height);
            read = read_embedded_thumbnail(head->exif, head->size, size, pic);
        }
        const int scale = head ? jpeg_scale_for(head->size, size) : 0;
        if (!read && scale == 3) read = read_jpeg_eighth_file(path, *head, pic);
        if (!read) {
            read = _Pic_Read(path, pic, 0, scale) != 0;
            if (read && !head) {
                full_width = pic->width;
                full_height = pic->height;
            }
        }
    }
    if (!read && format == kPhotoCdCode) {
        // The base picture is 768 x 512; its smaller renditions are a half
        // and a quarter of that.
        const int resolution = size <= 128 ? 1 : size <= 256 ? 2 : 3;
        read = _Pic_Read(path, pic, resolution, 0) != 0;
        const int factor = resolution == 1 ? 4 : resolution == 2 ? 2 : 1;
        full_width = pic->width * factor;
        full_height = pic->height * factor;
    }
    if (!read && format != kJpegCode && format != kPhotoCdCode) {
        read = _Pic_Read(path, pic, 0, 0) != 0;
        full_width = pic->width;
        full_height = pic->height;
    }
    if (!read || pic->width <= 0 || pic->height <= 0) return false;

    const int longer = std::max(pic->width, pic->height);
    int width = pic->width, height = pic->height;
    if (longer > size) {
        const auto scaled = [&](int side) {
            return std::max(1, int(std::lround(double(side) * double(size) / double(longer))));
        };
        width = pic->width == longer ? size : scaled(pic->width);
        height = pic->height == longer ? size : scaled(pic->height);
    }
    return area_reduce(pic, width, height);
}

}  // namespace zarn
