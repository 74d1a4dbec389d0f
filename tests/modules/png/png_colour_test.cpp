// The PNG module's colour spaces: profiles, cHRM with gAMA and sRGB, against lcms2's own conversion.
#include "srgb_oracle.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <png.h>

using namespace zarn::test;

namespace {

struct Stated {
    Bytes icc{};
    bool srgb = false;
    const zarn::Chromaticities* space = nullptr;
    int gamma = 0;  // the file's gAMA value, 45455 for 2.2
    Bytes cicp{};
};

// A PNG of `samples` (grey, RGB or palette indexes, a row of `width` after another) stating `stated`.
std::string write_png(const std::string& name, int colour_type, int width, const Bytes& samples, const Stated& stated,
                      const Bytes& palette = {})
{
    const std::string path = temp_path(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        ADD_FAILURE() << "libpng refused " << name;
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return path;
    }
    png_set_benign_errors(png, 1);
    png_init_io(png, file);
    const int channels = colour_type == PNG_COLOR_TYPE_RGB ? 3 : 1;
    const int height = int(samples.size()) / (width * channels);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, colour_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(palette.data()), int(palette.size() / 3));
    if (!stated.icc.empty()) png_set_iCCP(png, info, "test", 0, stated.icc.data(), png_uint_32(stated.icc.size()));
    if (stated.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (const zarn::Chromaticities* s = stated.space)
        png_set_cHRM(png, info, s->white_x, s->white_y, s->red_x, s->red_y, s->green_x, s->green_y, s->blue_x,
                     s->blue_y);
    if (stated.gamma) png_set_gAMA_fixed(png, info, stated.gamma);
    png_unknown_chunk cicp{
        {'c', 'I', 'C', 'P', 0}, const_cast<png_byte*>(stated.cicp.data()), stated.cicp.size(), PNG_HAVE_IHDR};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, cicp.name, 1);
    if (!stated.cicp.empty()) png_set_unknown_chunks(png, info, &cicp, 1);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, samples.data() + std::size_t(y) * std::size_t(width * channels));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return path;
}

Bytes flat(const Rows& rows)
{
    Bytes out;
    for (const Bytes& row : rows) out.insert(out.end(), row.begin(), row.end());
    return out;
}

int largest_gap(const Bytes& a, const Bytes& b)
{
    return largest_difference(Rows{a}, Rows{b});
}

const Bytes kRgb = flat(noise_rows(16, 4, 3, 7));
constexpr zarn::Chromaticities kP3{0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060};
constexpr zarn::Chromaticities kSrgb{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};

struct Read {
    Bytes pixels;
    std::string description;
    int bits = 0;
};

Read read(const std::string& path)
{
    ScopedPic pic;
    if (_Pic_Read(path.c_str(), pic.get(), 0, 0) != 1) return {};
    const Rows rows = rgb_rows(*pic);
    return {flat(rows), pic->description, pic->bits};
}

TEST(PngColours, ProfilesTurnIntoSrgbUnlessKept)
{
    const Bytes adobe = adobe_rgb_profile();
    const std::string rgb = write_png("adobe.png", PNG_COLOR_TYPE_RGB, 16, kRgb, {.icc = adobe});
    const Read converted = read(rgb);
    EXPECT_LE(largest_gap(converted.pixels, lcms_to_srgb(adobe, kRgb)), 2);
    EXPECT_NE(converted.pixels, kRgb);
    EXPECT_EQ(converted.description, "PNG : 16x4 - 24bit - Adobe RGB (1998)");

    // A palette's entries convert; a grey picture stays grey.
    const Bytes palette{255, 0, 0, 0, 200, 0, 20, 40, 230};
    const Read indexed = read(write_png("indexed.png", PNG_COLOR_TYPE_PALETTE, 3, {0, 1, 2}, {.icc = adobe}, palette));
    EXPECT_LE(largest_gap(indexed.pixels, lcms_to_srgb(adobe, palette)), 2);
    const Bytes greys{0, 30, 90, 128, 200, 255};
    const Read grey = read(write_png("grey.png", PNG_COLOR_TYPE_GRAY, 6, greys, {.icc = grey_profile()}));
    EXPECT_LE(largest_gap(grey.pixels, lcms_to_srgb(grey_profile(), greys, TYPE_GRAY_8)), 2);
    EXPECT_EQ(grey.bits, 8);

    const ScopedEnv keep("ZARN_KEEP_COLOURS", "1");
    const Read kept = read(rgb);
    EXPECT_EQ(kept.pixels, kRgb);
    EXPECT_EQ(kept.description, "PNG : 16x4 - 24bit");
}

TEST(PngColours, CodedSpacesThenChromaticitiesWithGammaLikeBrowsers)
{
    // cICP outranks a profile.
    const Read coded =
        read(write_png("cicp.png", PNG_COLOR_TYPE_RGB, 16, kRgb, {.icc = adobe_rgb_profile(), .cicp = {12, 13, 0, 1}}));
    EXPECT_LE(largest_gap(coded.pixels, lcms_to_srgb(zarn::profile_from_cicp(12, 13), kRgb)), 2);
    EXPECT_EQ(coded.description, "PNG : 16x4 - 24bit - Display P3");

    const Read p3 = read(write_png("p3.png", PNG_COLOR_TYPE_RGB, 16, kRgb, {.space = &kP3, .gamma = 45455}));
    EXPECT_LE(largest_gap(p3.pixels, lcms_to_srgb(zarn::profile_from_gamma(kP3, 2.2, "x"), kRgb)), 2);
    EXPECT_EQ(p3.description, "PNG : 16x4 - 24bit - Display P3");

    // sRGB's cICP codes or chunk, sRGB's own primaries at 2.2, gAMA alone
    // and a broken profile all read the samples as they are.
    for (const Stated& same :
         {Stated{.icc = adobe_rgb_profile(), .cicp = {1, 13, 0, 1}},
          Stated{.srgb = true, .space = &kP3, .gamma = 45455}, Stated{.space = &kSrgb, .gamma = 45455},
          Stated{.gamma = 45455}, Stated{.icc = broken(adobe_rgb_profile())}}) {
        const Read plain = read(write_png("plain.png", PNG_COLOR_TYPE_RGB, 16, kRgb, same));
        EXPECT_EQ(plain.pixels, kRgb);
        EXPECT_EQ(plain.description, "PNG : 16x4 - 24bit");
    }
}

}  // namespace
