// A baseline JPEG stream read at an eighth of its size from the blocks' DC terms alone, for thumbnails.
#pragma once

#include "record.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zarn {

// The picture of a JPEG stream with each 8 x 8 block as one pixel, its
// mean: the same size and luma libjpeg gives at scale 1/8, the chroma taken
// from its blocks' means too. `pixels` holds `width` x `height` RGB
// triplets (single levels when `grey`), rows top down, as stored (no
// orientation applied); `icc` the embedded profile when all its segments
// are there.
struct EighthPicture {
    int width = 0, height = 0;
    bool grey = false;
    PixelBlock pixels;
    std::vector<std::uint8_t> icc;
};

// Nothing for a stream this reader leaves to libjpeg: progressive,
// arithmetic coded, lossless or 12-bit frames, other than one or three
// components, RGB or CMYK pixels, sampling libjpeg cannot scale, several
// scans, and any damage (a bad code, a missing restart marker, data running
// out), so libjpeg's own handling of it applies. A scan of `shortest_split`
// bytes or more without restart markers is read by two threads, the second
// from its middle.
std::optional<EighthPicture> read_jpeg_eighth(std::span<const std::uint8_t> file,
                                              std::size_t shortest_split = std::size_t(1) << 18);

}  // namespace zarn
