// PCX reader: monochrome, 16 colours (packed or in four planes), 256 colours, 24-bit and 32-bit, raw and run-length
// lines.
#include "byte_reader.h"
#include "checked.h"
#include "codecs.h"
#include "progress.h"
#include "record.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace zarn {
namespace {

constexpr std::size_t kHeaderBytes = 128;
constexpr std::size_t kHeaderPaletteAt = 16;

// Version 3 files carry no header palette; they mean this one.
constexpr std::array<std::uint8_t, 48> kStandardPalette{
    0,  0,  0,  0,  0,  170, 0,  170, 0,  0,  170, 170, 170, 0,  0,  170, 0,  170, 170, 85,  0,  170, 170, 170,
    85, 85, 85, 85, 85, 255, 85, 255, 85, 85, 255, 255, 255, 85, 85, 255, 85, 255, 255, 255, 85, 255, 255, 255,
};

enum class Kind { kMonochrome, kSixteen, kPlanarSixteen, kIndexed, kTrueColour, kTrueColourAlpha };

std::int32_t signed16(const std::uint8_t* at)
{
    return static_cast<std::int16_t>(le16(at));
}

// A line is decoded into a buffer of its own length; a run that would cross
// its end is cut short, so one line never writes into the next. When the
// data ends, the missing count reads as 255 and so does its value: the rest
// of the line is 255.
void decode_rle_line(ByteReader& in, std::span<std::uint8_t> line)
{
    std::size_t done = 0;
    std::uint8_t b = 0, value = 0;
    while (done < line.size() && in.u8(b)) {
        if ((b & 0xC0) != 0xC0) {
            line[done++] = b;
            continue;
        }
        if (!in.u8(value)) value = 0xFF;
        const std::size_t run = std::min(std::size_t(b & 0x3Fu), line.size() - done);
        std::fill_n(line.begin() + std::ptrdiff_t(done), run, value);
        done += run;
    }
    std::fill(line.begin() + std::ptrdiff_t(done), line.end(), std::uint8_t(0xFF));
}

}  // namespace

