// Amiga IFF: ILBM and "PBM " reading (ByteRun1, masks, 24 planes, hold-and-modify); uncompressed ILBM writing.
#include "byte_reader.h"
#include "checked.h"
#include "codecs.h"
#include "progress.h"
#include "record.h"
#include "write_path.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace zarn {
namespace {

constexpr std::size_t kReadPiece = 1 << 20;
constexpr std::uint32_t kHamFlag = 0x800;
constexpr std::uint32_t kHalfBriteFlag = 0x80;

bool is_id(const std::uint8_t* at, const char* id)
{
    return std::memcmp(at, id, 4) == 0;
}

// Bit 7 of a plane byte is the leftmost of its eight pixels; each entry
// spreads one byte into eight bytes of 0 or 1, leftmost first in memory.
const std::array<std::uint64_t, 256>& bit_spread()
{
    static const auto table = [] {
        std::array<std::uint64_t, 256> spread{};
        for (unsigned b = 0; b < 256; ++b) {
            std::uint8_t bytes[8];
            for (int i = 0; i < 8; ++i) bytes[i] = (b >> (7 - i)) & 1;
            std::memcpy(&spread[b], bytes, 8);
        }
        return spread;
    }();
    return table;
}

// ORs bit `plane` of each pixel into `row` (one byte per pixel) from one plane row.
void merge_plane(std::span<const std::uint8_t> plane_row, std::span<std::uint8_t> row, int plane)
{
    const auto& spread = bit_spread();
    const std::size_t whole = row.size() / 8;
    for (std::size_t i = 0; i < whole; ++i) {
        std::uint64_t eight;
        std::memcpy(&eight, row.data() + 8 * i, 8);
        eight |= spread[plane_row[i]] << plane;
        std::memcpy(row.data() + 8 * i, &eight, 8);
    }
    for (std::size_t x = 8 * whole; x < row.size(); ++x)
        if (plane_row[x / 8] & (0x80 >> (x % 8))) row[x] = std::uint8_t(row[x] | 1 << plane);
}

struct Header {
    int width = 0, height = 0, planes = 0, masking = 0, compression = 0;
};

// The body's bytes with a position; every take is bounded by what is left.
struct BodyCursor {
    std::span<const std::uint8_t> data;
    std::size_t at = 0;
    std::size_t left() const { return data.size() - at; }
};

// One row of `out.size()` bytes: raw, or unpacked from ByteRun1. A raw row
// the body cannot fill ends in zeros.
bool take_row(BodyCursor& body, std::span<std::uint8_t> out, bool compressed)
{
    if (compressed) return unpack_byterun1(body.data, body.at, out);
    const std::size_t got = std::min(out.size(), body.left());
    std::memcpy(out.data(), body.data.data() + body.at, got);
    std::fill(out.begin() + std::ptrdiff_t(got), out.end(), std::uint8_t(0));
    body.at += got;
    return true;
}

// Hold-and-modify: the top two of the picture's planes pick the control
// code, the planes below it the value, shifted to the top of a byte. The
// held colour runs on across row ends.
void decode_ham(const PicImage* pic, int planes, std::span<const std::uint8_t> codes, std::uint8_t* held,
                std::uint8_t* rgb)
{
    const int value_bits = planes - 2;
    const unsigned value_mask = (1u << value_bits) - 1;
    for (const std::uint8_t byte : codes) {
        const unsigned value = byte & value_mask;
        const std::uint8_t level = std::uint8_t(value << (8 - value_bits));
        switch ((byte >> value_bits) & 3) {
        case 0: std::memcpy(held, pic->palette + 3 * value, 3); break;
        case 1: held[2] = level; break;
        case 2: held[0] = level; break;
        default: held[1] = level; break;
        }
        std::memcpy(rgb, held, 3);
        rgb += 3;
    }
}

// Reads the whole form into memory, in pieces, so a size field larger than
// the file costs no more memory than the file itself.
bool read_form(ByteReader& in, std::uint32_t size, std::vector<std::uint8_t>& form)
{
    while (form.size() < size) {
        const std::size_t piece = std::min<std::size_t>(kReadPiece, size - form.size());
        const std::size_t at = form.size();
        form.resize(at + piece);
        if (in.read({form.data() + at, piece}) != piece) return false;
    }
    return true;
}

int decode_body(PicImage* pic, const Header& hd, bool ham, bool pbm, std::span<const std::uint8_t> body_data)
{
    const bool deep = hd.planes == 24;
    const int out_bits = deep || ham ? 24 : hd.planes == 1 ? 1 : 8;
    const auto w = static_cast<std::size_t>(hd.width);
    const std::size_t row_length = hd.planes == 1 ? (w + 7) / 8 : w;
    const std::size_t plane_row = (w + 15) / 16 * 2;
    PixelBlock pixels = allocate_image(hd.width, hd.height, out_bits);
    if (!pixels) return 0;

    // Index rows of a hold-and-modify picture wait here for the colour pass.
    std::vector<std::uint8_t> codes(ham ? w : 0), scratch(plane_row), channels(deep ? 3 * w : 0);
    const std::size_t out_row = *row_bytes(hd.width, out_bits);
    const int mask_planes = hd.masking == 1 ? 1 : 0;
    BodyCursor body{body_data};
    std::uint8_t held[3] = {0, 0, 0};
    for (int y = 0; y < hd.height; ++y) {
        report_progress(pic, y, hd.height);
        if (body.left() == 0) return refuse(true);
        std::uint8_t* dest = pixels.get() + std::size_t(y) * out_row;
        const std::span<std::uint8_t> row = ham    ? std::span<std::uint8_t>(codes)
                                            : deep ? std::span<std::uint8_t>(channels)
                                                   : std::span<std::uint8_t>(dest, row_length);
        std::ranges::fill(row, std::uint8_t(0));
        if (pbm) {
            if (!take_row(body, row, hd.compression != 0)) return refuse(body.left() == 0);
        } else {
            for (int p = 0; p < hd.planes + mask_planes; ++p) {
                if (!take_row(body, scratch, hd.compression != 0)) return refuse(body.left() == 0);
                if (p >= hd.planes) continue;
                if (hd.planes == 1) std::memcpy(row.data(), scratch.data(), row_length);
                else if (deep) merge_plane(scratch, row.subspan(std::size_t(p / 8) * w, w), p % 8);
                else merge_plane(scratch, row, p);
            }
        }
        if (deep) {
            for (std::size_t x = 0; x < w; ++x) {
                dest[3 * x] = channels[x];
                dest[3 * x + 1] = channels[w + x];
                dest[3 * x + 2] = channels[2 * w + x];
            }
        }
        if (ham) decode_ham(pic, hd.planes, codes, held, dest);
    }
    pic->width = hd.width;
    pic->height = hd.height;
    pic->bits = out_bits;
    pic->colours = out_bits == 24 ? 0 : 1 << out_bits;
    if (ham) describe(pic, "IFF : %dx%d Ham%d", hd.width, hd.height, hd.planes);
    else describe(pic, "IFF : %dx%d - %d Planes", hd.width, hd.height, hd.planes);
    pic->pixels = pixels.release();
    return 1;
}

// Bit `plane` of eight pixels, leftmost in the top bit of the result.
std::uint8_t gather_plane(const std::uint8_t* eight_pixels, int plane)
{
    std::uint64_t eight;
    std::memcpy(&eight, eight_pixels, 8);
    return std::uint8_t((((eight >> plane) & 0x0101010101010101ull) * 0x8040201008040201ull) >> 56);
}

// One uncompressed ILBM row: `planes` plane rows of `plane_row` bytes each,
// the bits past the width zero.
void encode_row(const PicImage* pic, const std::uint8_t* row, int planes, std::size_t plane_row,
                std::vector<std::uint8_t>& pixel_row, std::span<std::uint8_t> out)
{
    const auto w = static_cast<std::size_t>(pic->width);
    std::ranges::fill(out, std::uint8_t(0));
    if (pic->bits == 1) {
        const std::size_t packed = (w + 7) / 8;
        std::memcpy(out.data(), row, packed);
        if (w % 8) out[packed - 1] = std::uint8_t(out[packed - 1] & (0xFF00 >> (w % 8)));
        return;
    }
    // Padded to whole groups of eight so the last group reads zeros.
    std::memcpy(pixel_row.data(), row, w);
    for (int p = 0; p < planes; ++p) {
        std::uint8_t* plane = out.data() + std::size_t(p) * plane_row;
        for (std::size_t i = 0; i < (w + 7) / 8; ++i) plane[i] = gather_plane(pixel_row.data() + 8 * i, p);
    }
}

}  // namespace

