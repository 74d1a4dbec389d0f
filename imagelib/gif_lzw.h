// GIF image data: sub-blocks, LZW codes and rows in file order, shared by the first-image reader and the frames.
#pragma once

#include "byte_reader.h"
#include "progress.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace zarn::gif {

constexpr int kMaxCodeBits = 12;
constexpr int kMaxCodes = 1 << kMaxCodeBits;  // 4096 dictionary entries
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;

// The image data's sub-blocks as one stream of bytes. It ends at the
// terminating sub-block of count 0 or at the end of the file.
class SubBlockStream {
public:
    explicit SubBlockStream(ByteReader& in) : in_(in) {}

    bool u8(std::uint8_t& value)
    {
        if (pos_ == size_ && !next_block()) return false;
        value = block_[pos_++];
        return true;
    }

    // Whether the terminating sub-block (or the end of the file) was reached.
    bool ended() const { return ended_; }

private:
    bool next_block()
    {
        std::uint8_t count = 0;
        if (ended_ || !in_.u8(count) || count == 0) {
            ended_ = true;
            return false;
        }
        size_ = in_.read({block_.data(), count});
        pos_ = 0;
        if (size_ < count) ended_ = true;  // the file ends inside the block: use what is there
        return size_ > 0;
    }

    ByteReader& in_;
    std::array<std::uint8_t, 255> block_{};
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
    bool ended_ = false;
};

// Variable-width codes, packed least significant bit first.
class CodeReader {
public:
    explicit CodeReader(ByteReader& in) : bytes_(in) {}

    bool next(int bits, unsigned& code)
    {
        while (held_ < bits) {
            std::uint8_t b = 0;
            if (!bytes_.u8(b)) return false;
            accumulator_ |= std::uint32_t(b) << held_;
            held_ += 8;
        }
        code = accumulator_ & ((1u << bits) - 1);
        accumulator_ >>= bits;
        held_ -= bits;
        return true;
    }

    bool ended() const { return bytes_.ended(); }

private:
    SubBlockStream bytes_;
    std::uint32_t accumulator_ = 0;
    int held_ = 0;
};

// Where decoded pixels go: one row at a time, in the order the file stores
// them, into the row of the image that order names. Strings are written
// whole into `pending_` (a row plus the longest string), and every full row
// is handed on from there.
class RowSink {
public:
    RowSink(PicImage* pic, unsigned char* pixels, std::size_t width, std::size_t height, bool interlaced, int bits)
        : pic_(pic),
          pixels_(pixels),
          width_(width),
          height_(height),
          interlaced_(interlaced),
          bits_(bits),
          memory_row_(bits == 1 ? (width + 7) / 8 : width),
          pending_(width + kMaxCodes + 1)
    {
    }

    bool full() const { return rows_done_ == height_; }
    bool filled_in() const { return filled_in_; }

    // Room for `length` more bytes at the end of the pending data; the
    // caller fills exactly that many and then calls commit().
    unsigned char* reserve() { return pending_.data() + fill_; }

    void commit(std::size_t length)
    {
        fill_ += length;
        std::size_t start = 0;
        while (fill_ - start >= width_ && !full()) {
            emit(pending_.data() + start);
            start += width_;
        }
        if (full()) {
            fill_ = 0;
            return;
        }
        if (start) {
            std::memmove(pending_.data(), pending_.data() + start, fill_ - start);
            fill_ -= start;
        }
    }

    // Rows the data never supplied: the partial row is completed with 0,
    // and the rows after it stay 0 as allocated.
    void finish()
    {
        if (full()) return;
        filled_in_ = true;
        if (fill_ > 0) {
            std::fill(pending_.begin() + static_cast<std::ptrdiff_t>(fill_), pending_.end(), 0);
            emit(pending_.data());
        }
        rows_done_ = height_;
    }

private:
    // Interlaced files store rows 0, 8, 16, ...; then 4, 12, ...; then
    // 2, 6, ...; then 1, 3, ....
    std::size_t target_row()
    {
        if (!interlaced_) return rows_done_;
        static constexpr std::size_t kStart[4] = {0, 4, 2, 1};
        static constexpr std::size_t kStep[4] = {8, 8, 4, 2};
        while (pass_row_ >= height_ && pass_ < 3) {
            ++pass_;
            pass_row_ = kStart[pass_];
        }
        const std::size_t row = pass_row_;
        pass_row_ += kStep[pass_];
        return row;
    }

    void emit(const unsigned char* indexes)
    {
        const std::size_t row = target_row();
        ++rows_done_;
        if (row >= height_) return;
        if (!interlaced_) report_progress(pic_, std::int64_t(row), std::int64_t(height_));
        unsigned char* out = pixels_ + row * memory_row_;
        if (bits_ == 1) {
            // Eight pixels to a byte, the leftmost in the high bit.
            std::size_t x = 0;
            for (; x + 8 <= width_; x += 8) {
                const unsigned char* in = indexes + x;
                out[x / 8] = static_cast<unsigned char>((in[0] & 1u) << 7 | (in[1] & 1u) << 6 | (in[2] & 1u) << 5 |
                                                        (in[3] & 1u) << 4 | (in[4] & 1u) << 3 | (in[5] & 1u) << 2 |
                                                        (in[6] & 1u) << 1 | (in[7] & 1u));
            }
            if (x < width_) {
                unsigned last = 0;
                for (std::size_t bit = 0; x + bit < width_; ++bit) last |= (indexes[x + bit] & 1u) << (7 - bit);
                out[x / 8] = static_cast<unsigned char>(last);
            }
        } else {
            std::memcpy(out, indexes, width_);
        }
    }

    PicImage* pic_;
    unsigned char* pixels_;
    std::size_t width_, height_;
    bool interlaced_;
    int bits_;
    std::size_t memory_row_;
    std::vector<unsigned char> pending_;
    std::size_t fill_ = 0;
    std::size_t rows_done_ = 0;
    int pass_ = 0;
    std::size_t pass_row_ = 0;
    bool filled_in_ = false;
};

// Standard GIF LZW. Decoding stops at the end code, at the end of the data,
// at a code the dictionary cannot yet hold (corrupt data), or once every
// row is filled; whatever is missing then reads as index 0. `colours`
// bounds the root codes: an index past the palette reads as 0. True when
// the data's terminating sub-block was read too; otherwise the reader stands
// at the next sub-block's count.
bool decode_lzw(ByteReader& in, int minimum_code_size, int colours, RowSink& sink);

}  // namespace zarn::gif
