// GIF: reader for the first image of a GIF87a/89a file, writer of one-image GIF87a files.
#include "byte_reader.h"
#include "checked.h"
#include "codecs.h"
#include "gif_lzw.h"
#include "progress.h"
#include "record.h"
#include "write_path.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace zarn {

// ---------------------------------------------------------------- reading

namespace gif {
namespace {

// The decoder's dictionary. Each entry knows its length and first byte, so
// a string is written back to front straight into place, with no stack.
struct Dictionary {
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint8_t, kMaxCodes> suffix{};
    std::array<std::uint8_t, kMaxCodes> first{};
    std::array<std::uint16_t, kMaxCodes> length{};

    void write(unsigned code, unsigned char* out) const
    {
        for (std::size_t i = length[code]; i-- > 1;) {
            out[i] = suffix[code];
            code = prefix[code];
        }
        out[0] = suffix[code];
    }
};

}  // namespace

bool decode_lzw(ByteReader& in, int minimum_code_size, int colours, RowSink& sink)
{
    auto dictionary = std::make_unique<Dictionary>();
    const unsigned clear = 1u << minimum_code_size;
    const unsigned end = clear + 1;
    for (unsigned i = 0; i < clear; ++i) {
        const auto index = static_cast<std::uint8_t>(i < unsigned(colours) ? i : 0);
        dictionary->suffix[i] = dictionary->first[i] = index;
        dictionary->length[i] = 1;
    }

    CodeReader codes(in);
    int code_size = minimum_code_size + 1;
    unsigned next_free = clear + 2;
    unsigned previous = kMaxCodes;  // none since the last clear
    unsigned code = 0;
    while (!sink.full() && codes.next(code_size, code)) {
        if (code == clear) {
            code_size = minimum_code_size + 1;
            next_free = clear + 2;
            previous = kMaxCodes;
            continue;
        }
        if (code == end) break;
        unsigned char* out = sink.reserve();
        if (previous == kMaxCodes) {
            if (code >= clear) break;  // only a root may follow a clear
            dictionary->write(code, out);
            sink.commit(1);
            previous = code;
            continue;
        }
        std::uint8_t first_byte = 0;
        std::size_t length = 0;
        if (code < next_free) {
            dictionary->write(code, out);
            length = dictionary->length[code];
            first_byte = dictionary->first[code];
        } else if (code == next_free && next_free < unsigned(kMaxCodes)) {
            // The string being defined right now: the previous one plus
            // its own first byte.
            dictionary->write(previous, out);
            length = dictionary->length[previous] + 1u;
            first_byte = dictionary->first[previous];
            out[length - 1] = first_byte;
        } else {
            break;  // a code past the next free one: corrupt data
        }
        if (next_free < unsigned(kMaxCodes)) {
            dictionary->prefix[next_free] = static_cast<std::uint16_t>(previous);
            dictionary->suffix[next_free] = first_byte;
            dictionary->first[next_free] = dictionary->first[previous];
            dictionary->length[next_free] = static_cast<std::uint16_t>(dictionary->length[previous] + 1u);
            ++next_free;
            if (next_free == (1u << code_size) && code_size < kMaxCodeBits) ++code_size;
        }
        sink.commit(length);
        previous = code;
    }
    sink.finish();
    return codes.ended();
}

}  // namespace gif

namespace {

using namespace gif;

// Reads a colour table of `entries` entries into the palette; a table the
// file cuts short is black from there on.
void read_colour_table(ByteReader& in, PicImage* pic, int entries)
{
    std::memset(pic->palette, 0, sizeof pic->palette);
    in.read_or_fill({pic->palette, 3 * static_cast<std::size_t>(entries)});
}

// Skips extension blocks and stray bytes up to the first image separator.
bool find_first_image(ByteReader& in)
{
    std::uint8_t b = 0;
    while (in.u8(b)) {
        if (b == kTrailer) return false;
        if (b == kImageSeparator) return true;
        if (b != kExtensionIntroducer) continue;
        std::uint8_t label = 0, count = 0;
        if (!in.u8(label)) return false;
        while (in.u8(count) && count != 0)
            if (!in.skip(count)) return false;
    }
    return false;
}

}  // namespace