// A 24-bit record becomes hold-and-modify codes over a 64-step grey
// palette. Each row starts from its own first pixel's grey; the held colour
// keeps the exact values chosen.
bool ham_encode(PicImage* pic)
{
    if (pic->bits != 24 || !pic->pixels) return false;
    const auto block = image_bytes(pic->width, pic->height, 8);
    if (!block) return false;
    PixelBlock codes = allocate_pixels(*block);
    if (!codes) return false;
    const auto w = static_cast<std::size_t>(pic->width);
    const auto h = static_cast<std::size_t>(pic->height);
    const std::uint8_t* rgb = pic->pixels;
    std::uint8_t* out = codes.get();
    for (std::size_t y = 0; y < h; ++y) {
        int held[3] = {0, 0, 0};
        for (std::size_t x = 0; x < w; ++x, rgb += 3) {
            const int r = rgb[0], g = rgb[1], b = rgb[2];
            const int m = (r + g + b) / 3;
            int code = 0, value = m;
            if (x > 0) {
                const int e0 = std::abs(r - m) + std::abs(g - m) + std::abs(b - m);
                const int er = std::abs(g - held[1]) + std::abs(b - held[2]);
                const int eg = std::abs(r - held[0]) + std::abs(b - held[2]);
                const int eb = std::abs(r - held[0]) + std::abs(g - held[1]);
                if (e0 <= er && e0 <= eg && e0 <= eb) code = 0, value = m;
                else if (eb <= er && eb <= eg) code = 1, value = b;
                else if (er <= eg) code = 2, value = r;
                else code = 3, value = g;
            }
            switch (code) {
            case 0: held[0] = held[1] = held[2] = m; break;
            case 1: held[2] = b; break;
            case 2: held[0] = r; break;
            default: held[1] = g; break;
            }
            *out++ = std::uint8_t(value >> 2 | code << 6);
        }
    }
    std::free(pic->pixels);
    pic->pixels = codes.release();
    std::memset(pic->palette, 0, sizeof pic->palette);
    pic->colours = 64;
    set_grey_palette(pic);
    pic->bits = 8;
    pic->colours = 256;
    return true;
}

