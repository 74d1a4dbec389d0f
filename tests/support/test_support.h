// Builders and helpers shared by the tests: hand-written BMP bytes, a per-test folder, peer tools.
#pragma once

#include "record.h"
#include "zarngfx.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zarn::test {

using Bytes = std::vector<std::uint8_t>;
using Rows = std::vector<Bytes>;  // top-down, each row in the record's own layout

// A file in this test's own folder, which is removed when the test ends. While
// a test runs, TMPDIR, XDG_CONFIG_HOME and XDG_DATA_HOME point inside it too.
std::string temp_path(const std::string& name);
std::string temp_dir();

Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);
bool file_exists(const std::string& path);
std::vector<std::string> folder_entries(const std::string& folder);

inline void put_u16(Bytes& out, std::size_t at, std::uint16_t v)
{
    out[at] = std::uint8_t(v);
    out[at + 1] = std::uint8_t(v >> 8);
}
inline void put_u32(Bytes& out, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}
inline std::uint32_t get_u32(const Bytes& in, std::size_t at)
{
    return std::uint32_t(in[at]) | std::uint32_t(in[at + 1]) << 8 | std::uint32_t(in[at + 2]) << 16 |
           std::uint32_t(in[at + 3]) << 24;
}
inline std::uint16_t get_u16(const Bytes& in, std::size_t at)
{
    return std::uint16_t(in[at] | in[at + 1] << 8);
}

// Writes a BMP byte by byte. Pixels are given top-down in the record's layout:
// 1 bit packed MSB first, 4 and 8 bits one index per byte, 24 bits RGB, and
// 16 bits as little-endian pairs. Header size 12 gives the core header with
// three-byte palette entries; any other size is a 40-byte header followed by
// zeros up to that size.
class BmpBuilder {
public:
    BmpBuilder& size(std::int32_t width, std::int32_t height);
    BmpBuilder& bits(int bits);
    BmpBuilder& palette(const Bytes& rgb);  // three bytes per entry
    BmpBuilder& pixels(const Rows& rows);
    BmpBuilder& header_size(std::uint32_t bytes);
    BmpBuilder& top_down();
    BmpBuilder& compression(std::uint32_t code);
    BmpBuilder& pixel_offset(std::uint32_t offset);  // default: right after the palette and gap
    BmpBuilder& gap(const Bytes& bytes);             // between the palette and the pixels
    BmpBuilder& pixel_data(const Bytes& raw);        // used as is instead of encoding pixels()

    Bytes bytes() const;
    void write(const std::string& path) const;

private:
    std::int32_t width_ = 1, height_ = 1;
    int bits_ = 8;
    Bytes palette_;
    Rows rows_;
    std::uint32_t header_size_ = 40;
    bool top_down_ = false;
    std::uint32_t compression_ = 0;
    std::optional<std::uint32_t> pixel_offset_;
    Bytes gap_;
    std::optional<Bytes> raw_;
};

// The record's pixels as top-down rows.
Rows pixel_rows(const PicImage& pic);
// Palette images expanded to RGB through the record's palette; 24-bit rows as they are.
Rows rgb_rows(const PicImage& pic);

// `count` entries of grey from black to white, and the same as BGR0 quads
// for comparing with a file.
Bytes grey_ramp(int count);
// A width x height pattern of palette indexes below `modulo`, or for 24 bits
// RGB values that differ in every channel.
Rows ramp(int width, int height, int modulo = 256);
Rows rgb_ramp(int width, int height);
// Rows of one colour, and rows of seeded noise (`bytes_per_pixel` bytes a pixel).
Rows solid(int width, int height, Bytes rgb);
Rows noise_rows(int width, int height, int bytes_per_pixel, unsigned seed);
// 1-bit rows packed MSB first from a checkerboard-like pattern, the bits past
// the width clear.
Rows mono_pattern(int width, int height);

// A zero-filled record that release_image() frees at scope exit.
class ScopedPic {
public:
    ScopedPic();
    ~ScopedPic();
    ScopedPic(const ScopedPic&) = delete;
    ScopedPic& operator=(const ScopedPic&) = delete;
    PicImage* get() { return &pic_; }
    PicImage* operator->() { return &pic_; }
    PicImage& operator*() { return pic_; }

    // Fills the record with a malloc'd copy of `rows` (the record's layout).
    void set(int width, int height, int bits, const Rows& rows, const Bytes& palette_rgb = {});

private:
    PicImage pic_;
};

// Writes `file` into this test's folder as `name` and returns what `read`
// (read_bmp, read_targa ...) makes of it there.
int read_bytes(const Bytes& file, ScopedPic& pic, const std::string& name,
               const std::function<int(const char* path, PicImage* pic)>& read);
// A 24-bit BMP of rgb_ramp() in this test's folder; returns its path.
std::string write_picture(const std::string& name, int width, int height);

// A progress callback that counts the rows it is told of.
inline int g_rows_reported = 0;
inline void count_rows(std::int32_t, std::int32_t)
{
    ++g_rows_reported;
}

// Sets an environment variable for the life of this object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// A program run with its standard output captured; stderr is discarded.
struct ToolRun {
    int status = -1;  // exit code, or -1 when it could not run or died
    Bytes output;
};
ToolRun run_tool(const std::vector<std::string>& argv);
// True when `convert` answers as the image suite the peer tests expect.
bool have_image_magick();
bool have_program(const std::string& name);

// A decoded PPM or PGM (binary, maxval 255), greys widened to RGB.
struct Pnm {
    int width = 0, height = 0;
    Rows rgb;
};
std::optional<Pnm> parse_pnm(const Bytes& data);

// A binary PPM of `rgb` rows, each `width` pixels of red, green, blue.
Bytes ppm(const Rows& rgb, int width);
// What a peer writes to standard output as PBM, PGM or PPM; nothing when it
// fails. The second form runs a shell command line.
std::optional<Pnm> decode(const std::vector<std::string>& argv);
std::optional<Pnm> decode_shell(const std::string& command);
// Runs a shell command line with its standard output going to `path`.
bool make(const std::string& command, const std::string& path);

// The largest difference of one byte between two pictures' rows, or 1000
// when their shapes differ.
int largest_difference(const Rows& a, const Rows& b);

}  // namespace zarn::test
