// PBMPlus: reader for PBM, PGM and PPM (ASCII and binary), writers for binary PPM, PGM and PBM.
#include "byte_reader.h"
#include "checked.h"
#include "codecs.h"
#include "progress.h"
#include "record.h"
#include "write_path.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zarn {
namespace {

// A token has at most 15 characters; the 16th byte must end it.
constexpr int kMaxTokenChars = 15;

bool is_separator(std::uint8_t b)
{
    return b == 0 || b == '\t' || b == '\n' || b == '\r' || b == ' ';
}

// A comment runs to the end of its line; the line feed is consumed with it.
void skip_comment(ByteReader& in)
{
    std::uint8_t b = 0;
    while (in.u8(b) && b != '\n') {}
}

// Skips separators and comments; false at the end of the data, else the
// first byte after them is in `b`.
bool skip_to_content(ByteReader& in, std::uint8_t& b)
{
    while (in.u8(b)) {
        if (b == '#') {
            skip_comment(in);
            continue;
        }
        if (!is_separator(b)) return true;
    }
    return false;
}

enum class Token { kValue, kEnd, kBad };

// The next token as a signed decimal number. The byte that ends it is
// consumed, so after the last header token of a binary file the data
// follows directly. A "#" also ends a token and starts a comment.
Token read_token(ByteReader& in, std::int64_t& value)
{
    std::uint8_t b = 0;
    if (!skip_to_content(in, b)) return Token::kEnd;
    char text[kMaxTokenChars + 1] = {};
    int length = 0;
    for (;;) {
        if (length == kMaxTokenChars) return Token::kBad;
        text[length++] = static_cast<char>(b);
        if (!in.u8(b) || is_separator(b)) break;
        if (b == '#') {
            skip_comment(in);
            break;
        }
    }
    int at = 0;
    const bool negative = text[0] == '-';
    if (text[0] == '-' || text[0] == '+') ++at;
    if (at == length || text[at] < '0' || text[at] > '9') return Token::kBad;
    std::int64_t number = 0;  // at most 15 digits: no overflow
    for (; at < length && text[at] >= '0' && text[at] <= '9'; ++at) number = number * 10 + (text[at] - '0');
    value = negative ? -number : number;
    return Token::kValue;
}

// Reads a token that must be there and convert.
bool header_token(ByteReader& in, std::int64_t& value)
{
    return read_token(in, value) == Token::kValue;
}

// Samples run from 0 to the header's maximum (1 to 65535) and are scaled
// to 0..255, rounded; a sample above the maximum counts as the maximum.
// Binary samples take two bytes, most significant first, when the maximum
// is above 255.
class SampleScale {
public:
    explicit SampleScale(std::int64_t maximum) : maximum_(maximum)
    {
        for (std::size_t v = 0; v < byte_table_.size(); ++v) byte_table_[v] = (*this)(std::int64_t(v));
    }

    bool wide() const { return maximum_ > 255; }
    bool identity() const { return maximum_ == 255; }

    std::uint8_t operator()(std::int64_t sample) const
    {
        const std::int64_t v = std::clamp<std::int64_t>(sample, 0, maximum_);
        return static_cast<std::uint8_t>((v * 255 + maximum_ / 2) / maximum_);
    }
    std::uint8_t byte(std::uint8_t sample) const { return byte_table_[sample]; }

private:
    std::int64_t maximum_;
    std::array<std::uint8_t, 256> byte_table_{};
};

// ASCII samples into `out`. The end of the data leaves the rest 0; a token
// that is not a number refuses the file.
bool read_ascii_samples(ByteReader& in, std::span<std::uint8_t> out, const SampleScale& scale)
{
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::int64_t sample = 0;
        const Token token = read_token(in, sample);
        if (token == Token::kBad) return false;
        if (token == Token::kEnd) break;
        out[i] = scale(sample);
    }
    return true;
}

// Binary samples into `out`, `row_samples` at a time. Whatever the file
// does not supply is 0.
void read_binary_samples(ByteReader& in, std::span<std::uint8_t> out, const SampleScale& scale, std::size_t row_samples)
{
    if (scale.identity()) {
        in.read_or_fill(out);
        return;
    }
    std::vector<std::uint8_t> raw(scale.wide() ? 2 * row_samples : row_samples);
    for (std::size_t start = 0; start < out.size(); start += row_samples) {
        const std::size_t got = in.read(raw);
        const std::size_t whole = scale.wide() ? got / 2 : got;
        std::uint8_t* row = out.data() + start;
        for (std::size_t i = 0; i < whole; ++i) row[i] = scale.wide() ? scale(be16(&raw[2 * i])) : scale.byte(raw[i]);
        std::fill(row + whole, row + row_samples, std::uint8_t(0));
    }
}

