// Ordered dither, error diffusion, greyscale, monochrome, inversion and expansion.
#include "checked.h"
#include "codecs.h"
#include "operations.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <thread>

using namespace zarn;
using namespace zarn::test;

namespace {

// A smooth picture with some grain: far more than 256 colours.
Rows photo_like(int width, int height)
{
    std::mt19937 random(7);
    Rows rows;
    for (int y = 0; y < height; ++y) {
        Bytes row;
        for (int x = 0; x < width; ++x) {
            const int grain = int(random() % 9) - 4;
            row.push_back(clamp_channel(x * 255 / width + grain));
            row.push_back(clamp_channel(y * 255 / height + grain));
            row.push_back(clamp_channel(128 + 100 * std::sin(x * 0.05 + y * 0.03)));
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(OrderedDither, BlackMapsToTheFirstEntryAndWhiteToTheTopLevels)
{
    ScopedPic black;
    black.set(20, 18, 24, solid(20, 18, {0, 0, 0}));
    _Pic_Dither(black.get());
    ASSERT_EQ(black->bits, 8);
    EXPECT_EQ(black->colours, 256);
    for (const Bytes& row : pixel_rows(*black))
        for (auto index : row) ASSERT_EQ(index, 0);
    EXPECT_EQ(Bytes(black->palette, black->palette + 3), (Bytes{16, 8, 16}));

    ScopedPic white;
    white.set(16, 16, 24, solid(16, 16, {255, 255, 255}));
    _Pic_Dither(white.get());
    std::set<int> seen;
    for (const Bytes& row : pixel_rows(*white))
        for (int index : row) {
            const int r = index / 45, g = index / 5 % 9, b = index % 5;
            EXPECT_TRUE(r >= 3 && b >= 3 && g >= 7) << index;
            seen.insert(index);
        }
    EXPECT_GT(seen.size(), 1u);
    // The fixed palette: entry (r × 9 + g) × 5 + b.
    EXPECT_EQ(Bytes(white->palette + 3 * 224, white->palette + 3 * 225), (Bytes{255, 255, 255}));
    EXPECT_EQ(Bytes(white->palette + 3 * 67, white->palette + 3 * 68), (Bytes{80, 136, 144}));

    const Rows dithered = pixel_rows(*white);
    _Pic_Dither(white.get());  // now 8-bit: left alone
    EXPECT_EQ(pixel_rows(*white), dithered);
}

// Red 64 lands on level 1 exactly where the matrix offset is not negative,
// which shows the matrix's pattern in the output.
TEST(OrderedDither, MatrixPatternShowsInTheOutput)
{
    ScopedPic pic;
    pic.set(32, 2, 24, solid(32, 2, {64, 0, 0}));
    _Pic_Dither(pic.get());
    const Rows out = pixel_rows(*pic);
    for (int x = 0; x < 32; ++x) {
        EXPECT_EQ(out[0][std::size_t(x)], x % 2 == 0 ? 45 : 0) << x;  // row 0: 128, 0, 160, 32, ...
        EXPECT_EQ(out[1][std::size_t(x)], x % 2 == 1 ? 45 : 0) << x;  // row 1: 64, 192, 96, 224, ...
    }
}

// The error pass as a plain walk over the bytes, one at a time.
TEST(ErrorPass, MatchesTheByteByByteWalk)
{
    for (auto [width, height] : {std::pair{7, 5}, {1, 6}, {2, 2}, {3, 1}, {33, 4}}) {
        ScopedPic pic;
        pic.set(width, height, 24, noise_rows(width, height, 3, unsigned(width * 31 + height)));
        Bytes expected;
        for (const Bytes& row : pixel_rows(*pic)) expected.insert(expected.end(), row.begin(), row.end());
        const std::int64_t stride = 3 * width, end = std::int64_t(width) * (height - 1) * 3 - 6;
        for (std::int64_t p = 0; p < end; ++p) {
            const unsigned e = expected[std::size_t(p)] & (p % 3 == 1 ? 7u : 15u);
            auto add = [&](std::int64_t at, unsigned amount) {
                expected[std::size_t(at)] = std::uint8_t(std::min(255u, expected[std::size_t(at)] + amount));
            };
            add(p + 3, e);
            add(p + stride, e >> 1);
            add(p + stride + 3, e >> 2);
        }
        diffuse_error(pic.get());
        EXPECT_EQ(Bytes(pic->pixels, pic->pixels + expected.size()), expected) << width << "x" << height;
    }
}

TEST(ReduceDiffused, FewColoursGetOneEntryEach)
{
    // Channels on the quantiser's steps carry no error, so every pixel
    // keeps its exact colour.
    Rows rows;
    for (int y = 0; y < 6; ++y) {
        Bytes row;
        for (int x = 0; x < 7; ++x) row.insert(row.end(), {std::uint8_t(16 * x), std::uint8_t(8 * y), 32});
        rows.push_back(row);
    }
    ScopedPic pic;
    pic.set(7, 6, 24, rows);
    ASSERT_TRUE(reduce_diffused(pic.get()));
    EXPECT_EQ(pic->bits, 8);
    EXPECT_EQ(pic->colours, 256);
    EXPECT_EQ(pic->colour_table, nullptr);
    EXPECT_EQ(rgb_rows(*pic), rows);
    std::set<int> used;
    for (const Bytes& row : pixel_rows(*pic)) used.insert(row.begin(), row.end());
    EXPECT_EQ(used.size(), 42u);
    EXPECT_EQ(*used.rbegin(), 41);
}

TEST(ReduceDiffused, OneRowIsQuantisedWithoutDiffusion)
{
    ScopedPic pic;
    pic.set(3, 1, 24, {{17, 9, 255, 17, 9, 255, 200, 100, 50}});
    ASSERT_TRUE(reduce_diffused(pic.get()));
    EXPECT_EQ(rgb_rows(*pic), (Rows{{16, 8, 240, 16, 8, 240, 192, 96, 48}}));
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0, 0, 1}}));
}

