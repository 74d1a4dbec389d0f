// Windows bitmap: the interchange format. Reader, writer and header probe.
#include "bmp_layout.h"
#include "byte_reader.h"
#include "channel_swap.h"
#include "checked.h"
#include "codecs.h"
#include "record.h"
#include "write_path.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace zarn {
namespace {

// Bytes of one row in the file: packed, then padded to a multiple of four.
// The caller has checked that the image's block fits in memory, which
// bounds these products too.
std::size_t packed_row_bytes(std::size_t width, int bits)
{
    switch (bits) {
    case 1: return (width + 7) / 8;
    case 4: return (width + 1) / 2;
    case 16: return 2 * width;
    case 24: return 3 * width;
    default: return width;
    }
}

}  // namespace

// False when the data ends before both headers are complete.
bool read_headers(ByteReader& in, BmpHeader& header)
{
    std::uint16_t signature = 0, reserved = 0;
    std::uint32_t file_size = 0;
    if (!in.u16le(signature) || !in.u32le(file_size) || !in.u16le(reserved) || !in.u16le(reserved) ||
        !in.u32le(header.pixel_offset) || !in.u32le(header.header_size))
        return false;

    std::uint16_t planes = 0, bits = 0;
    if (header.header_size == kCoreHeaderBytes) {
        std::uint16_t width = 0, height = 0;
        if (!in.u16le(width) || !in.u16le(height) || !in.u16le(planes) || !in.u16le(bits)) return false;
        header.core = true;
        header.width = width;
        header.height = height;
        header.bits = static_cast<std::int16_t>(bits);
        return true;
    }
    std::uint32_t width = 0, height = 0, ignored = 0;
    if (!in.u32le(width) || !in.u32le(height) || !in.u16le(planes) || !in.u16le(bits) || !in.u32le(header.compression))
        return false;
    for (int field = 0; field < 5; ++field)  // image size, resolutions, colours used and important
        if (!in.u32le(ignored)) return false;
    header.width = static_cast<std::int32_t>(width);
    header.height = static_cast<std::int32_t>(height);
    header.bits = static_cast<std::int16_t>(bits);  // sign-extended: 0xFFFF is -1, refused later
    return true;
}

std::size_t file_row_bytes(std::size_t width, int bits)
{
    return (packed_row_bytes(width, bits) + 3) & ~std::size_t(3);
}

namespace {

// Reads the palette the header promises; entries past the end of the data
// are black.
void read_palette(ByteReader& in, const BmpHeader& header, PicImage* pic)
{
    const int entries = header.colours();
    const std::size_t entry_bytes = header.core ? 3 : 4;
    std::vector<std::uint8_t> raw(entry_bytes * static_cast<std::size_t>(entries), 0);
    if (in.seek(header.palette_offset())) in.read_or_fill(raw);
    for (int i = 0; i < entries; ++i) {
        const std::uint8_t* bgr = raw.data() + entry_bytes * static_cast<std::size_t>(i);
        pic->palette[3 * i] = bgr[2];
        pic->palette[3 * i + 1] = bgr[1];
        pic->palette[3 * i + 2] = bgr[0];
    }
}

bool compression_supported(const BmpHeader& header)
{
    switch (header.compression) {
    case kRgb: return true;
    case kRle8: return header.bits == 8 && header.height > 0;
    case kRle4: return header.bits == 4 && header.height > 0;
    case kBitfields: return header.bits == 16;
    default: return false;
    }
}

// Converts 16-bit pixels through one mask per channel; a channel of n bits
// is shifted up to 8 without filling the low bits (31 in 5 bits gives 248).
struct ChannelMask {
    std::uint32_t mask = 0;
    int shift = 0;
    int width = 0;

