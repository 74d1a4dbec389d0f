// Writes GIF files byte by byte for the tests, with an LZW coder that never compresses.
#pragma once

#include "support/test_support.h"

#include <optional>

namespace zarn::test {

// Pixels are palette indexes, top-down. The image data is coded without
// ever growing the code size: each pixel is emitted as its own root code,
// and a clear code comes before the dictionary would need a wider code, so
// the coder shares nothing with the library's.
class GifBuilder {
public:
    GifBuilder& screen(int width, int height)
    {
        screen_width_ = width;
        screen_height_ = height;
        return *this;
    }
    // Also sets the screen to the same size unless screen() says otherwise.
    GifBuilder& size(int width, int height)
    {
        width_ = width;
        height_ = height;
        return *this;
    }
    // A table of 2 << size_code entries, padded with black.
    GifBuilder& global_table(const Bytes& rgb, int size_code)
    {
        global_ = padded(rgb, size_code);
        global_code_ = size_code;
        return *this;
    }
    GifBuilder& local_table(const Bytes& rgb, int size_code)
    {
        local_ = padded(rgb, size_code);
        local_code_ = size_code;
        return *this;
    }
    // Without a table, the screen's size code still says how many colours.
    GifBuilder& screen_size_code(int size_code)
    {
        global_code_ = size_code;
        return *this;
    }
    GifBuilder& interlaced()
    {
        interlaced_ = true;
        return *this;
    }
    GifBuilder& code_size(int minimum)
    {
        code_size_ = minimum;
        return *this;
    }
    GifBuilder& pixels(const Rows& rows)
    {
        rows_ = rows;
        return *this;
    }
    GifBuilder& before_image(const Bytes& bytes)
    {
        before_.insert(before_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    GifBuilder& after_image(const Bytes& bytes)
    {
        after_ = bytes;
        return *this;
    }
    // Raw LZW bytes to put into sub-blocks instead of coding pixels().
    GifBuilder& lzw_data(const Bytes& raw)
    {
        raw_ = raw;
        return *this;
    }
    GifBuilder& without_end_code()
    {
        end_code_ = false;
        return *this;
    }

    Bytes bytes() const
    {
        const int screen_w = screen_width_ ? screen_width_ : width_;
        const int screen_h = screen_height_ ? screen_height_ : height_;
        Bytes out{'G', 'I', 'F', '8', '9', 'a'};
        put16(out, screen_w);
        put16(out, screen_h);
        out.push_back(std::uint8_t((global_ ? 0x80 : 0) | (global_code_ << 4) | global_code_));
        out.push_back(0);
        out.push_back(0);
        if (global_) out.insert(out.end(), global_->begin(), global_->end());
        out.insert(out.end(), before_.begin(), before_.end());
        out.push_back(',');
        put16(out, 0);
        put16(out, 0);
        put16(out, width_);
        put16(out, height_);
        out.push_back(std::uint8_t((local_ ? 0x80 : 0) | (interlaced_ ? 0x40 : 0) | local_code_));
        if (local_) out.insert(out.end(), local_->begin(), local_->end());
        out.push_back(std::uint8_t(code_size_));
        const Bytes data = raw_ ? *raw_ : coded();
        for (std::size_t at = 0; at < data.size(); at += 255) {
            const std::size_t count = std::min<std::size_t>(255, data.size() - at);
            out.push_back(std::uint8_t(count));
            out.insert(out.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + count));
        }
        out.push_back(0);
        out.insert(out.end(), after_.begin(), after_.end());
        out.push_back(';');
        return out;
    }
    void write(const std::string& path) const { write_file(path, bytes()); }

    // Codes of `bits` bits each, packed least significant bit first.
    static Bytes pack_codes(const std::vector<unsigned>& codes, int bits)
    {
        Bytes out;
        std::uint32_t accumulator = 0;
        int held = 0;
        for (unsigned code : codes) {
            accumulator |= code << held;
            held += bits;
            while (held >= 8) {
                out.push_back(std::uint8_t(accumulator));
                accumulator >>= 8;
                held -= 8;
            }
        }
        if (held) out.push_back(std::uint8_t(accumulator));
        return out;
    }

private:
    static void put16(Bytes& out, int v)
    {
        out.push_back(std::uint8_t(v));
        out.push_back(std::uint8_t(v >> 8));
    }
    static Bytes padded(Bytes rgb, int size_code)
    {
        rgb.resize(3 * (std::size_t(2) << size_code), 0);
        return rgb;
    }

    Bytes coded() const
    {
        if (code_size_ < 2 || code_size_ > 11) return {};  // no valid coding: the header is the test
        const unsigned clear = 1u << code_size_;
        const unsigned run = clear - 2;  // roots between clears, so the code size never grows
        std::vector<unsigned> codes;
        unsigned since_clear = run;
        for (const Bytes& row : file_order_rows())
            for (std::uint8_t index : row) {
                if (since_clear == run) {
                    codes.push_back(clear);
                    since_clear = 0;
                }
                codes.push_back(index);
                ++since_clear;
            }
        if (end_code_) codes.push_back(clear + 1);
        return pack_codes(codes, code_size_ + 1);
    }

    Rows file_order_rows() const
    {
        if (!interlaced_) return rows_;
        Rows order;
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (std::size_t y = std::size_t(start); y < rows_.size(); y += std::size_t(step))
                order.push_back(rows_[y]);
        return order;
    }

    int screen_width_ = 0, screen_height_ = 0, width_ = 1, height_ = 1;
    std::optional<Bytes> global_, local_;
    int global_code_ = 0, local_code_ = 0;
    bool interlaced_ = false;
    int code_size_ = 8;
    Rows rows_;
    Bytes before_, after_;
    std::optional<Bytes> raw_;
    bool end_code_ = true;
};

}  // namespace zarn::test
