// Block-buffered little- and big-endian reads from a stdio stream, and the same fields read from memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <span>
#include <vector>

namespace zarn {

// Fixed-size fields of a header already in memory.
inline std::uint16_t le16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}
inline std::uint16_t be16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}
inline std::uint32_t be32(const std::uint8_t* at)
{
    return std::uint32_t(at[0]) << 24 | std::uint32_t(at[1]) << 16 | std::uint32_t(at[2]) << 8 | at[3];
}

// Reads the stream in blocks and hands out bytes, words and whole rows. Every
// call says whether the data was there; `exhausted()` stays true once a read
// ran past the end, so a loop over file data can stop on it.
class ByteReader {
public:
    explicit ByteReader(std::FILE* stream, std::size_t block = 1 << 16)
        : stream_(stream), buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(block)), capacity_(block)
    {
    }

    bool u8(std::uint8_t& value)
    {
        if (pos_ == end_ && !refill()) return false;
        value = buffer_[pos_++];
        return true;
    }
    bool u16le(std::uint16_t& value) { return word<2, false>(value); }
    bool u32le(std::uint32_t& value) { return word<4, false>(value); }
    bool u16be(std::uint16_t& value) { return word<2, true>(value); }
    bool u32be(std::uint32_t& value) { return word<4, true>(value); }

    // Fills `out` as far as the data goes and returns how many bytes that was.
    std::size_t read(std::span<std::uint8_t> out)
    {
        std::size_t done = 0;
        while (done < out.size()) {
            if (pos_ == end_) {
                // Large requests bypass the buffer once it is drained.
                if (out.size() - done >= capacity_) {
                    const std::size_t got = std::fread(out.data() + done, 1, out.size() - done, stream_);
                    offset_ += got;
                    done += got;
                    if (done < out.size()) exhausted_ = true;
                    break;
                }
                if (!refill()) break;
            }
            const std::size_t take = std::min(end_ - pos_, out.size() - done);
            std::memcpy(out.data() + done, buffer_.get() + pos_, take);
            pos_ += take;
            done += take;
        }
        return done;
    }

    // Like read(), but whatever the data does not supply becomes `fill`.
    bool read_or_fill(std::span<std::uint8_t> out, std::uint8_t fill = 0)
    {
        const std::size_t got = read(out);
        std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), fill);
        return got == out.size();
    }

    bool skip(std::uint64_t count)
    {
        const std::uint64_t buffered = end_ - pos_;
        if (count <= buffered) {
            pos_ += static_cast<std::size_t>(count);
            return true;
        }
        return seek(tell() + count);
    }

    // Absolute position in the stream. Seeking past the end is allowed; the
    // next read then reports the end.
    bool seek(std::uint64_t position)
    {
        if (position > static_cast<std::uint64_t>(INT64_MAX)) return false;
        if (position >= offset_ - end_ && position <= offset_) {
            pos_ = static_cast<std::size_t>(position - (offset_ - end_));
            if (pos_ < end_) exhausted_ = false;
            return true;
        }
        pos_ = end_ = 0;
        if (fseeko(stream_, static_cast<off_t>(position), SEEK_SET) != 0) return false;
        offset_ = position;
        exhausted_ = false;
        return true;
    }

    std::uint64_t tell() const { return offset_ - (end_ - pos_); }
    bool exhausted() const { return exhausted_; }

    // Size of the whole stream, or nothing for a stream that cannot seek.
    std::optional<std::uint64_t> size()
    {
        const off_t here = ftello(stream_);
        if (here < 0 || fseeko(stream_, 0, SEEK_END) != 0) return std::nullopt;
        const off_t total = ftello(stream_);
        if (fseeko(stream_, here, SEEK_SET) != 0 || total < 0) return std::nullopt;
        return static_cast<std::uint64_t>(total);
    }

private:
    template <int N, bool BigEndian, typename T>
    bool word(T& value)
    {
        std::uint8_t bytes[N];
        if (read(bytes) != N) return false;
        value = 0;
        for (int i = 0; i < N; ++i) {
            const int shift = BigEndian ? 8 * (N - 1 - i) : 8 * i;
            value = static_cast<T>(value | T(bytes[i]) << shift);
        }
        return true;
    }

    bool refill()
    {
        if (exhausted_) return false;
        pos_ = 0;
        end_ = std::fread(buffer_.get(), 1, capacity_, stream_);
        offset_ += end_;
        if (end_ == 0) exhausted_ = true;
        return end_ != 0;
    }

    std::FILE* stream_;
    std::unique_ptr<std::uint8_t[]> buffer_;  // only the bytes up to end_ are ever read
    std::size_t capacity_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::uint64_t offset_ = 0;  // stream position just past the buffered bytes
    bool exhausted_ = false;
};

}  // namespace zarn