    ChannelMask() = default;
    explicit ChannelMask(std::uint32_t m) : mask(m)
    {
        if (!m) return;
        shift = __builtin_ctz(m);
        width = __builtin_popcount(m >> shift);
    }
    std::uint8_t operator()(std::uint32_t value) const
    {
        const std::uint32_t channel = (value & mask) >> shift;
        return static_cast<std::uint8_t>(width >= 8 ? channel >> (width - 8) : channel << (8 - width));
    }
};

struct SixteenBitLayout {
    ChannelMask red, green, blue;
};

SixteenBitLayout sixteen_bit_layout(ByteReader& in, const BmpHeader& header)
{
    const SixteenBitLayout five_five_five{ChannelMask(0x7C00), ChannelMask(0x03E0), ChannelMask(0x001F)};
    const SixteenBitLayout five_six_five{ChannelMask(0xF800), ChannelMask(0x07E0), ChannelMask(0x001F)};
    if (header.compression == kBitfields) {
        // The three masks follow the 40-byte header (or sit in the same
        // place inside a longer one).
        std::uint32_t red = 0, green = 0, blue = 0;
        if (in.seek(kFileHeaderBytes + kInfoHeaderBytes) && in.u32le(red) && in.u32le(green) && in.u32le(blue) && red &&
            green && blue && ((red | green | blue) >> 16) == 0)
            return {ChannelMask(red), ChannelMask(green), ChannelMask(blue)};
    }
    // Pixel data right after the header means no colour masks, so 5-5-5;
    // anything between them is taken for masks of a 5-6-5 file.
    return header.pixel_offset == header.palette_offset() ? five_five_five : five_six_five;
}

// Run-length data, bottom-up. Runs and literal strings are cut at the right
// edge; a delta or a run past the last row ends the picture. Pixels the
// data never reaches stay index 0.
void decode_rle(ByteReader& in, const BmpHeader& header, unsigned char* pixels, std::size_t width, std::size_t height)
{
    const bool nibbles = header.compression == kRle4;
    std::size_t x = 0, y = 0;
    auto put = [&](std::uint8_t index) {
        if (x < width && y < height) pixels[(height - 1 - y) * width + x] = index;
        if (x < width) ++x;
    };
    std::uint8_t count = 0, value = 0;
    while (y < height && in.u8(count) && in.u8(value)) {
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) put(nibbles ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            std::uint8_t dx = 0, dy = 0;
            if (!in.u8(dx) || !in.u8(dy)) break;
            x = std::min(x + dx, width);
            y += dy;
        } else {  // a literal string, padded to a whole word
            const unsigned pixel_count = value;
            const unsigned byte_count = nibbles ? (pixel_count + 1) / 2 : pixel_count;
            std::uint8_t literal[256];
            if (in.read({literal, byte_count + (byte_count & 1)}) < byte_count) break;
            for (unsigned i = 0; i < pixel_count; ++i) {
                const std::uint8_t byte = literal[nibbles ? i / 2 : i];
                put(nibbles ? ((i & 1) ? (byte & 0x0F) : (byte >> 4)) : byte);
            }
        }
    }
}

// Uncompressed rows. They are read in batches of about 256 KiB, straight
// from the stream into a buffer that stays in cache, and converted from
// there into their place: the image is written once. What the data does not
// supply is read as zero bytes.
void decode_rows(ByteReader& in, const BmpHeader& header, const SixteenBitLayout& layout, unsigned char* pixels,
                 std::size_t width, std::size_t height, std::size_t memory_row, std::size_t file_row)
{
    constexpr std::size_t kBatchBytes = std::size_t(1) << 18;
    const std::size_t batch_rows = std::clamp<std::size_t>(kBatchBytes / file_row, 1, height);
    std::vector<std::uint8_t> batch(batch_rows * file_row);
    const bool top_down = header.height < 0;
    for (std::size_t first = 0; first < height && !in.exhausted(); first += batch_rows) {
        const std::size_t rows = std::min(batch_rows, height - first);
        in.read_or_fill({batch.data(), rows * file_row});
        for (std::size_t k = 0; k < rows; ++k) {
            const std::size_t i = first + k;
            unsigned char* row = pixels + (top_down ? i : height - 1 - i) * memory_row;
            const std::uint8_t* data = batch.data() + k * file_row;
            switch (header.bits) {
            case 1:
            case 8: std::memcpy(row, data, memory_row); break;
            case 4:
                std::memcpy(row, data, (width + 1) / 2);
                unpack_nibbles(row, static_cast<int>(width));
                break;
            case 16:
                for (std::size_t x = 0; x < width; ++x) {
                    const std::uint32_t v = data[2 * x] | std::uint32_t(data[2 * x + 1]) << 8;
                    row[3 * x] = layout.red(v);
                    row[3 * x + 1] = layout.green(v);
                    row[3 * x + 2] = layout.blue(v);
                }
                break;
            case 24: swap_red_blue(data, row, width); break;
            }
        }
    }
}

