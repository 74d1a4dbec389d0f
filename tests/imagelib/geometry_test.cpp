// Quarter turn, crop, shear rotation, resize and the BMP-to-BMP wrapper, with netpbm and ImageMagick as referees.
#include "checked.h"
#include "codecs.h"
#include "operations.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

using namespace zarn;
using namespace zarn::test;

namespace {

// Writes 24-bit rows as a binary PPM and returns what `command` prints with
// the file's path in place of "IN" (or after it), parsed; nothing when the
// tool failed.
std::optional<Pnm> peer(std::vector<std::string> command, int width, int height, const Rows& rows)
{
    std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    Bytes ppm(header.begin(), header.end());
    for (const Bytes& row : rows) ppm.insert(ppm.end(), row.begin(), row.end());
    const std::string path = temp_path("peer.ppm");
    write_file(path, ppm);
    const auto in = std::find(command.begin(), command.end(), "IN");
    if (in != command.end()) *in = path;
    else command.push_back(path);
    const ToolRun run = run_tool(command);
    if (run.status != 0) return std::nullopt;
    return parse_pnm(run.output);
}

}  // namespace

TEST(Rotate, ThreeByTwoTurnsClockwise)
{
    ScopedPic pic;
    pic.set(3, 2, 8, {{1, 2, 3}, {4, 5, 6}}, grey_ramp(256));
    _Pic_Rotate(pic.get());
    EXPECT_EQ(pic->width, 2);
    EXPECT_EQ(pic->height, 3);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{4, 1}, {5, 2}, {6, 3}}));

    ScopedPic mono;
    mono.set(9, 1, 1, {{0xAA, 0x80}}, {255, 255, 255, 0, 0, 0});
    _Pic_Rotate(mono.get());
    EXPECT_EQ(mono->width, 9);
    EXPECT_EQ(pixel_rows(*mono), (Rows{{0xAA, 0x80}}));
}

TEST(Rotate, AgreesWithPamflipAcrossTiles)
{
    if (!have_program("pamflip")) GTEST_SKIP() << "netpbm missing";
    const Rows rows = noise_rows(150, 97, 3, 1);
    const auto expected = peer({"pamflip", "-cw"}, 150, 97, rows);
    ASSERT_TRUE(expected);
    ScopedPic pic;
    pic.set(150, 97, 24, rows);
    _Pic_Rotate(pic.get());
    EXPECT_EQ(pic->width, 97);
    EXPECT_EQ(pixel_rows(*pic), expected->rgb);
}

TEST(Crop, AcceptsTheEdgeAndRefusesOnePast)
{
    const Rows rows = noise_rows(10, 8, 3, 2);
    for (auto [x, y, w, h] : {std::array{5, 3, 6, 5},
                              {4, 4, 6, 5},
                              {-1, 0, 2, 2},
                              {0, -1, 2, 2},
                              {0, 0, 0, 2},
                              {0, 0, 2, 0},
                              {2147483647, 0, 1, 1}}) {
        ScopedPic pic;
        pic.set(10, 8, 24, rows);
        EXPECT_EQ(_Pic_Crop(pic.get(), x, y, w, h), 0) << x << "," << y << " " << w << "x" << h;
        EXPECT_EQ(pixel_rows(*pic), rows);
        EXPECT_EQ(pic->width, 10);
    }
    ScopedPic pic;
    pic.set(10, 8, 24, rows);
    ASSERT_NE(_Pic_Crop(pic.get(), 4, 3, 6, 5), 0);
    EXPECT_EQ(pic->width, 6);
    EXPECT_EQ(pic->height, 5);
    EXPECT_EQ(pixel_rows(*pic)[0], Bytes(rows[3].begin() + 12, rows[3].end()));
    EXPECT_EQ(pixel_rows(*pic)[4], Bytes(rows[7].begin() + 12, rows[7].end()));
}

TEST(Crop, AgreesWithPamcut)
{
    if (!have_program("pamcut")) GTEST_SKIP() << "netpbm missing";
    const Rows rows = noise_rows(37, 23, 3, 3);
    const auto expected = peer({"pamcut", "-left", "5", "-top", "7", "-width", "19", "-height", "11"}, 37, 23, rows);
    ASSERT_TRUE(expected);
    ScopedPic pic;
    pic.set(37, 23, 24, rows);
    ASSERT_NE(_Pic_Crop(pic.get(), 5, 7, 19, 11), 0);
    EXPECT_EQ(pixel_rows(*pic), expected->rgb);
}

