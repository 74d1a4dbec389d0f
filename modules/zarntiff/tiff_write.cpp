// TIFF module, writing: bilevel, palette or RGB strips, uncompressed, LZW, PackBits or fax.
#include "zarntiff.h"

#include "checked.h"
#include "progress.h"
#include "record.h"
#include "write_path.h"

#include <array>
#include <cstring>
#include <vector>

namespace zarn::tiff {
namespace {

// Indexed by the compression argument, 0 to 4.
constexpr std::array<std::uint16_t, 5> kCompressions{COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_PACKBITS,
                                                     COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4};

bool palette_is(const PicImage* pic, std::initializer_list<unsigned char> entries)
{
    return std::memcmp(pic->palette, std::data(entries), entries.size()) == 0;
}

unsigned luminance(const PicImage* pic, int entry)
{
    const unsigned char* rgb = pic->palette + 3 * entry;
    return 299u * rgb[0] + 587u * rgb[1] + 114u * rgb[2];
}

// Which photometric a record is written with. A bilevel record whose two
// colours are black and white (either way round) needs no colour map; fax
// allows nothing else, so there the darker entry is taken for black.
std::uint16_t photometric_for(const PicImage* pic, bool fax)
{
    if (pic->bits == 24) return PHOTOMETRIC_RGB;
    if (pic->bits != 1) return PHOTOMETRIC_PALETTE;
    if (palette_is(pic, {0, 0, 0, 255, 255, 255})) return PHOTOMETRIC_MINISBLACK;
    if (palette_is(pic, {255, 255, 255, 0, 0, 0})) return PHOTOMETRIC_MINISWHITE;
    if (fax) return luminance(pic, 0) <= luminance(pic, 1) ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE;
    return PHOTOMETRIC_PALETTE;
}

bool write_tiff_stream(std::FILE* stream, const PicImage* pic, int compression)
{
    const TiffPtr tif = open_stream(stream, "w");
    if (!tif) return false;
    TIFF* t = tif.get();
    const bool fax = compression >= 3;
    const std::uint16_t photometric = photometric_for(pic, fax);
    const std::uint16_t samples = pic->bits == 24 ? 3 : 1;
    const std::uint16_t bits = pic->bits == 24 ? 8 : pic->bits == 1 ? 1 : 8;
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(pic->width)) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(pic->height)) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples) && TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, kCompressions[std::size_t(compression)]) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    if (ok && photometric == PHOTOMETRIC_PALETTE) {
        const std::size_t entries = std::size_t(1) << bits;
        std::vector<std::uint16_t> red(entries), green(entries), blue(entries);
        for (std::size_t i = 0; i < entries; ++i) {
            red[i] = std::uint16_t(pic->palette[3 * i] * 257);
            green[i] = std::uint16_t(pic->palette[3 * i + 1] * 257);
            blue[i] = std::uint16_t(pic->palette[3 * i + 2] * 257);
        }
        ok = TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    if (!ok) return false;

    // libtiff may work on the row it is handed; the record stays untouched.
    const std::size_t stride = *row_bytes(pic->width, pic->bits);
    std::vector<std::uint8_t> row(stride);
    for (std::uint32_t y = 0; y < std::uint32_t(pic->height); ++y) {
        std::memcpy(row.data(), pic->pixels + y * stride, stride);
        if (TIFFWriteScanline(t, row.data(), y, 0) < 0) return false;
        report_progress(pic, std::int64_t(y) + 1, pic->height);
    }
    return TIFFWriteDirectory(t) != 0;
}

}  // namespace
}  // namespace zarn::tiff

ZARNTIFF_EXPORT int _Pic_Write_TIF(const char* path, PicImage* pic, int compression)
{
    using namespace zarn;
    if (!path || !pic || !pic->pixels) return 0;
    if (compression < 0 || compression > 4) return 0;
    if (pic->bits != 1 && pic->bits != 24 && (pic->bits < 2 || pic->bits > 8)) return 0;
    // Fax codes only bilevel rows.
    if (compression >= 3 && pic->bits != 1) return 0;
    if (!image_bytes(pic->width, pic->height, pic->bits)) return 0;
    return guarded([&] {
        OutputFile out(path, pic);
        if (!out) return 0;
        if (!zarn::tiff::write_tiff_stream(out.get(), pic, compression)) return 0;
        return out.commit() ? 1 : 0;
    });
}