// P1: one character per pixel, "1" black, separators optional between them.
bool read_ascii_bits(ByteReader& in, PicImage* pic, unsigned char* pixels, std::size_t width, std::size_t height)
{
    const std::size_t row_bytes_count = (width + 7) / 8;
    for (std::size_t y = 0; y < height; ++y) {
        unsigned char* row = pixels + y * row_bytes_count;
        for (std::size_t x = 0; x < width; ++x) {
            std::uint8_t b = 0;
            if (!skip_to_content(in, b)) return true;
            if (b != '0' && b != '1') return false;
            if (b == '1') row[x / 8] = static_cast<unsigned char>(row[x / 8] | 0x80u >> (x % 8));
        }
        report_progress(pic, std::int64_t(y), std::int64_t(height));
    }
    return true;
}

void set_bitmap_palette(PicImage* pic)
{
    std::memset(pic->palette, 0, sizeof pic->palette);
    std::memset(pic->palette, 255, 3);  // entry 0 white, entry 1 black
}

void set_greymap_palette(PicImage* pic)
{
    pic->colours = 256;
    set_grey_palette(pic);
}

}  // namespace

int read_pbm_stream(std::FILE* stream, PicImage* pic)
{
    ByteReader in(stream);
    std::uint8_t first = 0;
    if (!in.u8(first) || first != 'P') return refuse(false);
    std::int64_t variant = 0, width = 0, height = 0;
    if (!header_token(in, variant) || !header_token(in, width) || !header_token(in, height))
        return refuse(in.exhausted());
    if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) return refuse(false);
    describe(pic, "PPM : %ldx%ld ", long(width), long(height));

    std::int64_t maximum = 1;
    if (variant == 2 || variant == 3 || variant == 5 || variant == 6) {
        if (!header_token(in, maximum) || maximum < 1 || maximum > 65535) return refuse(in.exhausted());
    }
    const SampleScale scale(maximum);

    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const char* suffix = nullptr;
    PixelBlock pixels;
    switch (variant) {
    case 1: {
        if (!(pixels = allocate_image(width, height, 1))) return 0;
        if (!read_ascii_bits(in, pic, pixels.get(), w, h)) return refuse(false);
        if (in.exhausted()) warn_filled_in();
        pic->bits = 1;
        pic->colours = 2;
        set_bitmap_palette(pic);
        suffix = "Monochrome ASCII";
        break;
    }
    case 2:
    case 5: {
        if (!(pixels = allocate_image(width, height, 8))) return 0;
        const std::span<std::uint8_t> samples(pixels.get(), w * h);
        if (variant == 2) {
            if (!read_ascii_samples(in, samples, scale)) return refuse(false);
        } else {
            read_binary_samples(in, samples, scale, w);
            if (in.exhausted()) warn_filled_in();
        }
        pic->bits = 8;
        set_greymap_palette(pic);
        suffix = variant == 2 ? "256 Greyscale ASCII" : "256 Greyscale Binary";
        break;
    }
    case 3:
    case 6: {
        if (!(pixels = allocate_image(width, height, 24))) return 0;
        if (variant == 3) {
            for (std::size_t y = 0; y < h; ++y) {
                if (!read_ascii_samples(in, {pixels.get() + y * 3 * w, 3 * w}, scale)) return refuse(false);
                report_progress(pic, std::int64_t(y), std::int64_t(h));
            }
        } else {
            read_binary_samples(in, {pixels.get(), 3 * w * h}, scale, 3 * w);
            if (in.exhausted()) warn_filled_in();
        }
        pic->bits = 24;
        pic->colours = 0;
        suffix = variant == 3 ? "24bit Colour ASCII" : "24bit Colour Binary";
        break;
    }
    case 4: {
        // Packed rows padded to whole bytes, as the record keeps them.
        if (!(pixels = allocate_image(width, height, 1))) return 0;
        if (!in.read_or_fill({pixels.get(), (w + 7) / 8 * h})) warn_filled_in();
        pic->bits = 1;
        pic->colours = 2;
        set_bitmap_palette(pic);
        suffix = "Monochrome Binary";
        break;
    }
    default: return refuse(false);
    }
    pic->width = static_cast<std::int32_t>(width);
    pic->height = static_cast<std::int32_t>(height);
    const std::size_t head = std::strlen(pic->description);
    std::snprintf(pic->description + head, sizeof pic->description - head, "%s", suffix);
    pic->pixels = pixels.release();
    return 1;
}

