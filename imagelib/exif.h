// The EXIF orientation of a JPEG: the tag read from its APP1 segment, and the pixel transform that sets it upright.
#pragma once

#include "record.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zarn {

// The orientation tag (1 to 8) of an APP1 segment's data, which starts with
// "Exif\0\0" and a TIFF header; 1 when the segment is something else, has no
// such tag, or anything in it points outside the segment.
int exif_orientation(std::span<const std::uint8_t> segment);

// Where in such a segment the orientation tag's two-byte value lies, and its
// byte order; nothing when exif_orientation would find no valid tag entry.
struct OrientationField {
    std::size_t offset;
    bool big_endian;
};
std::optional<OrientationField> exif_orientation_field(std::span<const std::uint8_t> segment);

// A new block holding the `width` x `height` picture of `bytes_per_pixel`
// (1 or 3) byte pixels at `pixels` turned from stored `orientation` to
// upright; for 5 to 8 it is `height` pixels wide. Nothing when it cannot be
// allocated or the orientation is not 2 to 8.
PixelBlock upright_pixels(const unsigned char* pixels, std::size_t width, std::size_t height,
                          std::size_t bytes_per_pixel, int orientation);

inline bool orientation_swaps_sides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// Reads turn pictures upright unless this is set; it holds for the whole
// process, outside modules included. zarnconv sets it for --keep-orientation; the shared
// library's hosts never do.
void set_keep_stored_orientation(bool keep);
bool keep_stored_orientation();

}  // namespace zarn
