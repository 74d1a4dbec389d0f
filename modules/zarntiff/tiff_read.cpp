// TIFF module, reading: common layouts row by row ourselves, anything else through libtiff's RGBA reader; an
// embedded profile turned into sRGB.
#include "zarntiff.h"

#include "checked.h"
#include "colour_profile.h"
#include "progress.h"
#include "record.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zarn::tiff {
namespace {

// How rows of the file turn into rows of the record.
enum class Source {
    Bilevel,  // 1-bit samples copied packed
    Indexed,  // 2, 4 or 8-bit single samples, one byte each, through a palette
    Grey,     // 8 or 16-bit grey with optional extra samples (alpha), to 8-bit grey
    Rgb,      // 8 or 16-bit red, green, blue with optional extra samples (alpha)
    Cmyk,     // 8 or 16-bit inks with optional unassociated alpha, to RGB through the file's profile
};

struct Layout {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 1, samples = 1;
    Source source = Source::Bilevel;
    bool invert = false;      // min-is-white grey
    bool alpha = false;       // the first extra sample is alpha
    bool associated = false;  // ... and already multiplied into the colours
    SrgbTransform cmyk;       // for Source::Cmyk
};

std::uint8_t scale_16(unsigned value)
{
    return static_cast<std::uint8_t>((value * 255 + 32767) / 65535);
}

unsigned sample(const std::uint8_t* row, std::size_t index, int bits)
{
    if (bits == 8) return row[index];
    std::uint16_t value = 0;
    std::memcpy(&value, row + 2 * index, 2);  // libtiff has put it in host order
    return scale_16(value);
}

std::uint8_t onto_white(unsigned value, unsigned alpha, bool associated)
{
    return associated ? premultiplied_onto_white(value, alpha) : zarn::onto_white(value, alpha);
}

// Inks a batch at a time through the profile into RGB, then over white.
void convert_cmyk_row(const Layout& layout, const std::uint8_t* in, unsigned char* out)
{
    constexpr std::size_t kBatch = 256;
    std::uint8_t inks[4 * kBatch];
    for (std::size_t first = 0; first < layout.width; first += kBatch) {
        const std::size_t count = std::min<std::size_t>(kBatch, layout.width - first);
        for (std::size_t x = 0; x < count; ++x)
            for (std::size_t c = 0; c < 4; ++c)
                inks[4 * x + c] = static_cast<std::uint8_t>(sample(in, (first + x) * layout.samples + c, layout.bits));
        layout.cmyk.convert(inks, out + 3 * first, count);
        if (!layout.alpha) continue;
        for (std::size_t x = first; x < first + count; ++x) {
            const unsigned alpha = sample(in, x * layout.samples + 4, layout.bits);
            for (std::size_t c = 0; c < 3; ++c) out[3 * x + c] = zarn::onto_white(out[3 * x + c], alpha);
        }
    }
}

void convert_row(const Layout& layout, const std::uint8_t* in, unsigned char* out)
{
    const std::size_t width = layout.width;
    switch (layout.source) {
    case Source::Bilevel: std::memcpy(out, in, (width + 7) / 8); break;
    case Source::Indexed:
        if (layout.bits == 8) {
            std::memcpy(out, in, width);
        } else {
            const unsigned per_byte = 8u / layout.bits;
            const unsigned mask = (1u << layout.bits) - 1;
            for (std::size_t x = 0; x < width; ++x) {
                const unsigned shift = 8 - layout.bits * (1 + unsigned(x % per_byte));
                out[x] = static_cast<unsigned char>((in[x / per_byte] >> shift) & mask);
            }
        }
        break;
    case Source::Grey:
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t at = x * layout.samples;
            unsigned grey = sample(in, at, layout.bits);
            if (layout.invert) grey = 255 - grey;
            out[x] = layout.alpha ? onto_white(grey, sample(in, at + 1, layout.bits), layout.associated)
                                  : static_cast<unsigned char>(grey);
        }
        break;
    case Source::Rgb:
        if (layout.bits == 8 && !layout.alpha) {
            if (layout.samples == 3) {
                std::memcpy(out, in, 3 * width);
                break;
            }
            for (std::size_t x = 0; x < width; ++x) std::memcpy(out + 3 * x, in + x * layout.samples, 3);
            break;
        }
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t at = x * layout.samples;
            const unsigned alpha = layout.alpha ? sample(in, at + 3, layout.bits) : 255;
            for (std::size_t c = 0; c < 3; ++c) {
                const unsigned value = sample(in, at + c, layout.bits);
                out[3 * x + c] =
                    layout.alpha ? onto_white(value, alpha, layout.associated) : static_cast<unsigned char>(value);
            }
        }
        break;
    case Source::Cmyk: convert_cmyk_row(layout, in, out); break;
    }
}

