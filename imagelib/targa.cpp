// Targa reader: colour-mapped, true colour (15, 16, 24, 32 bits), grey and two-colour, raw or run-length.
#include "byte_reader.h"
#include "checked.h"
#include "codecs.h"
#include "progress.h"
#include "record.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace zarn {
namespace {

constexpr std::size_t kHeaderBytes = 18;

enum class Kind { kTwoColour, kMapped, kTrueColour, kGrey };

// Five bits widened so that 31 reaches 255.
std::uint8_t widen5(unsigned v)
{
    return static_cast<std::uint8_t>((v & 31u) * 255u / 31u);
}

// Bytes of one colour-map entry by the header's entry size: 15 and 16 bits
// are packed 5-5-5 words, 32 bits carry alpha, anything else is B, G, R.
std::size_t map_entry_bytes(int entry_bits)
{
    if (entry_bits == 15 || entry_bits == 16) return 2;
    if (entry_bits == 32) return 4;
    return 3;
}

// Stored pixels as B, G, R (or a 16-bit word) turned into R, G, B.
void stored_to_rgb(const std::uint8_t* stored, std::size_t size, std::uint8_t* rgb)
{
    if (size == 2) {
        const unsigned v = le16(stored);
        rgb[0] = widen5(v >> 10);
        rgb[1] = widen5(v >> 5);
        rgb[2] = widen5(v);
    } else {
        rgb[0] = stored[2];
        rgb[1] = stored[1];
        rgb[2] = stored[0];
    }
}

// Reads `entries` map entries of `entry_bytes` and keeps the first `keep`
// as the palette; entries past what the file holds read as black.
void read_colour_map(ByteReader& in, PicImage* pic, std::size_t entries, std::size_t entry_bytes, std::size_t keep)
{
    std::uint8_t entry[4];
    for (std::size_t i = 0; i < entries; ++i) {
        std::memset(entry, 0, sizeof entry);
        in.read({entry, entry_bytes});
        if (i < keep) stored_to_rgb(entry, entry_bytes, pic->palette + 3 * i);
    }
}

// Run-length packets may cross row ends, so the counters outlive a row.
// Past the end of the data every byte reads as 255.
class PacketReader {
public:
    PacketReader(ByteReader& in, std::size_t pixel_size) : in_(in), size_(pixel_size) {}

    void row(std::span<std::uint8_t> out)
    {
        for (std::size_t at = 0; at < out.size(); at += size_) {
            if (repeats_ > 0) {
                --repeats_;
            } else if (--literals_ < 0) {
                std::uint8_t packet = 0xFF;
                in_.u8(packet);
                if (packet & 0x80) {
                    repeats_ = packet & 0x7F;
                    literals_ = 0;
                } else {
                    literals_ = packet & 0x7F;
                }
                in_.read_or_fill({last_, size_}, 0xFF);
            } else {
                in_.read_or_fill({last_, size_}, 0xFF);
            }
            std::memcpy(out.data() + at, last_, size_);
        }
    }