TEST(ReduceDiffused, ManyColoursStayCloseToTheSource)
{
    const Rows source = photo_like(160, 120);
    ScopedPic pic;
    pic.set(160, 120, 24, source);
    static std::vector<int> steps;
    steps.clear();
    pic->progress = [](std::int32_t current, std::int32_t total) {
        if (total == 100) steps.push_back(current);
    };
    ASSERT_TRUE(reduce_diffused(pic.get()));
    EXPECT_EQ(steps, (std::vector<int>{15, 30, 45, 60, 80, 100}));
    EXPECT_EQ(pic->colour_table, nullptr);
    const Rows out = rgb_rows(*pic);
    double total_error = 0;
    for (std::size_t y = 0; y < out.size(); ++y)
        for (std::size_t i = 0; i < out[y].size(); ++i) total_error += std::abs(int(out[y][i]) - source[y][i]);
    EXPECT_LT(total_error / (160.0 * 120 * 3), 10.0);
}

TEST(ReduceToPalette, UsesTheGivenPalette)
{
    ScopedPic pic;
    pic.set(8, 1, 24, {{0, 0, 0, 250, 250, 250, 128, 128, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}});
    const Bytes greys = grey_ramp(256);
    ASSERT_TRUE(reduce_to_palette(pic.get(), greys.data()));
    EXPECT_EQ(pic->bits, 8);
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 768), greys);
    EXPECT_EQ(Bytes(pic->pixels, pic->pixels + 3), (Bytes{0, 250, 128}));
}

TEST(MakeGrey, WeightsTheChannelsAndBuildsARamp)
{
    ScopedPic rgb;
    rgb.set(2, 1, 24, {{100, 150, 200, 255, 255, 255}});
    ASSERT_TRUE(make_grey(rgb.get()));
    EXPECT_EQ(pixel_rows(*rgb), (Rows{{140, 255}}));  // 14050 / 100
    EXPECT_EQ(rgb->colours, 256);
    EXPECT_EQ(Bytes(rgb->palette + 3 * 77, rgb->palette + 3 * 78), (Bytes{77, 77, 77}));

    ScopedPic indexed;
    indexed.set(2, 1, 4, {{1, 0}}, {10, 20, 30, 200, 100, 0});
    ASSERT_TRUE(make_grey(indexed.get()));
    EXPECT_EQ(pixel_rows(*indexed), (Rows{{119, 18}}));
    EXPECT_EQ(indexed->bits, 8);

    ScopedPic mono;
    mono.set(8, 1, 1, {{0xA5}}, {255, 255, 255, 0, 0, 0});
    EXPECT_FALSE(make_grey(mono.get()));
    EXPECT_EQ(mono->bits, 1);
}

TEST(MakeGrey, AgreesWithPpmtopgm)
{
    if (!have_program("ppmtopgm")) GTEST_SKIP() << "netpbm missing";
    const Rows rows = noise_rows(40, 30, 3, 3);
    Bytes ppm{'P', '6', '\n', '4', '0', ' ', '3', '0', '\n', '2', '5', '5', '\n'};
    for (const Bytes& row : rows) ppm.insert(ppm.end(), row.begin(), row.end());
    write_file(temp_path("in.ppm"), ppm);
    const auto peer = parse_pnm(run_tool({"ppmtopgm", temp_path("in.ppm")}).output);
    ASSERT_TRUE(peer);
    ScopedPic pic;
    pic.set(40, 30, 24, rows);
    ASSERT_TRUE(make_grey(pic.get()));
    // Its weights are .299, .587, .114 rounded; ours 30, 59, 11 truncated.
    const Rows ours = pixel_rows(*pic);
    for (std::size_t y = 0; y < 30; ++y)
        for (std::size_t x = 0; x < 40; ++x) ASSERT_LE(std::abs(ours[y][x] - peer->rgb[y][3 * x]), 3) << x << "," << y;
}

