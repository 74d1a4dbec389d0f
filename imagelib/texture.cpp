// The 256 by 256 texture: headerless indices into a fixed 128-colour palette, read and written.
#include "byte_reader.h"
#include "checked.h"
#include "codecs.h"
#include "operations.h"
#include "record.h"
#include "write_path.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace zarn {
namespace {

constexpr int kSide = 256;
constexpr std::size_t kTextureBytes = std::size_t(kSide) * kSide;
// An 8-bit image whose palette agrees with the fixed one this far keeps its indices.
constexpr std::size_t kPaletteMatchBytes = 379;

constexpr std::array<std::uint8_t, 384> kUsedEntries{
    0,   0,   0,   8,   8,   8,   16,  16,  16,  24,  24,  24,  32,  32,  32,  40,  40,  40,  48,  48,  48,  56,  56,
    56,  65,  65,  65,  73,  73,  73,  81,  81,  81,  89,  89,  89,  97,  97,  97,  105, 105, 105, 113, 113, 113, 121,
    121, 121, 130, 130, 130, 138, 138, 138, 146, 146, 146, 154, 154, 154, 162, 162, 162, 170, 170, 170, 178, 178, 178,
    186, 186, 186, 195, 195, 195, 203, 203, 203, 211, 211, 211, 219, 219, 219, 227, 227, 227, 235, 235, 235, 247, 247,
    247, 255, 255, 255, 21,  5,   5,   42,  10,  10,  63,  15,  15,  84,  20,  20,  105, 25,  25,  126, 30,  30,  147,
    35,  35,  168, 40,  40,  189, 45,  45,  210, 50,  50,  231, 55,  55,  252, 60,  60,  5,   21,  5,   10,  42,  10,
    15,  63,  15,  20,  84,  20,  25,  105, 25,  30,  126, 30,  35,  147, 35,  40,  168, 40,  45,  189, 45,  50,  210,
    50,  55,  231, 55,  60,  252, 60,  0,   7,   23,  0,   15,  40,  0,   23,  58,  0,   40,  84,  0,   64,  104, 0,
    71,  122, 0,   87,  143, 0,   99,  156, 0,   112, 179, 0,   128, 199, 0,   143, 215, 0,   153, 230, 28,  14,  0,
    56,  28,  0,   84,  42,  0,   112, 56,  0,   140, 70,  0,   168, 84,  0,   196, 98,  0,   224, 112, 0,   252, 126,
    0,   28,  28,  0,   56,  56,  0,   84,  84,  0,   112, 112, 0,   140, 140, 0,   168, 168, 0,   196, 196, 0,   224,
    224, 0,   252, 252, 0,   25,  21,  16,  50,  42,  32,  75,  63,  48,  100, 84,  64,  125, 105, 80,  150, 126, 96,
    175, 147, 112, 200, 168, 128, 225, 189, 144, 28,  11,  7,   56,  22,  14,  84,  33,  21,  112, 44,  28,  140, 55,
    35,  168, 66,  42,  196, 77,  49,  224, 88,  56,  252, 99,  63,  17,  22,  9,   34,  44,  18,  51,  66,  27,  68,
    88,  36,  85,  110, 45,  102, 132, 54,  119, 154, 63,  136, 176, 72,  153, 198, 81,  0,   58,  104, 0,   87,  112,
    43,  112, 128, 255, 0,   0,   64,  255, 64,  0,   0,   192, 0,   105, 105, 255, 128, 0,   255, 255, 0,   81,  81,
    81,  121, 121, 121, 146, 146, 146, 170, 170, 170, 195, 195, 195, 227, 227, 227,
};

// Entries 128 to 255 are black.
const std::array<std::uint8_t, 768>& texture_palette()
{
    static const auto palette = [] {
        std::array<std::uint8_t, 768> full{};
        std::memcpy(full.data(), kUsedEntries.data(), kUsedEntries.size());
        return full;
    }();
    return palette;
}

std::uint64_t integer_sqrt(std::uint64_t n)
{
    std::uint64_t root = 0;
    for (std::uint64_t bit = std::uint64_t(1) << 31; bit; bit >>= 1)
        if ((root | bit) * (root | bit) <= n) root |= bit;
    return root;
}

// A monochrome or small-palette record widened to 24 bits through its palette.
bool expand_small_palette(PicImage* pic)
{
    const auto block = image_bytes(pic->width, pic->height, 24);
    PixelBlock out = block ? allocate_pixels(*block) : nullptr;
    if (!out) return false;
    const auto w = static_cast<std::size_t>(pic->width);
    const bool packed = pic->bits == 1;
    const std::size_t row_length = packed ? (w + 7) / 8 : w;
    std::uint8_t* rgb = out.get();
    for (std::size_t y = 0; y < std::size_t(pic->height); ++y) {
        const std::uint8_t* row = pic->pixels + y * row_length;
        for (std::size_t x = 0; x < w; ++x, rgb += 3) {
            const int index = packed ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
            std::memcpy(rgb, pic->palette + 3 * index, 3);
        }
    }
    replace_pixels(pic, std::move(out));
    pic->bits = 24;
    pic->colours = 0;
    return true;
}

}  // namespace

int read_texture_stream(std::FILE* stream, PicImage* pic)
{
    ByteReader in(stream);
    const std::optional<std::uint64_t> size = in.size();
    if (!size) return 0;
    const std::uint64_t side = integer_sqrt(*size);
    describe(pic, "R8 : %ldx%ld ", long(side), long(side));
    pic->bits = 8;
    pic->colours = 256;
    std::memcpy(pic->palette, texture_palette().data(), 768);

    // The file has no header, so its size is all there is to recognise it
    // by: anything but a whole texture is not one.
    if (*size != kTextureBytes) return refuse(false);
    PixelBlock pixels = allocate_image(kSide, kSide, 8);
    if (!pixels) return 0;
    in.read_or_fill({pixels.get(), kTextureBytes}, 0);
    pic->width = kSide;
    pic->height = kSide;
    pic->pixels = pixels.release();
    return 1;
}

int read_texture(const char* path, PicImage* pic)
{
    return read_path(path, pic, read_texture_stream);
}

// Scales the record to 256 x 256 and maps it onto the fixed palette, in
// place; monochrome and 16-colour images are widened to 24 bits first.
int write_texture(const char* path, PicImage* pic)
{
    if (!pic->pixels || !pixel_block_bytes(pic)) return 0;
    if (pic->bits < 8 && !expand_small_palette(pic)) return 0;
    if (pic->bits != 8 && pic->bits != 24) return 0;
    if (!resize_image(pic, kSide, kSide)) return 0;
    if (pic->bits == 8) {
        const auto& fixed = texture_palette();
        std::size_t same = 0;
        while (same < 381 && pic->palette[same] == fixed[same]) ++same;
        if (same < kPaletteMatchBytes && !expand_to_rgb(pic)) return 0;
    }
    if (pic->bits == 24 && !reduce_to_palette(pic, texture_palette().data())) return 0;
    if (pic->bits != 8 || pic->width != kSide || pic->height != kSide) return 0;

    OutputFile out(path, pic);
    if (!out) return 0;
    out.write({pic->pixels, kTextureBytes});
    return out.commit() ? 1 : 0;
}

}  // namespace zarn
