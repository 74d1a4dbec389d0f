// The writers-and-operations fuzz entry: reads any input, writes it with every save type and checks the
// round trips and result sizes; shared by the libFuzzer target and the ctest replay of saved crashers.
#pragma once

#include "checked.h"
#include "codecs.h"
#include "fuzz_entry.h"
#include "operations.h"
#include "platform.h"
#include "record.h"
#include "zarngfx.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace zarn::fuzz::operations {

using zarn::Outcome;

// Operations run only on pictures this small, to keep thousands of inputs a
// second; the adaptive palette (GIF of true colour, code 102) looks at 256
// entries for every pixel, so it gets smaller ones still.
constexpr int kMaxOperationSide = 48;
constexpr std::int64_t kMaxReducedPixels = 1024;
// Nor is anything larger than this written.
constexpr std::int64_t kMaxWrittenPixels = 4096;

inline bool cheap_to_reduce(const PicImage& pic)
{
    return pic.bits != 24 || std::int64_t(pic.width) * pic.height <= kMaxReducedPixels;
}

inline std::string g_folder;            // private folder for the written files
inline bool g_outside_modules = false;  // PNG and TIFF writers loadable

[[noreturn]] inline void fail(const char* what, int detail)
{
    std::fprintf(stderr, "operations_fuzz: %s (%d)\n", what, detail);
    std::abort();
}

// A deep copy owning its own pixels and no streams or modules.
inline PicImage copy_of(const PicImage& source)
{
    PicImage copy = source;
    copy.in_file = nullptr;
    copy.out_file = nullptr;
    copy.spare_module = copy.tiff_module = copy.png_module = copy.extra_module = nullptr;
    copy.colour_table = nullptr;
    copy.progress = nullptr;
    copy.pixels = nullptr;
    const auto bytes = zarn::pixel_block_bytes(&source);
    if (bytes) {
        copy.pixels = static_cast<unsigned char*>(std::malloc(*bytes ? *bytes : 1));
        if (!copy.pixels) std::abort();
        std::memcpy(copy.pixels, source.pixels, *bytes);
    }
    return copy;
}