// A colour map of 16-bit entries; old writers put 8-bit values there, which
// shows as no entry above 255.
void read_colour_map(TIFF* tif, int entries, PicImage* pic)
{
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) return;
    bool sixteen = false;
    for (int i = 0; i < entries; ++i)
        if (red[i] > 255 || green[i] > 255 || blue[i] > 255) sixteen = true;
    const int shift = sixteen ? 8 : 0;
    for (int i = 0; i < entries; ++i) {
        pic->palette[3 * i] = static_cast<unsigned char>(red[i] >> shift);
        pic->palette[3 * i + 1] = static_cast<unsigned char>(green[i] >> shift);
        pic->palette[3 * i + 2] = static_cast<unsigned char>(blue[i] >> shift);
    }
}

// Picks our own row conversion for the layouts it covers and fills the
// record's kind and palette; nothing means libtiff's RGBA reader. CMYK is
// ours only with a profile to take it to sRGB.
std::optional<Layout> own_layout(TIFF* tif, PicImage* pic, std::span<const std::uint8_t> icc)
{
    Layout layout;
    std::uint16_t planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT, orientation = ORIENTATION_TOPLEFT;
    std::uint16_t photometric = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout.width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout.height))
        return std::nullopt;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &layout.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &layout.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return std::nullopt;
    if (format != SAMPLEFORMAT_UINT || orientation != ORIENTATION_TOPLEFT) return std::nullopt;
    if (planar != PLANARCONFIG_CONTIG && layout.samples != 1) return std::nullopt;
    const int bits = layout.bits;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) return std::nullopt;

    std::uint16_t extra_count = 0;
    std::uint16_t* extra = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
    const bool has_alpha =
        extra_count > 0 && extra && (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA);
    layout.associated = has_alpha && extra[0] == EXTRASAMPLE_ASSOCALPHA;
    std::memset(pic->palette, 0, sizeof pic->palette);

    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && bits == 8 && layout.samples == 3 &&
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
        photometric = PHOTOMETRIC_RGB;

    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        layout.invert = photometric == PHOTOMETRIC_MINISWHITE;
        if (layout.samples == 1 && bits <= 8) {
            pic->colours = 1 << bits;
            for (int i = 0; i < pic->colours; ++i) {
                const int level = i * 255 / (pic->colours - 1);
                std::memset(pic->palette + 3 * i, layout.invert ? 255 - level : level, 3);
            }
            pic->bits = bits;
            layout.source = bits == 1 ? Source::Bilevel : Source::Indexed;
            return layout;
        }
        if (bits < 8) return std::nullopt;
        layout.alpha = has_alpha && layout.samples >= 2;
        layout.source = Source::Grey;
        pic->bits = 8;
        pic->colours = 256;
        set_grey_palette(pic);
        return layout;
    case PHOTOMETRIC_PALETTE:
        if (layout.samples != 1 || bits > 8) return std::nullopt;
        pic->bits = bits;
        pic->colours = 1 << bits;
        read_colour_map(tif, pic->colours, pic);
        layout.source = bits == 1 ? Source::Bilevel : Source::Indexed;
        return layout;
    case PHOTOMETRIC_RGB:
        if (layout.samples < 3 || bits < 8) return std::nullopt;
        layout.alpha = has_alpha && layout.samples >= 4;
        layout.source = Source::Rgb;
        pic->bits = 24;
        pic->colours = 0;
        return layout;
    case PHOTOMETRIC_SEPARATED: {
        std::uint16_t inks = INKSET_CMYK;
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
        if (inks != INKSET_CMYK || layout.samples < 4 || bits < 8 || keep_stored_colours()) return std::nullopt;
        layout.alpha = has_alpha && layout.samples >= 5;
        if (layout.alpha && layout.associated) return std::nullopt;
        layout.cmyk = SrgbTransform::from_icc(icc, ProfileInput::Cmyk);
        if (!layout.cmyk) return std::nullopt;
        layout.source = Source::Cmyk;
        pic->bits = 24;
        pic->colours = 0;
        return layout;
    }
    default: return std::nullopt;
    }
}

