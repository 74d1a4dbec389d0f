// Tone, sharpness and effects, through the numbered codes and the file exports.
#include "checked.h"
#include "codecs.h"
#include "operations.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

using namespace zarn;
using namespace zarn::test;

namespace {

Rows noise_rgb(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    Rows rows(std::size_t(height), Bytes(std::size_t(3 * width)));
    for (Bytes& row : rows)
        for (auto& v : row) v = std::uint8_t(random());
    return rows;
}

// The first pixel after running `code` on a 1 by 1 image of `rgb`.
Bytes after_code(int code, Bytes rgb)
{
    ScopedPic pic;
    pic.set(1, 1, 24, {rgb});
    process_code(pic.get(), code);
    return pixel_rows(*pic)[0];
}

}  // namespace

TEST(Tone, WorkedExamples)
{
    EXPECT_EQ(after_code(11, {100, 100, 100}), (Bytes{105, 100, 100}));  // red +5
    EXPECT_EQ(after_code(14, {100, 100, 100}), (Bytes{90, 100, 100}));   // red -10
    EXPECT_EQ(after_code(6, {200, 10, 127}), (Bytes{203, 5, 127}));      // contrast +5
    EXPECT_EQ(after_code(23, {100, 100, 100}), (Bytes{105, 100, 95}));   // warm
    EXPECT_EQ(after_code(20, {90, 120, 150}), (Bytes{120, 96, 60}));     // sepia
    // Highlight Enhance works only from 128 up; Shadow Enhance only to 128.
    EXPECT_EQ(after_code(25, {0, 127, 200}), (Bytes{0, 127, 203}));
    EXPECT_EQ(after_code(26, {0, 127, 200}), (Bytes{0, 127, 200}));
    EXPECT_EQ(after_code(26, {0, 10, 129}), (Bytes{0, 5, 129}));
}

TEST(Tone, RepeatedCodesApplyTheirStepAgain)
{
    // Brightness +5 then contrast +5: 100 -> 105 -> 104, then 109, then 114.
    EXPECT_EQ(after_code(17, {100, 100, 100}), (Bytes{104, 104, 104}));
    EXPECT_EQ(after_code(200, {100, 100, 100}), (Bytes{109, 109, 109}));
    EXPECT_EQ(after_code(201, {100, 100, 100}), (Bytes{114, 114, 114}));
}

TEST(Tone, ExtremePercentagesDoNotOverflow)
{
    ScopedPic pic;
    pic.set(1, 1, 24, {{0, 100, 100}});
    ASSERT_TRUE(adjust_tone(pic.get(), INT_MAX, 0, INT_MIN, INT_MAX, INT_MIN, 0, 255));
    // Red: 0 stays 0 before the contrast, which then pushes it far up. Green:
    // huge, then the negative factor flips it down. Blue: change 0 - 1.
    EXPECT_EQ(pixel_rows(*pic)[0], (Bytes{255, 0, 255}));
}

TEST(Sharpen, FollowsTheNeighbourhoodFormulas)
{
    const Rows rows = noise_rgb(5, 6, 1);
    auto at = [&](int x, int y, int c) { return double(rows[std::size_t(y)][std::size_t(3 * x + c)]); };

    ScopedPic sharp;
    sharp.set(5, 6, 24, rows);
    ASSERT_TRUE(sharpen_image(sharp.get(), 2.5));
    double n = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) n += at(2 + dx, 3 + dy, 1);
    const double k = 0.1 * 2.5;
    EXPECT_EQ(pixel_rows(*sharp)[3][7], clamp_channel(std::trunc((at(2, 3, 1) - n * k / 9) / (1 - k) + 0.5)));
    EXPECT_EQ(pixel_rows(*sharp)[0], rows[0]);
    EXPECT_EQ(pixel_rows(*sharp)[2][0], rows[2][0]);  // first and last pixel of a row stay

    // Softening reads two pixels aside; for pixel 1 the left one is the
    // previous row's last pixel.
    ScopedPic soft;
    soft.set(5, 6, 24, rows);
    ASSERT_TRUE(sharpen_image(soft.get(), -2.5));
    const double around = at(4, 1, 2) + at(3, 2, 2) + at(1, 0, 2) + at(1, 4, 2);
    EXPECT_EQ(pixel_rows(*soft)[2][5], clamp_channel(std::trunc((32 * at(1, 2, 2) + 2.5 * around) / 42 + 0.5)));
    EXPECT_EQ(pixel_rows(*soft)[1], rows[1]);
    EXPECT_EQ(pixel_rows(*soft)[4], rows[4]);
}

TEST(Sharpen, ShortImagesAndZeroChangeNothing)
{
    for (auto [amount, height] : {std::pair{2.5, 1}, {2.5, 2}, {-2.5, 4}, {0.0, 9}}) {
        const Rows rows = noise_rgb(6, height, unsigned(height));
        ScopedPic pic;
        pic.set(6, height, 24, rows);
        sharpen_image(pic.get(), amount);
        EXPECT_EQ(pixel_rows(*pic), rows) << amount << " on " << height << " rows";
    }
}