struct Owned {
    PicImage pic;
    explicit Owned(const PicImage& source) : pic(copy_of(source)) {}
    Owned() { std::memset(&pic, 0, sizeof pic); }
    ~Owned() { zarn::release_image(&pic); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

inline std::size_t row_bytes(const PicImage& pic)
{
    const auto width = static_cast<std::size_t>(pic.width);
    if (pic.bits == 1) return (width + 7) / 8;
    return pic.bits == 24 ? 3 * width : width;
}

// The palette index at (x, y), or -1 for a true-colour picture.
inline int index_at(const PicImage& pic, std::size_t x, std::size_t y)
{
    const unsigned char* row = pic.pixels + y * row_bytes(pic);
    if (pic.bits == 1) return (row[x / 8] >> (7 - x % 8)) & 1;
    if (pic.bits == 24) return -1;
    return row[x];
}

inline std::array<unsigned char, 3> colour_at(const PicImage& pic, std::size_t x, std::size_t y)
{
    const int index = index_at(pic, x, y);
    const unsigned char* p = index < 0 ? pic.pixels + y * row_bytes(pic) + 3 * x : pic.palette + 3 * index;
    return {p[0], p[1], p[2]};
}

// Every pixel names a palette entry the record declares.
inline bool indices_declared(const PicImage& pic)
{
    if (pic.bits == 24) return true;
    if (pic.colours < 1 || pic.colours > 256) return false;
    for (std::size_t y = 0; y < std::size_t(pic.height); ++y)
        for (std::size_t x = 0; x < std::size_t(pic.width); ++x)
            if (index_at(pic, x, y) >= pic.colours) return false;
    return true;
}

inline bool all_grey(const PicImage& pic)
{
    for (std::size_t y = 0; y < std::size_t(pic.height); ++y)
        for (std::size_t x = 0; x < std::size_t(pic.width); ++x) {
            const auto c = colour_at(pic, x, y);
            if (c[0] != c[1] || c[1] != c[2]) return false;
        }
    return true;
}

inline bool black_and_white(const PicImage& pic)
{
    if (pic.bits != 1 || pic.colours != 2) return false;
    const unsigned char* p = pic.palette;
    const bool black0 = p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 255 && p[4] == 255 && p[5] == 255;
    const bool white0 = p[0] == 255 && p[1] == 255 && p[2] == 255 && p[3] == 0 && p[4] == 0 && p[5] == 0;
    return black0 || white0;
}

inline void expect_same_pixels(const PicImage& written, const PicImage& read, int save_type)
{
    if (read.width != written.width || read.height != written.height) fail("round trip changed the size", save_type);
    if (!zarn::pixel_block_bytes(&read)) fail("round trip lost the pixels", save_type);
    if (read.bits != 24 && !indices_declared(read)) fail("round trip names undeclared colours", save_type);
    for (std::size_t y = 0; y < std::size_t(read.height); ++y)
        for (std::size_t x = 0; x < std::size_t(read.width); ++x)
            if (colour_at(written, x, y) != colour_at(read, x, y)) fail("round trip changed a pixel", save_type);
}

// Which save types store `written` (the record as the writer left it)
// without loss, given the record before the write.
inline bool lossless(int save_type, const PicImage& before, const PicImage& written)
{
    if (!indices_declared(written)) return false;
    switch (save_type) {
    case 1:
    case 11: return true;
    case 10:
    case 14: return before.bits <= 8;
    case 12: return all_grey(written);
    case 13: return black_and_white(written);
    default: return false;
    }
}

// The kind the reader gives back for a save type, as a bit count.
inline int read_back_bits(int save_type, const PicImage& written)
{
    switch (save_type) {
    case 1: return written.bits == 1 || written.bits == 24 ? written.bits : 8;
    case 13: return 1;
    case 2:
    case 11: return 24;
    default: return 8;
    }
}

inline int read_back(int save_type, const char* path, PicImage* pic)
{
    switch (save_type) {
    case 1: return zarn::read_bmp(path, pic);
    case 2:
    case 3: return zarn::read_jpeg(path, pic, 0);
    case 10: return zarn::read_gif(path, pic);
    case 11:
    case 12:
    case 13: return zarn::read_pbm(path, pic);
    case 14: return zarn::read_iff(path, pic);
    default: return 0;
    }
}

// Each input is written with one save type in three, picked by a hash of
// all its bytes (many inputs end alike), so that an input stays cheap while
// the corpus reaches every type. The texture writer always maps 256 x 256
// pixels onto its fixed palette, a hundred milliseconds and more here, so
// only one input in 4096 takes it.
inline void write_with_save_types(const PicImage& image, std::uint32_t hash)
{
    for (int save_type = 1; save_type <= 15; ++save_type) {
        if ((hash / 7 + unsigned(save_type)) % 3 != 0) continue;
        if (save_type >= 4 && save_type <= 9 && !g_outside_modules) continue;
        if (save_type == 10 && !cheap_to_reduce(image)) continue;
        if (save_type == 15 && hash % 4096 != 0) continue;
        Owned work(image);
        std::string path = g_folder + "/out.xxx";
        path.resize(path.size() + 8, '\0');
        if (!_Pic_Write(path.data(), &work.pic, save_type, 75)) continue;
        // A read-back that would pass the pixel ceiling is refused by design.
        const int back_bits = read_back_bits(save_type, work.pic);
        Owned back;
        const int read = zarn::image_bytes(work.pic.width, work.pic.height, back_bits)
                             ? read_back(save_type, path.c_str(), &back.pic)
                             : -1;
        std::remove(path.c_str());
        if (read < 0) continue;
        if (save_type == 2 || save_type == 3) {
            if (!read) fail("written JPEG does not read back", save_type);
            if (back.pic.width != work.pic.width || back.pic.height != work.pic.height)
                fail("JPEG round trip changed the size", save_type);
            continue;
        }
        if (!lossless(save_type, image, work.pic)) continue;
        if (!read) fail("written file does not read back", save_type);
        expect_same_pixels(work.pic, back.pic, save_type);
    }
}

// The record holds a whole image of `width` x `height`.
inline void expect_size(const PicImage& pic, std::int64_t width, std::int64_t height, const char* what, int detail)
{
    if (pic.width != width || pic.height != height) fail(what, detail);
    if (!zarn::pixel_block_bytes(&pic)) fail(what, detail);
}

// An operation that refused must leave the record as it was.
inline void expect_untouched(const PicImage& pic, const PicImage& before, const char* what, int detail)
{
    if (pic.width != before.width || pic.height != before.height || pic.bits != before.bits) fail(what, detail);
}

inline void run_operations(const PicImage& image, std::uint32_t choice)
{
    for (int code : {0, 1, 2, 3, 100, 101, 102, 103, 104, 105, 200, 201}) {
        if (code == 102 && !cheap_to_reduce(image)) continue;
        Owned work(image);
        const Outcome outcome = zarn::process_code(&work.pic, code);
        if (outcome == Outcome::kRefused) {
            expect_untouched(work.pic, image, "refused code changed the record", code);
            continue;
        }
        const bool turned = code == 0 || code == 100;
        expect_size(work.pic, turned ? image.height : image.width, turned ? image.width : image.height,
                    "processing code changed the size", code);
    }
    for (int code = 4; zarn::process_code_kinds(code) != 0; ++code) {
        Owned work(image);
        if (zarn::process_code(&work.pic, code) == Outcome::kRefused)
            expect_untouched(work.pic, image, "refused effect changed the record", code);
        else expect_size(work.pic, image.width, image.height, "effect changed the size", code);
    }

    // Geometry with arguments taken from the input's last bytes.
    const int x = int(choice & 31), y = int(choice >> 5 & 31);
    const int w = int(choice >> 10 & 63) + 1, h = int(choice >> 16 & 63) + 1;
    {
        Owned work(image);
        if (zarn::crop_image(&work.pic, x, y, w, h)) expect_size(work.pic, w, h, "crop gave another size", 0);
        else expect_untouched(work.pic, image, "refused crop changed the record", 0);
    }
    {
        Owned work(image);
        if (zarn::resize_image(&work.pic, w, h)) expect_size(work.pic, w, h, "resize gave another size", 0);
        else expect_untouched(work.pic, image, "refused resize changed the record", 0);
    }
    {
        Owned work(image);
        const double angle = double(choice >> 22 & 127);  // 0..127: the upper part is refused
        if (zarn::shear_rotate(&work.pic, angle)) {
            if (work.pic.width < image.width || work.pic.height < image.height) fail("shear shrank the picture", 0);
            if (!zarn::pixel_block_bytes(&work.pic)) fail("shear lost the pixels", 0);
        } else {
            expect_untouched(work.pic, image, "refused shear changed the record", 0);
        }
    }
    {
        Owned work(image);
        if (zarn::rotate_quarter(&work.pic))
            expect_size(work.pic, image.height, image.width, "rotation gave another size", 0);
        else expect_untouched(work.pic, image, "refused rotation changed the record", 0);
    }
}

// Reads the input by its signature through the in-memory stream readers;
// anything unrecognised is tried as a Targa, which has none.
inline void read_by_content(std::FILE* stream, PicImage* pic, const std::uint8_t* data, std::size_t size)
{
    switch (zarn::format_from_signature(data, size < 12 ? size : 12)) {
    case 1: zarn::read_bmp_stream(stream, pic); break;
    case 2: zarn::read_gif_stream(stream, pic); break;
    case 3: zarn::read_pbm_stream(stream, pic); break;
    case 4:
    case 100: zarn::read_jpeg_stream(stream, pic, 0); break;
    case 8: zarn::read_pcx_stream(stream, pic); break;
    case 10: zarn::read_iff_stream(stream, pic); break;
    case 0:
    case 7: zarn::read_targa_stream(stream, pic); break;
    default: break;  // PhotoCD, texture, PNG and TIFF have their own targets
    }
}

}  // namespace zarn::fuzz::operations

namespace zarn::fuzz {

inline void operations_fuzz_setup()
{
    using namespace operations;
    // Nothing larger than a written picture is looked at, so larger ones are
    // refused as they are read.
    limit_pixel_blocks(3 * std::size_t(kMaxWrittenPixels));
    _Pic_SetMessageHandler([](const char*, const char*) {});  // the refusal of 1-bit JPEG
    if (!g_folder.empty()) return;
    // The written files live for one call: memory-backed storage where there is some.
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string folder = std::string(base) + "/zarn-operations-XXXXXX";
    if (!::mkdtemp(folder.data())) std::abort();
    g_folder = folder;
    std::atexit([] { ::rmdir(g_folder.c_str()); });
    void* png = zarn::load_module("zarnpng");
    void* tiff = zarn::load_module("zarntiff");
    g_outside_modules = png && tiff;
    zarn::free_module(png);
    zarn::free_module(tiff);
}

inline void run_operations_input(const std::uint8_t* data, std::size_t size)
{
    using namespace operations;
    if (size < 4) return;
    std::uint32_t choice = 0;
    std::memcpy(&choice, data + size - 4, 4);
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    read_from_memory(data, size, [&](std::FILE* stream, PicImage* pic) {
        read_by_content(stream, pic, data, size);
        if (!zarn::pixel_block_bytes(pic) || pic->width < 1 || pic->height < 1) return;
        if (pic->bits != 1 && pic->bits != 24 && !(pic->bits >= 2 && pic->bits <= 8)) fail("unknown kind", pic->bits);
        if (std::int64_t(pic->width) * pic->height <= kMaxWrittenPixels) write_with_save_types(*pic, hash);
        if (pic->width <= kMaxOperationSide && pic->height <= kMaxOperationSide) run_operations(*pic, choice);
    });
}

}  // namespace zarn::fuzz