// Bytes of one row of the file's samples, or nothing when it cannot be held.
std::optional<std::size_t> file_row_bytes(const Layout& layout)
{
    const auto bits = checked_mul(std::size_t(layout.width), std::size_t(layout.samples) * layout.bits);
    if (!bits || *bits / 8 > max_image_bytes()) return std::nullopt;
    return (*bits + 7) / 8;
}

// Strips are read a row at a time. Tiles are read a band of one tile
// height at a time, assembled into whole rows.
class RowSource {
public:
    RowSource(TIFF* tif, const Layout& layout) : tif_(tif), layout_(layout) {}

    bool start()
    {
        const auto needed = file_row_bytes(layout_);
        if (!needed) return false;
        tiled_ = TIFFIsTiled(tif_) != 0;
        const auto scanline = std::size_t(TIFFScanlineSize64(tif_));
        row_bytes_ = std::max(*needed, scanline);
        if (!tiled_) {
            band_.assign(row_bytes_, 0);
            if (scanline > 0 && *needed <= scanline) start_own_lzw(scanline);
            return scanline > 0;
        }
        TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tile_width_);
        TIFFGetField(tif_, TIFFTAG_TILELENGTH, &tile_height_);
        tile_row_bytes_ = std::size_t(TIFFTileRowSize64(tif_));
        const auto tile_bytes = std::size_t(TIFFTileSize64(tif_));
        // Tiles must start on whole bytes for the band to be assembled
        // bytewise; the caller hands a picture that is not to the RGBA reader.
        const std::uint64_t tile_bits = std::uint64_t(tile_width_) * layout_.samples * layout_.bits;
        if (tile_width_ == 0 || tile_height_ == 0 || tile_bits % 8 || tile_row_bytes_ == 0 || tile_bytes == 0)
            return false;
        const auto band = checked_mul(row_bytes_, tile_height_);
        if (!band || *band > max_image_bytes() || tile_bytes > max_image_bytes()) return false;
        if (tile_row_bytes_ < tile_bits / 8 || tile_bytes / tile_row_bytes_ < tile_height_) return false;
        band_.assign(*band, 0);
        tile_.assign(tile_bytes, 0);
        return true;
    }

    bool tiled() const { return tiled_; }

    // Row y of the file, rows asked for in order; null on a read error.
    const std::uint8_t* row(std::uint32_t y)
    {
        if (own_lzw_) {
            const std::uint32_t strip = y / rows_per_strip_;
            if (strip != loaded_strip_ && !load_strip(strip)) return nullptr;
            return strip_.data() + std::size_t(y % rows_per_strip_) * scanline_;
        }
        if (!tiled_) return TIFFReadScanline(tif_, band_.data(), y, 0) < 0 ? nullptr : band_.data();
        const std::uint32_t in_band = y % tile_height_;
        if (in_band == 0 && !load_band(y)) return nullptr;
        return band_.data() + std::size_t(in_band) * row_bytes_;
    }

