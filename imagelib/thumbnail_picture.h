// The reduced picture of a thumbnail: each format read the quickest way that still gives enough pixels.
#pragma once

#include "zarngfx.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>

namespace zarn {

struct StoredSize {
    std::uint32_t width = 0, height = 0;
};

// What the markers before a JPEG stream's data say: the frame size in its
// SOF marker, as stored (not turned by its orientation), and its first Exif
// APP1 segment, if any. Nothing when the markers end, break off or lie first.
struct JpegHead {
    StoredSize size;
    std::vector<std::uint8_t> exif;
};
std::optional<JpegHead> read_jpeg_head(std::FILE* stream);

// The JPEG thumbnail inside an Exif segment (its second directory's
// interchange format), bounds checked; empty when there is none.
std::span<const std::uint8_t> exif_thumbnail(std::span<const std::uint8_t> segment);

// The embedded thumbnail of a picture of `stored` size as a record that
// shows the same picture: read, its black bands taken off when the camera
// letterboxed it, its aspect checked against the picture's. False when it
// is missing, does not match, or has fewer than `size` pixels on its
// longer side; `pic` then holds nothing.
bool read_embedded_thumbnail(std::span<const std::uint8_t> exif, StoredSize stored, int size, PicImage* pic);

// The libjpeg scale argument of _Pic_Read (0 whole, 1 a half, 2 a quarter,
// 3 an eighth) that gives the fewest pixels whose longer side still has
// `size` or more.
int jpeg_scale_for(StoredSize stored, int size);

// The record, of any kind, as a 24-bit picture of `width` x `height` no
// larger than it, each pixel the mean of the area it covers. False when the
// sizes are refused or memory runs out; the record is then as it was.
bool area_reduce(PicImage* pic, int width, int height);

// The picture at `path`, upright, reduced to at most `size` pixels on its
// longer side (never enlarged), as a 24-bit record in `pic` (which the
// caller releases); the upright size of the whole picture into
// `full_width` and `full_height`. False when it cannot be read.
bool read_thumbnail_picture(const char* path, int size, PicImage* pic, std::int32_t& full_width,
                            std::int32_t& full_height);

}  // namespace zarn