int read_gif_stream(std::FILE* stream, PicImage* pic)
{
    ByteReader in(stream);
    std::uint8_t header[6] = {};
    if (in.read(header) != sizeof header || std::memcmp(header, "GIF", 3) != 0) return refuse(false);

    std::uint16_t screen_width = 0, screen_height = 0;
    std::uint8_t screen_flags = 0, background = 0, aspect = 0;
    if (!in.u16le(screen_width) || !in.u16le(screen_height) || !in.u8(screen_flags) || !in.u8(background) ||
        !in.u8(aspect))
        return refuse(true);
    int table_size_code = screen_flags & 7;
    describe(pic, "Gif : %ldx%ld - %ld Colours", long(screen_width), long(screen_height), 2L << table_size_code);
    const bool global_table = screen_flags & 0x80;
    if (global_table) read_colour_table(in, pic, 2 << table_size_code);

    if (!find_first_image(in)) return refuse(in.exhausted());
    std::uint16_t left = 0, top = 0, width = 0, height = 0;
    std::uint8_t image_flags = 0;
    if (!in.u16le(left) || !in.u16le(top) || !in.u16le(width) || !in.u16le(height) || !in.u8(image_flags))
        return refuse(true);
    const bool interlaced = image_flags & 0x40;
    if (image_flags & 0x80) {
        // A local table brings its own size, which then sets the image's kind.
        table_size_code = image_flags & 7;
        read_colour_table(in, pic, 2 << table_size_code);
    } else if (!global_table) {
        std::memset(pic->palette, 0, sizeof pic->palette);
        pic->colours = 2 << table_size_code;
        set_grey_palette(pic);
    }

    std::uint8_t minimum_code_size = 0;
    if (!in.u8(minimum_code_size) || minimum_code_size < 2 || minimum_code_size > 11) return refuse(in.exhausted());

    const int table_bits = table_size_code + 1;
    const int bits = table_bits > 4 ? 8 : table_bits;
    const int colours = table_bits > 4 ? 256 : 1 << table_bits;
    PixelBlock pixels = allocate_image(width, height, bits);
    if (!pixels) return 0;

    pic->width = width;
    pic->height = height;
    pic->bits = bits;
    pic->colours = colours;
    RowSink sink(pic, pixels.get(), width, height, interlaced, bits);
    decode_lzw(in, minimum_code_size, colours, sink);
    if (sink.filled_in() && in.exhausted()) warn_filled_in();
    pic->pixels = pixels.release();
    return 1;
}

int read_gif(const char* path, PicImage* pic)
{
    return read_path(path, pic, read_gif_stream);
}

// ---------------------------------------------------------------- writing

namespace {

constexpr int kHashSlots = 5003;  // a prime, about 1.2 times the 4096 codes

// Packs codes least significant bit first into sub-blocks of up to 255
// bytes, collected in one buffer that goes to the file in large writes.
class CodeWriter {
public:
    explicit CodeWriter(OutputFile& out) : out_(out) { buffer_.reserve(kFlushBytes + 256); }

    void put(unsigned code, int bits)
    {
        accumulator_ |= std::uint64_t(code) << held_;
        held_ += bits;
        while (held_ >= 8) {
            byte(static_cast<std::uint8_t>(accumulator_));
            accumulator_ >>= 8;
            held_ -= 8;
        }
    }

    // The last partial byte, the pending sub-block and the terminator.
    void finish()
    {
        if (held_ > 0) byte(static_cast<std::uint8_t>(accumulator_));
        held_ = 0;
        accumulator_ = 0;
        close_block();
        buffer_.push_back(0);
        flush();
    }

private:
    static constexpr std::size_t kFlushBytes = 1 << 16;

    void byte(std::uint8_t b)
    {
        block_[count_++] = b;
        if (count_ == 255) close_block();
    }

    void close_block()
    {
        if (count_ == 0) return;
        buffer_.push_back(static_cast<std::uint8_t>(count_));
        buffer_.insert(buffer_.end(), block_.begin(), block_.begin() + static_cast<std::ptrdiff_t>(count_));
        count_ = 0;
        if (buffer_.size() >= kFlushBytes) flush();
    }

    void flush()
    {
        out_.write(buffer_);
        buffer_.clear();
    }

    OutputFile& out_;
    std::vector<std::uint8_t> buffer_;
    std::array<std::uint8_t, 255> block_{};
    std::size_t count_ = 0;
    std::uint64_t accumulator_ = 0;
    int held_ = 0;
};

// The LZW encoder with its dictionary in an open-addressing hash table:
// the key of a string is its prefix code times 256 plus its last byte.
class Encoder {
public:
    Encoder(CodeWriter& writer, int minimum_code_size)
        : writer_(writer), initial_bits_(minimum_code_size + 1), clear_(1u << minimum_code_size)
    {
        codes_.fill(0);
        reset_code_size();
        next_free_ = clear_ + 2;
        emit(clear_);
    }

    void feed(const std::uint8_t* indexes, std::size_t count)
    {
        std::size_t i = 0;
        if (!started_ && count > 0) {
            prefix_ = indexes[i++];
            started_ = true;
        }
        for (; i < count; ++i) add(indexes[i]);
    }