private:
    // LZW strips of whole bytes per sample, undone by our own decoder a
    // strip at a time; a strip it does not take goes to libtiff whole.
    void start_own_lzw(std::size_t scanline)
    {
        std::uint16_t compression = COMPRESSION_NONE, predictor = PREDICTOR_NONE, fill = FILLORDER_MSB2LSB;
        std::uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_COMPRESSION, &compression);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_PREDICTOR, &predictor);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_FILLORDER, &fill);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetField(tif_, TIFFTAG_PHOTOMETRIC, &photometric);
        std::uint32_t rows_per_strip = 0;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
        if (compression != COMPRESSION_LZW || fill != FILLORDER_MSB2LSB || photometric == PHOTOMETRIC_YCBCR ||
            (planar != PLANARCONFIG_CONTIG && layout_.samples != 1) || layout_.bits > 8 ||
            !(predictor == PREDICTOR_NONE || (predictor == PREDICTOR_HORIZONTAL && layout_.bits == 8)))
            return;
        rows_per_strip_ = std::clamp<std::uint32_t>(rows_per_strip, 1, layout_.height);
        // A strip held whole; a larger one is libtiff's, a row at a time.
        constexpr std::size_t kMaxStripBytes = std::size_t(16) << 20;
        const auto strip_bytes = checked_mul(scanline, std::size_t(rows_per_strip_));
        if (!strip_bytes || *strip_bytes > kMaxStripBytes) return;
        strip_.assign(*strip_bytes, 0);
        scanline_ = scanline;
        horizontal_ = predictor == PREDICTOR_HORIZONTAL;
        own_lzw_ = true;
    }

    // Each byte was stored as its difference from the same sample of the
    // pixel before; red, green and blue are summed each in a register of its own.
    void undo_differences(std::uint8_t* line) const
    {
        const std::size_t samples = layout_.samples;
        if (samples == 3) {
            std::uint8_t red = line[0], green = line[1], blue = line[2];
            for (std::size_t i = 3; i + 2 < scanline_; i += 3) {
                line[i] = red = std::uint8_t(red + line[i]);
                line[i + 1] = green = std::uint8_t(green + line[i + 1]);
                line[i + 2] = blue = std::uint8_t(blue + line[i + 2]);
            }
            return;
        }
        for (std::size_t i = samples; i < scanline_; ++i) line[i] = std::uint8_t(line[i] + line[i - samples]);
    }

    bool load_strip(std::uint32_t strip)
    {
        const std::uint32_t first = strip * rows_per_strip_;
        const std::size_t bytes = std::size_t(std::min(rows_per_strip_, layout_.height - first)) * scanline_;
        loaded_strip_ = strip;
        const std::uint64_t raw_bytes = TIFFRawStripSize64(tif_, strip);
        bool decoded = false;
        if (raw_bytes > 0 && raw_bytes != std::uint64_t(-1) && raw_bytes <= max_image_bytes()) {
            raw_.resize(std::size_t(raw_bytes));
            decoded = TIFFReadRawStrip(tif_, strip, raw_.data(), tmsize_t(raw_bytes)) == tmsize_t(raw_bytes) &&
                      decode_lzw_strip(raw_, {strip_.data(), bytes});
            if (decoded && horizontal_)
                for (std::size_t row = 0; row < bytes; row += scanline_) undo_differences(strip_.data() + row);
        }
        if (!decoded && TIFFReadEncodedStrip(tif_, strip, strip_.data(), tmsize_t(bytes)) != tmsize_t(bytes)) {
            loaded_strip_ = kNoStrip;
            return false;
        }
        return true;
    }

    bool load_band(std::uint32_t top)
    {
        const std::uint32_t rows = std::min(tile_height_, layout_.height - top);
        const std::size_t pixel_bits = std::size_t(layout_.samples) * layout_.bits;
        for (std::uint32_t x = 0; x < layout_.width; x += tile_width_) {
            if (TIFFReadTile(tif_, tile_.data(), x, top, 0, 0) < 0) return false;
            const std::size_t offset = std::size_t(x) * pixel_bits / 8;
            const std::size_t bytes = std::min(tile_row_bytes_, row_bytes_ - offset);
            for (std::uint32_t r = 0; r < rows; ++r)
                std::memcpy(band_.data() + std::size_t(r) * row_bytes_ + offset,
                            tile_.data() + std::size_t(r) * tile_row_bytes_, bytes);
            if (x > UINT32_MAX - tile_width_) break;
        }
        return true;
    }

    TIFF* tif_;
    const Layout& layout_;
    bool tiled_ = false;
    std::size_t row_bytes_ = 0, tile_row_bytes_ = 0;
    std::uint32_t tile_width_ = 0, tile_height_ = 0;
    std::vector<std::uint8_t> band_, tile_;
    static constexpr std::uint32_t kNoStrip = UINT32_MAX;
    bool own_lzw_ = false, horizontal_ = false;
    std::uint32_t rows_per_strip_ = 0, loaded_strip_ = kNoStrip;
    std::size_t scanline_ = 0;
    std::vector<std::uint8_t> strip_, raw_;
};

enum class OwnRead { kRead, kNotOurs, kFailed };

// Our own rows. A layout whose rows we cannot assemble (tiles that do not
// start on a byte boundary) is not ours, and goes to the RGBA reader.
OwnRead read_own(TIFF* tif, const Layout& layout, PicImage* pic)
{
    const auto block = image_bytes(layout.width, layout.height, pic->bits);
    if (!block || layout.height > INT32_MAX || layout.width > INT32_MAX) return OwnRead::kFailed;
    RowSource source(tif, layout);
    if (!source.start()) return OwnRead::kNotOurs;
    PixelBlock pixels = allocate_pixels(*block);
    if (!pixels) return OwnRead::kFailed;
    const std::size_t stride = *row_bytes(layout.width, pic->bits);
    for (std::uint32_t y = 0; y < layout.height; ++y) {
        const std::uint8_t* row = source.row(y);
        if (!row) return OwnRead::kFailed;
        convert_row(layout, row, pixels.get() + y * stride);
        report_progress(pic, std::int64_t(y) + 1, std::int64_t(layout.height));
    }
    pic->width = int32_t(layout.width);
    pic->height = int32_t(layout.height);
    pic->pixels = pixels.release();
    return OwnRead::kRead;
}