    // Once the data has run out, a new packet reads as a run of 0xFF bytes,
    // and so do literals: only a run still pending can differ.
    bool only_filler_left() const
    {
        return in_.exhausted() &&
               (repeats_ == 0 || std::all_of(last_, last_ + size_, [](std::uint8_t b) { return b == 0xFF; }));
    }

private:
    ByteReader& in_;
    std::size_t size_;
    std::uint8_t last_[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    int repeats_ = 0;
    int literals_ = 0;
};

}  // namespace

int read_targa_stream(std::FILE* stream, PicImage* pic)
{
    ByteReader in(stream);
    std::uint8_t header[kHeaderBytes];
    if (in.read(header) != kHeaderBytes) return refuse(true);
    const int id_length = header[0];
    const int map_type = header[1];
    int type = header[2];
    const std::size_t first_entry = le16(header + 3);
    const std::size_t map_length = le16(header + 5);
    const int entry_bits = header[7];
    const std::int32_t width = le16(header + 12);
    const std::int32_t height = le16(header + 14);
    const int depth = header[16];
    int descriptor = header[17];

    if (descriptor == 128) descriptor = 32;
    if (height == 0 || width == 0 || (descriptor & 0xC0) || map_type > 1 || depth >= 40) return refuse(false);
    const bool encoded = type > 8;
    if (encoded) type -= 8;
    if (type < 1 || type > 3) return refuse(false);

    Kind kind;
    int bits = 0, colours = 0;
    std::size_t stored_size = 1;
    if (depth < 8) {
        kind = Kind::kTwoColour, bits = 1, colours = 2;
    } else if (type == 1) {
        // A map of any length up to 256; the record takes the smallest kind
        // that holds it.
        if (map_type != 1 || depth >= 16 || first_entry != 0 || map_length < 1 || map_length > 256)
            return refuse(false);
        kind = Kind::kMapped, bits = map_length <= 2 ? 1 : map_length <= 16 ? 4 : 8, colours = int(map_length);
    } else if (type == 2) {
        if (depth < 15) return refuse(false);  // one byte cannot hold a true-colour pixel
        // 15 bits are the 16-bit word with its top bit unused.
        kind = Kind::kTrueColour, bits = 24, stored_size = std::max<std::size_t>(2, std::size_t(depth / 8));
    } else {
        if (depth >= 16) return refuse(false);
        kind = Kind::kGrey, bits = 8, colours = 256;
    }

    const std::size_t row_length = *row_bytes(width, bits);
    PixelBlock pixels = allocate_image(width, height, bits);
    if (!pixels) return 0;

    in.skip(std::uint64_t(id_length));
    const std::size_t entry_bytes = map_entry_bytes(entry_bits);
    if (kind == Kind::kTwoColour || kind == Kind::kMapped) {
        std::memset(pic->palette, 0, sizeof pic->palette);
        if (map_type == 1) {
            read_colour_map(in, pic, map_length, entry_bytes, std::size_t(colours));
        } else {
            // A two-colour picture without a map is black on white.
            std::memset(pic->palette + 3, 255, 3);
        }
    } else if (map_type == 1) {
        // A map the picture does not use still sits before the pixels.
        in.skip(std::uint64_t(map_length) * entry_bytes);
    }
    pic->colours = colours;
    if (kind == Kind::kGrey) set_grey_palette(pic);

    // Each stored pixel of a two-colour row is one byte of eight pixels.
    const std::size_t stored_pixels = kind == Kind::kTwoColour ? row_length : std::size_t(width);
    std::vector<std::uint8_t> stored(stored_pixels * stored_size);
    PacketReader packets(in, stored_size);
    const bool top_down = (descriptor & 0x20) != 0;
    // Past the end of the data every row reads alike: it is converted once
    // and copied, so a header declaring a huge picture costs no more than a
    // memory fill.
    const std::uint8_t* filler_row = nullptr;
    for (std::int32_t r = 0; r < height; ++r) {
        const std::int32_t y = top_down ? r : height - 1 - r;
        std::uint8_t* row = pixels.get() + std::size_t(y) * row_length;
        const bool only_filler = encoded ? packets.only_filler_left() : in.exhausted();
        if (only_filler && filler_row) {
            std::memcpy(row, filler_row, row_length);
            report_progress(pic, top_down ? y : height - y, height);
            continue;
        }
        if (encoded) packets.row(stored);
        else in.read_or_fill(stored, stored_size == 2 || stored_size == 4 ? 0xFF : 0);
        if (kind == Kind::kTrueColour) {
            for (std::size_t x = 0; x < stored_pixels; ++x)
                stored_to_rgb(&stored[x * stored_size], stored_size, row + 3 * x);
        } else if (kind == Kind::kMapped) {
            // An index past the map's end reads as entry 0.
            for (std::uint8_t& index : stored)
                if (index >= map_length) index = 0;
            if (bits == 1) {
                std::memset(row, 0, row_length);
                for (std::size_t x = 0; x < stored_pixels; ++x)
                    row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | stored[x] << (7 - x % 8));
            } else {
                std::memcpy(row, stored.data(), row_length);
            }
        } else {
            std::memcpy(row, stored.data(), row_length);
        }
        if (only_filler) filler_row = row;
        report_progress(pic, top_down ? y : height - y, height);
    }
    if (in.exhausted()) warn_filled_in();

    pic->width = width;
    pic->height = height;
    pic->bits = bits;
    switch (kind) {
    case Kind::kTwoColour: describe(pic, "Targa : %ldx%ld - 2 Colour", long(width), long(height)); break;
    case Kind::kMapped: describe(pic, "Targa : %ldx%ld - %ld Colours", long(width), long(height), long(colours)); break;
    case Kind::kTrueColour: describe(pic, "Targa : %ldx%ld - %ldbit", long(width), long(height), long(depth)); break;
    case Kind::kGrey: describe(pic, "Targa : %ldx%ld Greyscale", long(width), long(height)); break;
    }
    pic->pixels = pixels.release();
    return 1;
}

int read_targa(const char* path, PicImage* pic)
{
    return read_path(path, pic, read_targa_stream);
}

}  // namespace zarn