TEST(Effects, GradientBrightensFromTheTop)
{
    ScopedPic pic;
    pic.set(2, 4, 24, solid(2, 4, {100, 250, 0}));
    process_code(pic.get(), 10);
    const Rows out = pixel_rows(*pic);
    EXPECT_EQ(out[0], (Bytes{164, 255, 64, 164, 255, 64}));
    EXPECT_EQ(out[1][0], 148);
    EXPECT_EQ(out[3][0], 116);
}

TEST(Effects, HistogramStretchNeedsTwoPopulatedLevels)
{
    Rows rows = solid(12, 10, {40, 40, 40});
    for (std::size_t y = 5; y < 10; ++y) rows[y] = solid(12, 1, {200, 200, 200})[0];
    ScopedPic pic;
    pic.set(12, 10, 24, rows);
    process_code(pic.get(), 19);
    // low 40, high 200: offset -20, scale 207 / 160.
    EXPECT_EQ(pixel_rows(*pic)[0][0], 77);
    EXPECT_EQ(pixel_rows(*pic)[9][0], 255);

    rows.resize(4);  // 48 pixels: no level holds more than 50
    ScopedPic sparse;
    sparse.set(12, 4, 24, rows);
    EXPECT_EQ(apply_effect(sparse.get(), 15), Outcome::kUnchanged);
    EXPECT_EQ(pixel_rows(*sparse), rows);

    ScopedPic flat;
    flat.set(12, 10, 24, solid(12, 10, {90, 90, 90}));
    EXPECT_EQ(apply_effect(flat.get(), 15), Outcome::kUnchanged);
    EXPECT_EQ(pixel_rows(*flat), solid(12, 10, {90, 90, 90}));
}

TEST(Effects, EmbossAndCrossReliefAroundADot)
{
    Rows rows = solid(7, 9, {50, 50, 50});
    for (std::size_t c = 0; c < 3; ++c) rows[3][9 + c] = 150;
    ScopedPic emboss;
    emboss.set(7, 9, 24, rows);
    process_code(emboss.get(), 21);
    const Rows e = pixel_rows(*emboss);
    EXPECT_EQ(e[1][9], 50);  // rows 0 and 1 are copied
    EXPECT_EQ(e[2][0], 50);  // nothing two rows up and two pixels left
    EXPECT_EQ(e[2][6], 127);
    EXPECT_EQ(e[3][9], 227);
    EXPECT_EQ(e[5][15], 27);

    ScopedPic cross;
    cross.set(7, 9, 24, rows);
    process_code(cross.get(), 22);
    const Rows x = pixel_rows(*cross);
    EXPECT_EQ(x[3][9], 150);
    EXPECT_EQ(x[3][15], 0);   // dot two pixels to the left
    EXPECT_EQ(x[3][3], 0);    // dot two pixels to the right
    EXPECT_EQ(x[5][9], 150);  // dot two rows up
    EXPECT_EQ(x[1][9], 50);   // too near the top: copied
    EXPECT_EQ(x[7][9], 50);   // too near the bottom
}

TEST(FileExports, EveryCodeWritesTheDestination)
{
    ScopedPic source;
    source.set(3, 2, 24, solid(3, 2, {100, 100, 100}));
    const std::string in = temp_path("in.bmp");
    ASSERT_EQ(write_bmp(in.c_str(), source.get()), 1);

    auto result = [&](auto run) {
        const std::string out = temp_path("out.bmp");
        std::remove(out.c_str());
        ScopedPic pic;
        EXPECT_EQ(run(out.c_str(), pic.get()), pic.get());
        ScopedPic back;
        return read_bmp(out.c_str(), back.get()) ? pixel_rows(*back)[1] : Bytes{};
    };
    const Bytes unchanged{100, 100, 100, 100, 100, 100, 100, 100, 100};
    for (int code : {28, -1, 1000, INT_MIN})
        EXPECT_EQ(result([&](const char* out, PicImage* p) { return _bmprocess(in.c_str(), out, p, code); }), unchanged)
            << code;
    EXPECT_EQ(result([&](const char* out, PicImage* p) { return _bmprocess(in.c_str(), out, p, 14); }),
              (Bytes{90, 100, 100, 90, 100, 100, 90, 100, 100}));
    EXPECT_EQ(result([&](const char* out, PicImage* p) { return _bmpprocess(in.c_str(), out, p, 0, 0, 5, 0, 0); }),
              (Bytes{100, 100, 105, 100, 100, 105, 100, 100, 105}));
    EXPECT_EQ(result([&](const char* out, PicImage* p) { return _bmpsharpen(in.c_str(), out, p, 2.5); }), unchanged);
}