// Headers cut short make a truncated BMP only when the file starts like one.
int refuse_headers(std::FILE* stream)
{
    unsigned char signature[2] = {};
    std::rewind(stream);
    return refuse(std::fread(signature, 1, 2, stream) == 2 && signature[0] == 'B' && signature[1] == 'M');
}

}  // namespace

int read_bmp_stream(std::FILE* stream, PicImage* pic)
{
    ByteReader in(stream);
    BmpHeader header;
    if (!read_headers(in, header)) return refuse_headers(stream);
    const int bits = header.bits;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24) {
        set_failure(Failure::Unsupported);
        return 0;
    }
    if (!compression_supported(header)) {
        set_failure(Failure::Unsupported);
        return 0;
    }
    const std::int64_t height = header.height < 0 ? -header.height : header.height;
    if (header.width < 1 || height < 1 || height > INT32_MAX) return refuse(false);

    const int memory_bits = bits == 16 ? 24 : bits;
    PixelBlock pixels = allocate_image(header.width, height, memory_bits);
    if (!pixels) return 0;
    const auto width = static_cast<std::size_t>(header.width);
    const std::size_t memory_row = *row_bytes(header.width, memory_bits);
    pic->width = static_cast<std::int32_t>(header.width);
    pic->height = static_cast<std::int32_t>(height);
    pic->bits = bits;
    pic->colours = header.colours();
    read_palette(in, header, pic);
    const SixteenBitLayout layout = bits == 16 ? sixteen_bit_layout(in, header) : SixteenBitLayout{};

    if (in.seek(header.pixel_offset)) {
        if (header.compression == kRle8 || header.compression == kRle4)
            decode_rle(in, header, pixels.get(), width, static_cast<std::size_t>(height));
        else
            decode_rows(in, header, layout, pixels.get(), width, static_cast<std::size_t>(height), memory_row,
                        file_row_bytes(width, bits));
    }
    if (in.exhausted()) warn_filled_in();

    if (bits == 16) pic->bits = 24;
    if (pic->bits == 24) describe(pic, "BMP : %ldx%ld - 24bit", long(pic->width), long(pic->height));
    else describe(pic, "BMP : %ldx%ld - %ld Colours", long(pic->width), long(pic->height), long(pic->colours));
    pic->pixels = pixels.release();
    return 1;
}

// The two headers of a picture of `colours` palette entries (none for 24 bits).
void write_headers(OutputFile& out, std::int32_t width, std::int32_t height, int bits, int colours)
{
    // Colours used stays 0 for a full palette; a shorter one is declared so
    // that other readers do not take pixel bytes for palette entries.
    const int full_palette = bits == 24 ? 0 : 1 << bits;
    const std::uint32_t colours_used = colours == full_palette ? 0 : static_cast<std::uint32_t>(colours);
    const std::uint32_t pixel_offset = kFileHeaderBytes + kInfoHeaderBytes + 4 * static_cast<std::uint32_t>(colours);

    // The real file size: other readers refuse a 0 there. Zero only if it
    // does not fit the field.
    const auto file_size = checked_add(pixel_offset, file_row_bytes(std::size_t(width), bits) * std::size_t(height));
    const std::uint32_t size_field = file_size && *file_size <= UINT32_MAX ? static_cast<std::uint32_t>(*file_size) : 0;

    out.write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("BM"), 2));
    out.u32le(size_field);
    out.u32le(0);  // two reserved words
    out.u32le(pixel_offset);
    out.u32le(kInfoHeaderBytes);
    out.u32le(static_cast<std::uint32_t>(width));
    out.u32le(static_cast<std::uint32_t>(height));
    out.u16le(1);  // planes
    out.u16le(static_cast<std::uint16_t>(bits));
    out.u32le(kRgb);
    out.u32le(0);  // image size
    out.u32le(1);  // horizontal resolution
    out.u32le(1);  // vertical resolution
    out.u32le(colours_used);
    out.u32le(0);  // important colours
}