struct RgbaImage {
    TIFFRGBAImage image{};
    bool begun = false;
    ~RgbaImage()
    {
        if (begun) TIFFRGBAImageEnd(&image);
    }
};

// libtiff's RGBA reader covers the colour spaces we do not map (CMYK, Lab,
// YCbCr without JPEG, separate planes, other orientations) and tiles that
// do not start on a byte boundary. It gives the whole picture as 32-bit
// pixels with alpha multiplied in, which are composited onto white and
// packed down to RGB in place.
bool read_rgba(TIFF* tif, PicImage* pic)
{
    char message[1024];
    if (!TIFFRGBAImageOK(tif, message)) return false;
    RgbaImage rgba;
    if (!TIFFRGBAImageBegin(&rgba.image, tif, 0, message)) return false;
    rgba.begun = true;
    rgba.image.req_orientation = ORIENTATION_TOPLEFT;
    const std::uint32_t width = rgba.image.width, height = rgba.image.height;
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) return false;
    if (!image_bytes(width, height, 24)) return false;
    const auto raster_bytes = checked_mul(std::size_t(width) * height, 4);
    if (!raster_bytes || *raster_bytes > max_image_bytes()) return false;
    PixelBlock pixels = allocate_pixels(*raster_bytes);
    if (!pixels) return false;
    auto* raster = reinterpret_cast<std::uint32_t*>(pixels.get());
    if (!TIFFRGBAImageGet(&rgba.image, raster, width, height)) return false;

    const std::size_t count = std::size_t(width) * height;
    unsigned char* out = pixels.get();
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t value = 0;
        std::memcpy(&value, out + 4 * i, 4);  // read before its bytes are reused
        const unsigned alpha = TIFFGetA(value);
        out[3 * i] = premultiplied_onto_white(TIFFGetR(value), alpha);
        out[3 * i + 1] = premultiplied_onto_white(TIFFGetG(value), alpha);
        out[3 * i + 2] = premultiplied_onto_white(TIFFGetB(value), alpha);
        if (pic->progress && (i + 1) % width == 0)
            report_progress(pic, std::int64_t((i + 1) / width), std::int64_t(height));
    }
    pic->width = int32_t(width);
    pic->height = int32_t(height);
    pic->bits = 24;
    pic->colours = 0;
    pic->pixels = pixels.release();
    return true;
}

}  // namespace

int read_tiff_stream(std::FILE* stream, PicImage* pic)
{
    const TiffPtr tif = open_stream(stream, "r");
    if (!tif) return 0;
    // Choosing our own layout sets the record's kind and palette; a picture
    // neither path can read leaves them as they were.
    const PicImage before = *pic;
    std::uint32_t icc_size = 0;
    const void* icc_data = nullptr;
    if (!TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &icc_size, &icc_data) || !icc_data) icc_size = 0;
    const std::span<const std::uint8_t> icc(static_cast<const std::uint8_t*>(icc_data), icc_size);
    const auto layout = own_layout(tif.get(), pic, icc);
    const OwnRead own = layout ? read_own(tif.get(), *layout, pic) : OwnRead::kNotOurs;
    if (own == OwnRead::kFailed || (own == OwnRead::kNotOurs && !read_rgba(tif.get(), pic))) {
        pic->bits = before.bits;
        pic->colours = before.colours;
        std::memcpy(pic->palette, before.palette, sizeof pic->palette);
        return 0;
    }
    const bool inks = own == OwnRead::kRead && layout->source == Source::Cmyk;
    const std::string colours = inks ? layout->cmyk.name() : convert_record_to_srgb(pic, icc);
    if (pic->bits == 24) describe(pic, "TIFF : %ldx%ld - 24bit", long(pic->width), long(pic->height));
    else describe(pic, "TIFF : %ldx%ld - %ld Colours", long(pic->width), long(pic->height), long(pic->colours));
    describe_colours(pic, colours);
    return 1;
}

}  // namespace zarn::tiff

ZARNTIFF_EXPORT int _Pic_Read_TIF(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic) return 0;
    return guarded([&] { return read_path(path, pic, zarn::tiff::read_tiff_stream); });
}