int write_iff(const char* path, PicImage* pic)
{
    if (!pic->pixels) return 0;
    if (!(pic->bits >= 1 && pic->bits <= 8) && pic->bits != 24) return 0;
    if (!image_bytes(pic->width, pic->height, pic->bits)) return 0;
    const bool ham = pic->bits == 24;
    if (ham && !ham_encode(pic)) return 0;
    const int planes = pic->bits;
    const std::size_t map_bytes = ham ? 192 : std::size_t(std::clamp(pic->colours, 0, 256)) * 3;
    const auto w = static_cast<std::size_t>(pic->width);
    const auto h = static_cast<std::size_t>(pic->height);
    const std::size_t plane_row = (w + 15) / 16 * 2;
    const auto body = checked_mul(plane_row * std::size_t(planes), h);
    const std::size_t map_padded = map_bytes + (map_bytes & 1);
    const auto total = body ? checked_add(*body, 4 + 28 + 8 + map_padded + (ham ? 12 : 0) + 8) : std::nullopt;
    if (!total || *total > 0xFFFFFFFFu || w > 0xFFFF || h > 0xFFFF) return 0;

    OutputFile out(path, pic);
    if (!out) return 0;
    const auto id = [&](const char* text) { out.write({reinterpret_cast<const std::uint8_t*>(text), 4}); };
    id("FORM");
    out.u32be(std::uint32_t(*total));
    id("ILBM");
    id("BMHD");
    out.u32be(20);
    out.u16be(std::uint16_t(w));
    out.u16be(std::uint16_t(h));
    out.u32be(0);  // x, y
    const std::uint8_t bmhd_tail[] = {std::uint8_t(planes), 0, 0, 0, 0, 0, 100, 100};
    out.write(bmhd_tail);
    out.u16be(std::uint16_t(w));
    out.u16be(std::uint16_t(h));
    id("CMAP");
    out.u32be(std::uint32_t(map_bytes));
    out.write({pic->palette, map_bytes});
    if (map_bytes & 1) out.u8(0);
    if (ham) {
        id("CAMG");
        out.u32be(4);
        out.u32be(kHamFlag);
    }
    id("BODY");
    out.u32be(std::uint32_t(*body));

    const std::size_t row_length = *row_bytes(pic->width, pic->bits);
    std::vector<std::uint8_t> pixel_row((w + 7) / 8 * 8), encoded(plane_row * std::size_t(planes));
    for (std::size_t y = 0; y < h; ++y) {
        report_progress(pic, std::int64_t(y), std::int64_t(h));
        encode_row(pic, pic->pixels + y * row_length, planes, plane_row, pixel_row, encoded);
        if (!out.write(encoded)) break;
    }
    return out.commit() ? 1 : 0;
}