namespace {

// The bit count a record is stored with: indexes of 2 to 7 bits widen to 8,
// so every record the readers make has a row layout.
int stored_bits(int bits)
{
    if (bits == 1 || bits == 4 || bits == 8 || bits == 24) return bits;
    if (bits >= 2 && bits <= 7) return 8;
    return 0;
}

bool write_rows(OutputFile& out, const PicImage* pic, int bits)
{
    const auto width = static_cast<std::size_t>(pic->width);
    const std::size_t memory_row = *row_bytes(pic->width, pic->bits);
    const std::size_t file_row = file_row_bytes(width, bits);
    // Rows go out in batches of about 256 KiB, small enough to stay in
    // cache and large enough for the stream to hand them straight to the
    // system instead of copying them through its buffer.
    const std::size_t batch_rows = std::max<std::size_t>(1, (std::size_t(1) << 18) / file_row);
    std::vector<std::uint8_t> batch(std::min(batch_rows, static_cast<std::size_t>(pic->height)) * file_row, 0);
    std::size_t filled = 0;
    for (std::size_t i = static_cast<std::size_t>(pic->height); i-- > 0;) {
        const unsigned char* row = pic->pixels + i * memory_row;
        std::uint8_t* out_row = batch.data() + filled;
        switch (bits) {
        case 1:
            std::memcpy(out_row, row, memory_row);
            if (width % 8) out_row[memory_row - 1] &= static_cast<std::uint8_t>(0xFF00 >> (width % 8));
            break;
        case 4:
            for (std::size_t x = 0; x < width; x += 2) {
                const std::uint8_t right = x + 1 < width ? row[x + 1] & 0x0F : 0;
                out_row[x / 2] = static_cast<std::uint8_t>((row[x] & 0x0F) << 4 | right);
            }
            break;
        case 8: std::memcpy(out_row, row, memory_row); break;
        case 24: swap_red_blue(row, out_row, width); break;
        }
        filled += file_row;
        if (filled == batch.size() || i == 0) {
            if (!out.write({batch.data(), filled})) return false;
            filled = 0;
        }
    }
    return true;
}

}  // namespace

int read_bmp(const char* path, PicImage* pic)
{
    return read_path(path, pic, read_bmp_stream);
}

int write_bmp(const char* path, PicImage* pic)
{
    const int bits = stored_bits(pic->bits);
    if (!pic->pixels || bits == 0 || pic->width < 1 || pic->height < 1) return 0;
    if (!image_bytes(pic->width, pic->height, pic->bits)) return 0;

    const int full_palette = bits == 24 ? 0 : 1 << bits;
    // More entries than the bit count can index makes a file other readers refuse.
    const int colours = bits == 24                                            ? 0
                        : (pic->colours >= 1 && pic->colours <= full_palette) ? pic->colours
                                                                              : full_palette;

    OutputFile out(path, pic);
    if (!out) return 0;
    write_headers(out, pic->width, pic->height, bits, colours);
    std::vector<std::uint8_t> palette(4 * static_cast<std::size_t>(colours), 0);
    for (std::size_t i = 0; i < std::size_t(colours); ++i) {
        palette[4 * i] = pic->palette[3 * i + 2];
        palette[4 * i + 1] = pic->palette[3 * i + 1];
        palette[4 * i + 2] = pic->palette[3 * i];
    }
    out.write(palette);
    if (!write_rows(out, pic, bits)) return 0;
    return out.commit() ? 1 : 0;
}

}  // namespace zarn

extern "C" ZARNGFX_EXPORT int _checkbmp(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic) return 0;
    return guarded([&] {
        FilePtr stream{std::fopen(path, "rb")};
        if (!stream) return 0;
        ByteReader in(stream.get());
        BmpHeader header;
        if (!read_headers(in, header)) return 0;
        const std::int64_t height = header.height < 0 ? -header.height : header.height;
        pic->width = static_cast<std::int32_t>(header.width);
        pic->height = static_cast<std::int32_t>(std::min<std::int64_t>(height, INT32_MAX));
        pic->bits = header.bits;
        pic->colours = header.colours();
        read_palette(in, header, pic);
        if (pic->bits > 8)
            describe(pic, "BMP : %ldx%ld - %ldbit", long(pic->width), long(pic->height), long(pic->bits));
        else describe(pic, "BMP : %ldx%ld - %ld Colours", long(pic->width), long(pic->height), long(pic->colours));
        return 1;
    });
}