int read_pcx_stream(std::FILE* stream, PicImage* pic)
{
    ByteReader in(stream);
    std::uint8_t header[kHeaderBytes];
    if (in.read(header) != kHeaderBytes) return refuse(true);
    const int version = header[1];
    const bool encoded = header[2] != 0;
    const int plane_bits = header[3];
    const std::int32_t x_min = signed16(header + 4), y_min = signed16(header + 6);
    const std::int32_t x_max = signed16(header + 8), y_max = signed16(header + 10);
    const int planes = header[65];
    const std::size_t line_bytes = le16(header + 66);

    if (x_max < x_min || y_max < y_min) return refuse(false);
    const std::int32_t width = x_max - x_min + 1;
    const std::int32_t height = y_max - y_min + 1;
    const auto w = static_cast<std::size_t>(width);

    Kind kind;
    int bits = 0;
    std::size_t needed = 0;  // bytes of each plane line the row uses
    if (planes == 3 && plane_bits == 8) {
        kind = Kind::kTrueColour, bits = 24, needed = w;
    } else if (planes == 4 && plane_bits == 8) {
        kind = Kind::kTrueColourAlpha, bits = 24, needed = w;  // a fourth plane of alpha, laid over white
    } else if (planes == 1 && plane_bits == 8) {
        kind = Kind::kIndexed, bits = 8, needed = w;
    } else if (planes == 1 && plane_bits == 4) {
        kind = Kind::kSixteen, bits = 4, needed = (w + 1) / 2;
    } else if (planes == 4 && plane_bits == 1) {
        kind = Kind::kPlanarSixteen, bits = 4, needed = (w + 7) / 8;
    } else if (planes == 1 && plane_bits == 1) {
        kind = Kind::kMonochrome, bits = 1, needed = (w + 7) / 8;
    } else {
        // Two bits per pixel and the other planar layouts are not read.
        set_failure(Failure::Unsupported);
        return 0;
    }
    if (line_bytes < needed) return refuse(false);

    PixelBlock pixels = allocate_image(width, height, bits, 2);
    if (!pixels) return 0;

    std::memset(pic->palette, 0, sizeof pic->palette);
    if (kind == Kind::kSixteen || kind == Kind::kPlanarSixteen) {
        // Every version but 3 stores the 16 colours in the header.
        if (version == 3) std::memcpy(pic->palette, kStandardPalette.data(), kStandardPalette.size());
        else std::memcpy(pic->palette, header + kHeaderPaletteAt, 48);
    } else if (kind == Kind::kMonochrome) {
        // Writers fill a two-colour header palette carelessly; a set bit is white.
        std::memset(pic->palette + 3, 255, 3);
    }

    // The planes of a line follow each other, decoded as one stream.
    const std::size_t line_length = std::size_t(planes) * line_bytes;
    std::vector<std::uint8_t> line(line_length);
    const std::size_t row_length = *row_bytes(width, bits);
    // Past the end of the data every line reads alike: it is converted once
    // and copied, so a header declaring a huge picture costs no more than a
    // memory fill.
    const std::uint8_t* filler_row = nullptr;
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = pixels.get() + std::size_t(y) * row_length;
        const bool only_filler = in.exhausted();
        if (only_filler && filler_row) {
            std::memcpy(row, filler_row, row_length);
            report_progress(pic, y, height);
            continue;
        }
        if (encoded) decode_rle_line(in, line);
        else in.read_or_fill(line, 0);
        switch (kind) {
        case Kind::kTrueColour:
            for (std::size_t x = 0; x < w; ++x) {
                row[3 * x] = line[x];
                row[3 * x + 1] = line[line_bytes + x];
                row[3 * x + 2] = line[2 * line_bytes + x];
            }
            break;
        case Kind::kTrueColourAlpha:
            for (std::size_t x = 0; x < w; ++x) {
                const std::uint8_t alpha = line[3 * line_bytes + x];
                for (std::size_t c = 0; c < 3; ++c) row[3 * x + c] = onto_white(line[c * line_bytes + x], alpha);
            }
            break;
        case Kind::kIndexed: std::memcpy(row, line.data(), w); break;
        case Kind::kSixteen:
            for (std::size_t x = 0; x < w; ++x) {
                const std::uint8_t packed = line[x / 2];
                row[x] = x % 2 == 0 ? packed >> 4 : packed & 0x0F;
            }
            break;
        case Kind::kPlanarSixteen:
            // Plane p gives bit p of each pixel; bit 7 of a byte is its leftmost pixel.
            for (std::size_t x = 0; x < w; ++x) {
                unsigned index = 0;
                for (std::size_t p = 0; p < 4; ++p)
                    index |= unsigned(line[p * line_bytes + x / 8] >> (7 - x % 8) & 1) << p;
                row[x] = static_cast<std::uint8_t>(index);
            }
            break;
        case Kind::kMonochrome: std::memcpy(row, line.data(), row_length); break;
        }
        if (only_filler) filler_row = row;
        report_progress(pic, y, height);
    }
    if (in.exhausted()) warn_filled_in();

    if (kind == Kind::kIndexed) {
        std::uint8_t marker = 0;
        in.u8(marker);
        in.read_or_fill({pic->palette, 768}, 0);
    }

    pic->width = width;
    pic->height = height;
    pic->bits = bits;
    pic->colours = bits == 24 ? 0 : 1 << bits;
    if (bits == 24) describe(pic, "PCX : %ldx%ld - 24bit", long(width), long(height));
    else describe(pic, "PCX : %ldx%ld - %ld Colours", long(width), long(height), long(pic->colours));
    pic->pixels = pixels.release();
    return 1;
}

int read_pcx(const char* path, PicImage* pic)
{
    return read_path(path, pic, read_pcx_stream);
}

}  // namespace zarn