// Control byte n: 0-127 copies n + 1 bytes, 128 does nothing, 129-255
// repeats the next byte 257 - n times. Nothing may overrun either side.
bool unpack_byterun1(std::span<const std::uint8_t> source, std::size_t& at, std::span<std::uint8_t> out)
{
    std::size_t done = 0;
    while (done < out.size()) {
        if (at >= source.size()) return false;
        const std::uint8_t n = source[at++];
        if (n < 128) {
            const std::size_t count = std::size_t(n) + 1;
            if (count > source.size() - at || count > out.size() - done) return false;
            std::memcpy(out.data() + done, source.data() + at, count);
            at += count;
            done += count;
        } else if (n > 128) {
            const std::size_t count = 257 - std::size_t(n);
            if (at >= source.size() || count > out.size() - done) return false;
            std::fill_n(out.begin() + std::ptrdiff_t(done), count, source[at++]);
            done += count;
        }
    }
    return true;
}

int read_iff_stream(std::FILE* stream, PicImage* pic)
{
    ByteReader in(stream);
    std::uint8_t head[8];
    if (in.read(head) != 8 || !is_id(head, "FORM")) return refuse(false);
    std::vector<std::uint8_t> form;
    if (!read_form(in, be32(head + 4), form) || form.size() < 4) return refuse(true);
    const bool pbm = is_id(form.data(), "PBM ");
    if (!pbm && !is_id(form.data(), "ILBM")) return refuse(false);

    Header hd;
    bool have_header = false, have_map = false, ham = false, half_brite = false;
    for (std::size_t at = 4; form.size() - at >= 8;) {
        const std::uint8_t* chunk = form.data() + at;
        // A chunk never reaches past the form, whatever its length says.
        const std::size_t length = std::min<std::size_t>(be32(chunk + 4), form.size() - at - 8);
        const std::span<const std::uint8_t> data(chunk + 8, length);
        if (is_id(chunk, "BMHD")) {
            if (length < 20) return refuse(false);
            hd = Header{be16(data.data()), be16(data.data() + 2), data[8], data[9], data[10]};
            if (hd.width == 0 || hd.height == 0) return refuse(false);
            if (!(hd.planes >= 1 && hd.planes <= 8) && hd.planes != 24) {
                set_failure(Failure::Unsupported);
                return 0;
            }
            have_header = true;
        } else if (is_id(chunk, "CAMG")) {
            if (length >= 4) {
                ham = (be32(data.data()) & kHamFlag) != 0;
                half_brite = (be32(data.data()) & kHalfBriteFlag) != 0;
            }
        } else if (is_id(chunk, "CMAP")) {
            std::memset(pic->palette, 0, sizeof pic->palette);
            std::memcpy(pic->palette, data.data(), std::min<std::size_t>(length, sizeof pic->palette));
            have_map = true;
        } else if (is_id(chunk, "BODY")) {
            if (!have_header) return refuse(false);
            // Hold-and-modify needs two control planes above at least one value plane.
            ham = ham && hd.planes >= 3 && hd.planes <= 8;
            if (pbm && hd.planes == 24) return refuse(false);
            if (!have_map && hd.planes != 24) {
                std::memset(pic->palette, 0, sizeof pic->palette);
                pic->colours = ham ? 1 << (hd.planes - 2) : 1 << hd.planes;
                set_grey_palette(pic);
            }
            // Extra-half-brite: the sixth plane picks the colour of the
            // other five at half its brightness.
            if (half_brite && !ham && hd.planes == 6)
                for (std::size_t i = 0; i < 32 * 3; ++i) pic->palette[32 * 3 + i] = pic->palette[i] >> 1;
            return decode_body(pic, hd, ham, pbm, data);
        }
        at += 8 + length + (length & 1);
        if (at > form.size()) break;
    }
    return refuse(false);
}

int read_iff(const char* path, PicImage* pic)
{
    return read_path(path, pic, read_iff_stream);
}

}  // namespace zarn
