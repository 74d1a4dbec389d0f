// PhotoCD reading: resolutions, the YCC tables, chrominance interpolation, orientation, short files.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zarn::test;
using zarn::read_photocd;

namespace {

struct Res {
    int width, height;
    std::size_t offset;
};
constexpr Res kRes[] = {{192, 128, 8192}, {384, 256, 47104}, {768, 512, 196608}};

using Plane = std::function<std::uint8_t(int x, int y)>;

// The image pack layout: orientation byte at 0xE02, then groups of two
// luminance rows and one row each of the half-size chrominance planes.
Bytes pcd_file(const Res& r, int orientation, const Plane& luma, const Plane& c1, const Plane& c2)
{
    Bytes file(r.offset, 0);
    file[0xE02] = std::uint8_t(0xFC | orientation);
    for (int g = 0; g < r.height / 2; ++g) {
        for (int y = 2 * g; y < 2 * g + 2; ++y)
            for (int x = 0; x < r.width; ++x) file.push_back(luma(x, y));
        for (int x = 0; x < r.width / 2; ++x) file.push_back(c1(x, g));
        for (int x = 0; x < r.width / 2; ++x) file.push_back(c2(x, g));
    }
    return file;
}

Plane constant(std::uint8_t v)
{
    return [v](int, int) { return v; };
}

// The conversion written out from the table formulas.
Bytes ycc(int y, int c1, int c2)
{
    const auto clamp = [](long v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    const long l = 5564L * y + 2048;
    return {clamp((l + 7461L * c2 - 1022138) >> 12), clamp((l + 274934 - 1762L * c1 + 520268 - 3798L * c2) >> 12),
            clamp((l + 9085L * c1 - 1417185) >> 12)};
}

Bytes pixel(const PicImage& pic, int x, int y)
{
    const std::uint8_t* p = pic.pixels + 3 * (std::size_t(y) * std::size_t(pic.width) + std::size_t(x));
    return {p[0], p[1], p[2]};
}

int read_bytes(const Bytes& file, ScopedPic& pic, int resolution)
{
    return zarn::test::read_bytes(
        file, pic, "in.pcd", [&](const char* path, PicImage* into) { return read_photocd(path, into, resolution); });
}

TEST(PhotoCdRead, NeutralPixelIsGrey)
{
    EXPECT_EQ(ycc(100, 156, 137), (Bytes{136, 136, 136}));
    ScopedPic pic;
    ASSERT_EQ(read_bytes(pcd_file(kRes[0], 0, constant(100), constant(156), constant(137)), pic, 1), 1);
    EXPECT_EQ(pic->width, 192);
    EXPECT_EQ(pic->height, 128);
    EXPECT_EQ(pic->bits, 24);
    EXPECT_STREQ(pic->description, "PhotoCD : 192x128 - 24bit");
    for (const auto& row : pixel_rows(*pic))
        for (std::size_t i = 0; i < row.size(); ++i) ASSERT_EQ(row[i], 136);
}

TEST(PhotoCdRead, ResolutionsAndOutOfRangeChoices)
{
    const Bytes file = pcd_file(kRes[2], 0, constant(100), constant(156), constant(137));
    for (const auto& [resolution, width] : {std::pair{2, 384}, {3, 768}, {0, 768}, {7, 768}}) {
        ScopedPic pic;
        ASSERT_EQ(read_bytes(file, pic, resolution), 1) << resolution;
        EXPECT_EQ(pic->width, width) << resolution;
        EXPECT_EQ(pic->height, width * 2 / 3) << resolution;
    }
}

TEST(PhotoCdRead, OrientationTurnsThePicture)
{
    const Plane luma = [](int x, int y) { return std::uint8_t((x * 7 + y * 3) % 200 + 20); };
    const Res& r = kRes[0];
    const auto expected = [&](int x, int y) { return ycc(luma(x, y), 156, 137); };
    for (int code : {0, 2}) {
        ScopedPic pic;
        ASSERT_EQ(read_bytes(pcd_file(r, code, luma, constant(156), constant(137)), pic, 1), 1);
        EXPECT_EQ(pic->width, 192);
        for (auto [x, y] : {std::pair{0, 0}, {191, 0}, {5, 127}, {100, 60}})
            EXPECT_EQ(pixel(*pic, x, y), expected(x, y));
    }
    ScopedPic clockwise;
    ASSERT_EQ(read_bytes(pcd_file(r, 3, luma, constant(156), constant(137)), clockwise, 1), 1);
    EXPECT_EQ(clockwise->width, 128);
    EXPECT_EQ(clockwise->height, 192);
    // Output (j, i) comes from stored (i, H - 1 - j): the stored bottom-left lands top-left.
    for (auto [j, i] : {std::pair{0, 0}, {127, 0}, {0, 191}, {40, 70}})
        EXPECT_EQ(pixel(*clockwise, j, i), expected(i, 127 - j));
    ScopedPic counter;
    ASSERT_EQ(read_bytes(pcd_file(r, 1, luma, constant(156), constant(137)), counter, 1), 1);
    EXPECT_EQ(counter->width, 128);
    for (auto [j, i] : {std::pair{0, 0}, {127, 0}, {0, 191}, {40, 70}})
        EXPECT_EQ(pixel(*counter, j, i), expected(191 - i, j));
}

TEST(PhotoCdRead, ChromaIsInterpolatedBetweenSamples)
{
    // C2 alternates 100 / 200 along a row and C1 steps by rows, so each
    // interpolated position has a value worked out by hand.
    const Plane c1 = [](int, int y) { return std::uint8_t(y % 2 ? 180 : 120); };
    const Plane c2 = [](int x, int) { return std::uint8_t(x % 2 ? 200 : 100); };
    ScopedPic pic;
    ASSERT_EQ(read_bytes(pcd_file(kRes[0], 0, constant(128), c1, c2), pic, 1), 1);
    EXPECT_EQ(pixel(*pic, 0, 0), ycc(128, 120, 100));
    EXPECT_EQ(pixel(*pic, 1, 0), ycc(128, 120, 150));  // (100 + 200 + 1) / 2
    EXPECT_EQ(pixel(*pic, 2, 0), ycc(128, 120, 200));
    EXPECT_EQ(pixel(*pic, 0, 1), ycc(128, 150, 100));    // between rows 0 and 2
    EXPECT_EQ(pixel(*pic, 1, 1), ycc(128, 150, 150));    // four neighbours
    EXPECT_EQ(pixel(*pic, 191, 0), ycc(128, 120, 200));  // last two columns repeat the last sample
    EXPECT_EQ(pixel(*pic, 190, 0), ycc(128, 120, 200));
    EXPECT_EQ(pixel(*pic, 0, 127), pixel(*pic, 0, 126));  // last row copies the one above
}

TEST(PhotoCdHostile, ShortFilesAreRefusedOrReadAsZero)
{
    ScopedPic tiny;
    EXPECT_EQ(read_bytes(Bytes(100, 0), tiny, 1), 0);
    ScopedPic no_data;
    Bytes header(8192, 0);
    EXPECT_EQ(read_bytes(header, no_data, 1), 0);
    EXPECT_EQ(no_data->pixels, nullptr);
    // Three bytes of data: the rest of every plane is zero, the same every run.
    header.insert(header.end(), {50, 60, 70});
    ScopedPic partial;
    ASSERT_EQ(read_bytes(header, partial, 1), 1);
    EXPECT_EQ(pixel(*partial, 1, 0), ycc(60, 0, 0));
    EXPECT_EQ(pixel(*partial, 100, 100), ycc(0, 0, 0));
    EXPECT_EQ(_Pic_ValidExt("x.pcd", 1), 5);
}

}  // namespace