TEST(Crop, MonochromeStartsOnTheByteOfItsLeftColumn)
{
    ScopedPic pic;
    pic.set(16, 3, 1, {{0xB7, 0x11}, {0x5A, 0x22}, {0xC3, 0x33}}, {255, 255, 255, 0, 0, 0});
    ASSERT_NE(_Pic_Crop(pic.get(), 5, 1, 4, 2), 0);
    EXPECT_EQ(pic->width, 4);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0x5A}, {0xC3}}));
}

TEST(ShearRotate, AngleZeroGivesTheSameImage)
{
    for (int bits : {8, 24}) {
        const Rows rows = noise_rows(7, 5, bits / 8, unsigned(bits));
        ScopedPic pic;
        pic.set(7, 5, bits, rows, grey_ramp(256));
        ASSERT_TRUE(shear_rotate(pic.get(), 0.0));
        EXPECT_EQ(pic->width, 7);
        EXPECT_EQ(pic->height, 5);
        EXPECT_EQ(pixel_rows(*pic), rows);
    }
}

TEST(ShearRotate, RefusesBadAnglesKindsAndOversizedResults)
{
    ScopedPic pic;
    pic.set(4, 3, 24, noise_rows(4, 3, 3, 4));
    for (double angle : {-1.0, 90.0, 90.5, std::nan("")}) EXPECT_FALSE(shear_rotate(pic.get(), angle)) << angle;
    EXPECT_EQ(pic->width, 4);

    ScopedPic mono;
    mono.set(8, 2, 1, {{1}, {2}}, {255, 255, 255, 0, 0, 0});
    EXPECT_FALSE(shear_rotate(mono.get(), 30));

    // tan(89°) is 57.3: 2000 by 2000 would become about 116000 square.
    ScopedPic big;
    big.set(2000, 2000, 8, Rows(2000, Bytes(2000, 9)), grey_ramp(256));
    EXPECT_FALSE(shear_rotate(big.get(), 89));
    EXPECT_EQ(big->width, 2000);

    ASSERT_TRUE(shear_rotate(pic.get(), 30));
    EXPECT_EQ(pic->width, int(std::tan(M_PI / 6) * 3 + 4));
    EXPECT_EQ(pic->height, int(std::tan(M_PI / 6) * 4 + 3));
}

TEST(Resize, EnlargingEitherSideSmoothsTrueColour)
{
    const Rows rows = noise_rows(100, 100, 3, 5);
    ScopedPic pic;
    pic.set(100, 100, 24, rows);
    ASSERT_TRUE(resize_image(pic.get(), 200, 50));
    const Rows out = pixel_rows(*pic);
    // Output (x, y) samples source (round(x / 2), 2y) and its diagonal
    // neighbours' samples; position -1 maps to 0.
    auto sample = [&](int x, int y, int c) {
        const int sx = std::min(99, x < 0 ? 0 : int(x * 0.5 + 0.5)), sy = std::min(99, y < 0 ? 0 : 2 * y);
        return int(rows[std::size_t(sy)][std::size_t(3 * sx + c)]);
    };
    for (auto [x, y] : {std::pair{0, 0}, {57, 21}, {199, 49}, {1, 48}})
        for (int c = 0; c < 3; ++c) {
            const int sum = 2 * sample(x, y, c) + sample(x - 1, y - 1, c) + sample(x + 1, y - 1, c) +
                            sample(x - 1, y + 1, c) + sample(x + 1, y + 1, c);
            EXPECT_EQ(out[std::size_t(y)][std::size_t(3 * x + c)], sum / 6) << x << "," << y;
        }
}

TEST(Resize, ShrinkingSamplesLikeImageMagick)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick missing";
    const Rows rows = noise_rows(97, 61, 3, 6);
    // Our source column is round(x × 97 / 41); -sample takes the floor of
    // (x + offset) × 97 / 41, so an offset of 0.5 × 41 / 97 matches it.
    char offset[64];
    std::snprintf(offset, sizeof offset, "sample:offset=%.10fx%.10f", 50.0 * 41 / 97, 50.0 * 27 / 61);
    const auto expected =
        peer({"convert", "IN", "-define", offset, "-sample", "41x27!", "-depth", "8", "ppm:-"}, 97, 61, rows);
    ASSERT_TRUE(expected);
    ASSERT_EQ(expected->width, 41);
    ScopedPic pic;
    pic.set(97, 61, 24, rows);
    ASSERT_TRUE(resize_image(pic.get(), 41, 27));
    EXPECT_EQ(pixel_rows(*pic), expected->rgb);
}