    void finish()
    {
        if (started_) emit(prefix_);
        emit(clear_ + 1);
        writer_.finish();
    }

private:
    void add(unsigned k)
    {
        const std::int32_t key = static_cast<std::int32_t>(prefix_ << 8 | k);
        int slot = static_cast<int>(k * 16 + prefix_);
        if (slot >= kHashSlots) slot -= kHashSlots;
        if (codes_[std::size_t(slot)] != 0) {
            if (keys_[std::size_t(slot)] == key) {
                prefix_ = codes_[std::size_t(slot)];
                return;
            }
            const int step = slot == 0 ? 1 : kHashSlots - slot;
            do {
                slot -= step;
                if (slot < 0) slot += kHashSlots;
                if (codes_[std::size_t(slot)] != 0 && keys_[std::size_t(slot)] == key) {
                    prefix_ = codes_[std::size_t(slot)];
                    return;
                }
            } while (codes_[std::size_t(slot)] != 0);
        }
        emit(prefix_);
        if (next_free_ < unsigned(kMaxCodes)) {
            codes_[std::size_t(slot)] = static_cast<std::uint16_t>(next_free_++);
            keys_[std::size_t(slot)] = key;
        } else {
            codes_.fill(0);
            next_free_ = clear_ + 2;
            writer_.put(clear_, bits_);  // at the old size, then back to the first
            reset_code_size();
        }
        prefix_ = k;
    }

    void emit(unsigned code)
    {
        writer_.put(code, bits_);
        if (next_free_ > max_code_) {
            ++bits_;
            max_code_ = bits_ == kMaxCodeBits ? unsigned(kMaxCodes) : (1u << bits_) - 1;
        }
    }

    void reset_code_size()
    {
        bits_ = initial_bits_;
        max_code_ = (1u << bits_) - 1;
    }

    CodeWriter& writer_;
    const int initial_bits_;
    const unsigned clear_;
    std::array<std::uint16_t, kHashSlots> codes_{};  // 0: empty slot
    std::array<std::int32_t, kHashSlots> keys_{};
    int bits_ = 0;
    unsigned max_code_ = 0;
    unsigned next_free_ = 0;
    unsigned prefix_ = 0;
    bool started_ = false;
};

}  // namespace

// A packed 1-bit record becomes a 2-colour GIF from its bits; 2 to 8 bits
// are written with a table of 2 to the power `bits` entries, and index
// bytes beyond that table are cut to its size so the data stays decodable.
int write_gif(const char* path, PicImage* pic)
{
    const int bits = pic->bits;
    if (bits < 1 || bits > 8 || !pic->pixels) return 0;
    if (pic->width < 1 || pic->height < 1 || pic->width > 0xFFFF || pic->height > 0xFFFF) return 0;
    if (!image_bytes(pic->width, pic->height, bits)) return 0;

    const auto width = static_cast<std::size_t>(pic->width);
    const auto height = static_cast<std::size_t>(pic->height);
    const int minimum_code_size = std::max(bits, 2);
    std::vector<std::uint8_t> row_indexes(width);

    OutputFile out(path, pic);
    if (!out) return 0;
    out.write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("GIF87a"), 6));
    out.u16le(static_cast<std::uint16_t>(width));
    out.u16le(static_cast<std::uint16_t>(height));
    out.u8(static_cast<std::uint8_t>(0x80 + (bits - 1) * 16 + (bits - 1)));
    out.u8(0);  // background colour
    out.u8(0);  // aspect ratio
    out.write({pic->palette, 3 * (std::size_t(1) << bits)});
    out.u8(kImageSeparator);
    out.u16le(0);
    out.u16le(0);
    out.u16le(static_cast<std::uint16_t>(width));
    out.u16le(static_cast<std::uint16_t>(height));
    out.u8(0);  // no local table, not interlaced
    out.u8(static_cast<std::uint8_t>(minimum_code_size));

    CodeWriter writer(out);
    auto encoder = std::make_unique<Encoder>(writer, minimum_code_size);
    const std::size_t memory_row = *row_bytes(pic->width, bits);
    const auto index_mask = static_cast<std::uint8_t>((1u << bits) - 1);
    for (std::size_t y = 0; y < height; ++y) {
        const unsigned char* row = pic->pixels + y * memory_row;
        if (bits == 1) {
            for (std::size_t x = 0; x < width; ++x)
                row_indexes[x] = static_cast<std::uint8_t>(row[x / 8] >> (7 - x % 8) & 1u);
            encoder->feed(row_indexes.data(), width);
        } else if (bits == 8) {
            encoder->feed(row, width);
        } else {
            for (std::size_t x = 0; x < width; ++x) row_indexes[x] = row[x] & index_mask;
            encoder->feed(row_indexes.data(), width);
        }
        report_progress(pic, std::int64_t(y), std::int64_t(height));
        if (!out.ok()) return 0;
    }
    encoder->finish();
    out.u8(kTrailer);
    return out.commit() ? 1 : 0;
}

}  // namespace zarn
