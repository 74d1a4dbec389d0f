// The eighth-size JPEG reader against djpeg -scale 1/8, on streams cjpeg writes.
#include "jpeg_eighth.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>

using namespace zarn::test;
using zarn::read_jpeg_eighth;

namespace {

constexpr std::size_t kOneThread = SIZE_MAX;

// Gradients under grain, odd sizes so the last blocks are partial: a scan
// long enough to be read from both ends.
std::string photo_ppm()
{
    constexpr int kWidth = 2401, kHeight = 1599;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> grain(-24, 24);
    Rows rows(kHeight, Bytes(3 * kWidth));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                const int level = c == 0 ? x * 255 / kWidth : c == 1 ? y * 255 / kHeight : (x + y) % 256;
                rows[std::size_t(y)][std::size_t(3 * x + c)] = std::uint8_t(std::clamp(level + grain(random), 0, 255));
            }
    const std::string path = temp_path("eighth.ppm");
    write_file(path, ppm(rows, kWidth));
    return path;
}

Rows rows_of(const zarn::EighthPicture& picture)
{
    const std::size_t depth = picture.grey ? 1 : 3, width = std::size_t(picture.width);
    Rows rows;
    for (std::size_t y = 0; y < std::size_t(picture.height); ++y) {
        Bytes& row = rows.emplace_back(3 * width);
        for (std::size_t i = 0; i < 3 * width; ++i)
            row[i] = picture.pixels.get()[(y * width + i / 3) * depth + i % 3 % depth];
    }
    return rows;
}

class JpegEighth : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_program("cjpeg") || !have_program("djpeg")) GTEST_SKIP() << "cjpeg or djpeg missing";
        source = photo_ppm();
    }
    // cjpeg's file of the photograph with `options`.
    Bytes written(const std::string& options, const std::string& name)
    {
        const std::string path = temp_path(name);
        EXPECT_TRUE(make("cjpeg " + options + " " + source, path));
        return read_file(path);
    }
    static std::optional<Pnm> eighth_by_djpeg(const Bytes& jpeg, const std::string& name)
    {
        const std::string path = temp_path(name);
        write_file(path, jpeg);
        return decode({"djpeg", "-scale", "1/8", "-pnm", path});
    }
    std::string source;
};

TEST_F(JpegEighth, GreyIsLibjpegsOwnFromOneThreadOrTwoAndWithRestarts)
{
    for (const std::string options : {"-quality 92 -grayscale", "-quality 92 -grayscale -restart 3"}) {
        SCOPED_TRACE(options);
        const Bytes jpeg = written(options, "grey.jpg");
        ASSERT_GT(jpeg.size(), std::size_t(1) << 19);
        const std::optional<Pnm> expected = eighth_by_djpeg(jpeg, "grey.jpg");
        ASSERT_TRUE(expected);
        for (const std::size_t split : {std::size_t(1) << 18, std::size_t(64), kOneThread}) {
            const auto picture = read_jpeg_eighth(jpeg, split);
            ASSERT_TRUE(picture) << split;
            EXPECT_TRUE(picture->grey);
            ASSERT_EQ(picture->width, expected->width);
            ASSERT_EQ(picture->height, expected->height);
            EXPECT_EQ(largest_difference(rows_of(*picture), expected->rgb), 0) << split;
        }
    }
}

TEST_F(JpegEighth, ColourMatchesLibjpegWhereItUpsamplesAndComesCloseWhereItScales)
{
    // libjpeg reads 4:2:0 chroma through a 2 x 2 transform at this scale;
    // the blocks' means differ from it by the chroma's finest detail only (a
    // swapped or misplaced plane is off by tens).
    const struct {
        const char* sampling;
        double mean;
    } cases[] = {{"1x1", 0}, {"2x1", 0}, {"2x2", 5}};
    for (const auto& each : cases) {
        SCOPED_TRACE(each.sampling);
        const Bytes jpeg = written(std::string("-quality 90 -sample ") + each.sampling, "colour.jpg");
        const std::optional<Pnm> expected = eighth_by_djpeg(jpeg, "colour.jpg");
        ASSERT_TRUE(expected);
        const auto two = read_jpeg_eighth(jpeg), one = read_jpeg_eighth(jpeg, kOneThread);
        ASSERT_TRUE(two && one);
        const Rows ours = rows_of(*two);
        EXPECT_EQ(ours, rows_of(*one));
        ASSERT_EQ(ours.size(), expected->rgb.size());
        double sum = 0, count = 0;
        for (std::size_t y = 0; y < ours.size(); ++y) {
            ASSERT_EQ(ours[y].size(), expected->rgb[y].size());
            for (std::size_t i = 0; i < ours[y].size(); ++i, ++count)
                sum += std::abs(int(ours[y][i]) - int(expected->rgb[y][i]));
        }
        EXPECT_LE(sum / count, each.mean);
    }
}

TEST_F(JpegEighth, LeavesOtherStreamsAndDamageToLibjpeg)
{
    EXPECT_FALSE(read_jpeg_eighth(written("-progressive", "progressive.jpg")));
    EXPECT_FALSE(read_jpeg_eighth(written("-arithmetic", "arithmetic.jpg")));
    EXPECT_FALSE(read_jpeg_eighth(written("-rgb", "rgb.jpg")));
    Bytes cut = written("-quality 92", "cut.jpg");
    ASSERT_TRUE(read_jpeg_eighth(cut));
    cut.resize(cut.size() * 3 / 4);
    EXPECT_FALSE(read_jpeg_eighth(cut));
    EXPECT_FALSE(read_jpeg_eighth(cut, kOneThread));
    EXPECT_FALSE(read_jpeg_eighth(Bytes{0xFF, 0xD8, 0xFF}));
}

}  // namespace
