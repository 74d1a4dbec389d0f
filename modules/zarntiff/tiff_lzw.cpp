// TIFF module: a decoder of LZW strips whose table points into what it has already written.
#include "zarntiff.h"

#include <array>
#include <cstring>

namespace zarn::tiff {
namespace {

constexpr unsigned kClear = 256, kEnd = 257, kFirst = 258, kTableSize = 4096, kMaxWidth = 12;

// Codes most significant bit first, taken from the top of a 64-bit buffer
// refilled a byte at a time up to seven bytes ahead.
class CodeReader {
public:
    explicit CodeReader(std::span<const std::uint8_t> in) : in_(in) {}
    bool next(unsigned width, unsigned& code)
    {
        if (held_ < width) {
            if (in_.size() - at_ >= 8) {
                // As many whole bytes as the buffer has room for, in one load.
                std::uint64_t ahead;
                std::memcpy(&ahead, in_.data() + at_, 8);
                ahead = __builtin_bswap64(ahead);
                const unsigned bytes = (64 - held_) / 8;
                bits_ |= ahead >> held_;
                at_ += bytes;
                held_ += 8 * bytes;
                bits_ &= ~std::uint64_t(0) << (64 - held_);
            } else {
                while (held_ <= 56 && at_ < in_.size()) {
                    bits_ |= std::uint64_t(in_[at_++]) << (56 - held_);
                    held_ += 8;
                }
            }
            if (held_ < width) return false;
        }
        code = unsigned(bits_ >> (64 - width));
        bits_ <<= width;
        held_ -= width;
        return true;
    }

private:
    std::span<const std::uint8_t> in_;
    std::size_t at_ = 0;
    std::uint64_t bits_ = 0;  // the next held_ bits, from the top
    unsigned held_ = 0;
};

// A string of earlier output copied eight bytes at a time, past its end
// into what later strings overwrite; the caller has left the room. Only
// bytes before `to` are read as they were, which is all the string has.
void copy_string(std::uint8_t* to, const std::uint8_t* from, std::size_t length)
{
    for (;;) {
        std::uint64_t chunk;
        std::memcpy(&chunk, from, 8);
        std::memcpy(to, &chunk, 8);
        if (length <= 8) return;
        length -= 8;
        from += 8;
        to += 8;
    }
}

}  // namespace

bool decode_lzw_strip(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    // Every string past the single bytes is the one before it plus the first
    // byte of the one after, and both were written one after the other: an
    // entry is where that run of output starts, and its length.
    struct Entry {
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::array<Entry, kTableSize> table;
    CodeReader codes(in);
    std::uint8_t* const base = out.data();
    const std::size_t size = out.size();
    std::size_t at = 0;
    unsigned code = 0;
    if (size == 0 || !codes.next(9, code) || code != kClear) return false;
    for (;;) {
        // Just after a clear code: a single byte starts the table again.
        unsigned width = 9, next = kFirst;
        if (!codes.next(width, code) || code >= kClear) return false;
        std::size_t previous = at, previous_length = 1;
        base[at++] = std::uint8_t(code);
        if (at == size) return true;
        for (;;) {
            if (!codes.next(width, code)) return false;
            std::size_t length = 1;
            if (code < kClear) {
                base[at] = std::uint8_t(code);
            } else {
                if (code == kClear) break;
                // The code about to be added is the string before plus its own first byte.
                const bool adding = code == next;
                if (code == kEnd || code > next) return false;
                const Entry entry =
                    adding ? Entry{std::uint32_t(previous), std::uint32_t(previous_length)} : table[code];
                length = entry.length + (adding ? 1 : 0);
                const std::size_t room = size - at;
                if (length > room) {
                    std::memcpy(base + at, base + entry.offset, room);
                    return true;
                }
                if (room - length >= 8) copy_string(base + at, base + entry.offset, entry.length);
                else std::memcpy(base + at, base + entry.offset, entry.length);
                if (adding) base[at + previous_length] = base[previous];
            }
            if (next == kTableSize) return false;  // a full table takes only a clear code
            table[next] = {std::uint32_t(previous), std::uint32_t(previous_length + 1)};
            if (++next >= (1u << width) - 1 && width < kMaxWidth) ++width;
            previous = at;
            previous_length = length;
            at += length;
            if (at == size) return true;
        }
    }
}

}  // namespace zarn::tiff