TEST(Resize, MonochromeToWidthTen)
{
    ScopedPic pic;
    pic.set(16, 2, 1, {{0xFF, 0x00}, {0x00, 0xFF}}, {255, 255, 255, 0, 0, 0});
    ASSERT_TRUE(resize_image(pic.get(), 10, 2));
    // Columns 0, 2, 3, 5, 6, 8, 10, 11, 13, 14.
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0xF8, 0x00}, {0x07, 0xC0}}));
}

TEST(Resize, RefusesEmptySizes)
{
    ScopedPic pic;
    pic.set(3, 3, 8, ramp(3, 3), grey_ramp(256));
    for (auto [w, h] : {std::pair{0, 3}, {3, 0}, {-2, 5}}) EXPECT_FALSE(resize_image(pic.get(), w, h));
    EXPECT_EQ(pixel_rows(*pic), ramp(3, 3));
}

TEST(FileWrapper, WorksInPlaceAndWritesNothingWithoutASource)
{
    ScopedPic source;
    source.set(10, 8, 24, noise_rows(10, 8, 3, 7));
    const std::string path = temp_path("pic.bmp");
    ASSERT_EQ(write_bmp(path.c_str(), source.get()), 1);

    ScopedPic pic;
    EXPECT_EQ(_bmpcrop(path.c_str(), path.c_str(), pic.get(), 2, 1, 5, 4), pic.get());
    EXPECT_EQ(pic->pixels, nullptr);
    ScopedPic back;
    ASSERT_EQ(read_bmp(path.c_str(), back.get()), 1);
    EXPECT_EQ(back->width, 5);
    EXPECT_EQ(back->height, 4);

    EXPECT_EQ(_bmpresize(path.c_str(), temp_path("big.bmp").c_str(), pic.get(), 11, 9), pic.get());
    EXPECT_EQ(_checkbmp(temp_path("big.bmp").c_str(), pic.get()), 1);
    EXPECT_EQ(pic->width, 11);

    const std::string never = temp_path("never.bmp");
    EXPECT_EQ(_bmprotate(temp_path("missing.bmp").c_str(), never.c_str(), pic.get(), 10), pic.get());
    EXPECT_FALSE(file_exists(never));
    EXPECT_EQ(_bmprotate(nullptr, never.c_str(), nullptr, 10), nullptr);
}

// Every operation on images one pixel wide or high, of every kind; the
// sanitizer build turns any stray access into a failure.
TEST(EveryOperation, HandlesThinImagesOfEveryKind)
{
    std::vector<std::function<void(PicImage*)>> operations{
        [](PicImage* p) { _Pic_Crop(p, 0, 0, p->width, p->height); },
        [](PicImage* p) { shear_rotate(p, 45); },
        [](PicImage* p) { resize_image(p, 3, 2); },
        [](PicImage* p) { resize_image(p, 1, 1); },
        [](PicImage* p) { reduce_to_palette(p, nullptr); },
        [](PicImage* p) { sharpen_image(p, -9); },
        [](PicImage* p) { sharpen_image(p, 9); },
        [](PicImage* p) { adjust_tone(p, -1000, 2000, 0, 50, -300, 0, 255); },
        [](PicImage* p) { diffuse_error(p); },
    };
    for (int code = -1; code <= 28; ++code) operations.push_back([code](PicImage* p) { process_code(p, code); });
    for (int code : {100, 101, 102, 103, 104, 105, 200, 201})
        operations.push_back([code](PicImage* p) { process_code(p, code); });

    for (int bits : {1, 2, 4, 7, 8, 24})
        for (auto [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {2, 3}}) {
            const std::size_t row = bits == 1 ? std::size_t(w + 7) / 8 : std::size_t(w) * (bits == 24 ? 3 : 1);
            const Rows rows = noise_rows(int(row), h, 1, unsigned(bits * 100 + w * 10 + h));
            for (std::size_t op = 0; op < operations.size(); ++op) {
                ScopedPic pic;
                pic.set(w, h, bits, rows, grey_ramp(1 << std::min(bits, 8)));
                operations[op](pic.get());
                ASSERT_NE(pic->pixels, nullptr);
                ASSERT_TRUE(pixel_block_bytes(pic.get())) << bits << " " << w << "x" << h << " op " << op;
            }
        }
}