TEST(MakeMono, PadsRowsWithClearBitsAndTakesTheWhiteBlackPalette)
{
    ScopedPic dark;
    dark.set(10, 3, 8, Rows(3, Bytes(10, 0)), grey_ramp(256));
    ASSERT_TRUE(make_mono(dark.get()));
    EXPECT_EQ(dark->bits, 1);
    EXPECT_EQ(dark->colours, 2);
    EXPECT_EQ(Bytes(dark->palette, dark->palette + 6), (Bytes{255, 255, 255, 0, 0, 0}));
    EXPECT_EQ(pixel_rows(*dark), Rows(3, Bytes{0xFF, 0xC0}));

    ScopedPic light;
    light.set(10, 1, 8, Rows(1, Bytes(10, 255)), grey_ramp(256));
    ASSERT_TRUE(make_mono(light.get()));
    EXPECT_EQ(pixel_rows(*light), Rows(1, Bytes{0, 0}));
}

// The generator's recurrence is fixed, and each thread starts its own
// sequence from the same seed.
TEST(MakeMono, GeneratorRunsPerThreadFromTheSameSeed)
{
    library_rand();  // this thread's sequence moves on; others do not see it
    std::vector<int> first;
    std::thread([&] {
        for (int i = 0; i < 3; ++i) first.push_back(library_rand());
    }).join();
    EXPECT_EQ(first, (std::vector<int>{346, 130, 10982}));
}

TEST(InvertMono, FlipsEveryByteAndKeepsThePalette)
{
    ScopedPic pic;
    pic.set(10, 2, 1, {{0xF0, 0x40}, {0x00, 0xFF}}, {255, 255, 255, 0, 0, 0});
    ASSERT_TRUE(invert_mono(pic.get()));
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0x0F, 0xBF}, {0xFF, 0x00}}));
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 6), (Bytes{255, 255, 255, 0, 0, 0}));
}

TEST(ExpandToRgb, UsesThePaletteAndReportsItsOutcome)
{
    ScopedPic pic;
    pic.set(3, 1, 8, {{2, 0, 1}}, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_NE(_Pic_RGB24(pic.get()), 0);
    EXPECT_EQ(pic->bits, 24);
    EXPECT_EQ(pic->colours, 0);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{7, 8, 9, 1, 2, 3, 4, 5, 6}}));
    EXPECT_EQ(_Pic_RGB24(pic.get()), 24);

    ScopedPic mono;
    mono.set(8, 1, 1, {{0x0F}}, {255, 255, 255, 0, 0, 0});
    EXPECT_NE(_Pic_RGB24(mono.get()), 0);
    EXPECT_EQ(mono->bits, 1);

    // Past the block ceiling the expansion fails and the image stays.
    ScopedEnv ceiling("ZARN_MAX_IMAGE_BYTES", "100");
    ScopedPic big;
    big.set(10, 10, 8, ramp(10, 10), grey_ramp(256));
    EXPECT_EQ(_Pic_RGB24(big.get()), 0);
    EXPECT_EQ(big->bits, 8);
    EXPECT_EQ(pixel_rows(*big), ramp(10, 10));
}

TEST(SaveConversions, GifAndMonochromeTypesConvertTheRecord)
{
    ScopedPic pic;
    pic.set(12, 9, 24, photo_like(12, 9));
    char gif[512];
    std::snprintf(gif, sizeof gif, "%s", temp_path("out.bmp").c_str());
    _Pic_Write(gif, pic.get(), 10, 75);
    EXPECT_EQ(pic->bits, 8);
    EXPECT_TRUE(std::string(gif).ends_with(".gif"));

    char pbm[512];
    std::snprintf(pbm, sizeof pbm, "%s", temp_path("out").c_str());
    _Pic_Write(pbm, pic.get(), 13, 75);
    EXPECT_EQ(pic->bits, 1);
    EXPECT_EQ(pic->colours, 2);
}

TEST(AnyTo, ReducesOrGreysATrueColourFile)
{
    ScopedPic source;
    source.set(9, 7, 24, photo_like(9, 7));
    const std::string in = temp_path("in.bmp");
    ASSERT_EQ(write_bmp(in.c_str(), source.get()), 1);
    for (auto convert : {&_anyto256, &_anytogrey}) {
        const std::string out = temp_path("out.bmp");
        ScopedPic pic;
        ASSERT_EQ(convert(in.c_str(), out.c_str(), pic.get(), 0, 0), 1);
        EXPECT_EQ(pic->pixels, nullptr);
        ScopedPic back;
        ASSERT_EQ(read_bmp(out.c_str(), back.get()), 1);
        EXPECT_EQ(back->bits, 8);
        EXPECT_EQ(back->width, 9);
    }
}