int read_pbm(const char* path, PicImage* pic)
{
    return read_path(path, pic, read_pbm_stream);
}

namespace {

bool write_header(OutputFile& out, const char* text)
{
    return out.write({reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)});
}

// Palette index of pixel x in a row of the record's layout.
std::uint8_t palette_index(const unsigned char* row, std::size_t x, int bits)
{
    return bits == 1 ? static_cast<std::uint8_t>(row[x / 8] >> (7 - x % 8) & 1u) : row[x];
}

void report_row(const PicImage* pic, std::size_t y)
{
    report_progress(pic, std::int64_t(y), pic->height);
}

bool write_ppm_body(OutputFile& out, PicImage* pic, std::size_t width, std::size_t height)
{
    if (pic->bits == 24) return out.write({pic->pixels, 3 * width * height});
    const std::size_t memory_row = *row_bytes(pic->width, pic->bits);
    std::vector<std::uint8_t> rgb(3 * width);
    for (std::size_t y = 0; y < height; ++y) {
        const unsigned char* row = pic->pixels + y * memory_row;
        for (std::size_t x = 0; x < width; ++x)
            std::memcpy(&rgb[3 * x], pic->palette + 3 * palette_index(row, x, pic->bits), 3);
        if (!out.write(rgb)) return false;
        report_row(pic, y);
    }
    return true;
}

// Grey is the plain mean of red, green and blue, so pure red gives 85.
std::uint8_t grey_of(const unsigned char* rgb)
{
    return static_cast<std::uint8_t>((rgb[0] + rgb[1] + rgb[2]) / 3);
}

bool write_pgm_body(OutputFile& out, PicImage* pic, std::size_t width, std::size_t height)
{
    const std::size_t memory_row = *row_bytes(pic->width, pic->bits);
    std::array<std::uint8_t, 256> grey_table{};
    for (std::size_t i = 0; i < grey_table.size(); ++i) grey_table[i] = grey_of(pic->palette + 3 * i);
    std::vector<std::uint8_t> grey(width);
    for (std::size_t y = 0; y < height; ++y) {
        const unsigned char* row = pic->pixels + y * memory_row;
        if (pic->bits == 24)
            for (std::size_t x = 0; x < width; ++x) grey[x] = grey_of(row + 3 * x);
        else
            for (std::size_t x = 0; x < width; ++x) grey[x] = grey_table[palette_index(row, x, pic->bits)];
        report_row(pic, y);
        if (!out.write(grey)) return false;
    }
    return true;
}

// PBM stores 1 as black. A record whose entry 0 is the darker one is
// inverted in place, with the palette swapped to match, so it shows the
// same picture and its bits can be written as they are.
bool write_pbm_body(OutputFile& out, PicImage* pic, std::size_t height)
{
    const std::size_t memory_row = *row_bytes(pic->width, 1);
    const std::size_t total = memory_row * height;
    if (pic->palette[0] < pic->palette[3]) {
        for (std::size_t i = 0; i < total; ++i) pic->pixels[i] = static_cast<unsigned char>(~pic->pixels[i]);
        std::memset(pic->palette, 255, 3);
        std::memset(pic->palette + 3, 0, 3);
    }
    return out.write({pic->pixels, total});
}

}  // namespace

// variant 2 writes PPM, 1 PGM and 0 PBM. PBM takes 1-bit records only;
// the others take 1-bit, palette and 24-bit records.
int write_pbm(const char* path, PicImage* pic, int variant)
{
    const int bits = pic->bits;
    if (!pic->pixels || variant < 0 || variant > 2) return 0;
    if (!(bits >= 1 && bits <= 8) && bits != 24) return 0;
    if (variant == 0 && bits != 1) return 0;
    if (!image_bytes(pic->width, pic->height, bits)) return 0;
    const auto width = static_cast<std::size_t>(pic->width);
    const auto height = static_cast<std::size_t>(pic->height);

    char header[64];
    if (variant == 0) std::snprintf(header, sizeof header, "P4\n%ld %ld\n", long(pic->width), long(pic->height));
    else
        std::snprintf(header, sizeof header, "P%ld\n%ld %ld\n255\n", variant == 2 ? 6L : 5L, long(pic->width),
                      long(pic->height));

    OutputFile out(path, pic);
    if (!out || !write_header(out, header)) return 0;
    bool written = false;
    switch (variant) {
    case 2: written = write_ppm_body(out, pic, width, height); break;
    case 1: written = write_pgm_body(out, pic, width, height); break;
    default: written = write_pbm_body(out, pic, height); break;
    }
    if (!written) return 0;
    return out.commit() ? 1 : 0;
}

}  // namespace zarn
