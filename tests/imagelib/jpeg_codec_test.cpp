// JPEG reading and writing: scale codes, greyscale, progress, truncation, and write results.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace zarn::test;
using zarn::read_jpeg;
using zarn::write_jpeg;

namespace {

// A smooth picture, which JPEG keeps close to the original.
Rows smooth_rgb(int width, int height)
{
    Rows rows(std::size_t(height), Bytes(std::size_t(width) * 3));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            auto* p = &rows[std::size_t(y)][std::size_t(x) * 3];
            p[0] = std::uint8_t(x * 255 / std::max(1, width - 1));
            p[1] = std::uint8_t(y * 255 / std::max(1, height - 1));
            p[2] = 128;
        }
    return rows;
}

std::string write_colour_jpeg(const std::string& name, int width, int height, int quality = 90)
{
    const std::string path = temp_path(name);
    ScopedPic pic;
    pic.set(width, height, 24, smooth_rgb(width, height));
    EXPECT_EQ(write_jpeg(path.c_str(), pic.get(), quality, false), 1);
    return path;
}

// The number of components in the frame header (SOF0).
int frame_components(const Bytes& file)
{
    for (std::size_t i = 2; i + 9 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xC0) return file[i + 9];
    return -1;
}

double mean_difference(const Rows& a, const Rows& b)
{
    double total = 0;
    std::size_t count = 0;
    for (std::size_t y = 0; y < a.size() && y < b.size(); ++y)
        for (std::size_t x = 0; x < a[y].size() && x < b[y].size(); ++x, ++count)
            total += std::abs(int(a[y][x]) - int(b[y][x]));
    return count ? total / double(count) : 1e9;
}

std::vector<std::pair<int, int>> progress_calls;
void record_progress(std::int32_t current, std::int32_t total)
{
    progress_calls.emplace_back(current, total);
}

TEST(JpegRead, ScaleCodesGiveSizeAndPercentage)
{
    const std::string path = write_colour_jpeg("photo.jpg", 640, 480);
    struct Case {
        int argument, width, height;
        const char* description;
    };
    for (const Case& c :
         {Case{0, 640, 480, "Jpeg : 640x480 (100%) - 24bit"}, Case{1, 320, 240, "Jpeg : 320x240 (50%) - 24bit"},
          Case{50, 320, 240, "Jpeg : 320x240 (50%) - 24bit"}, Case{2, 160, 120, "Jpeg : 160x120 (25%) - 24bit"},
          Case{25, 160, 120, "Jpeg : 160x120 (25%) - 24bit"}, Case{3, 80, 60, "Jpeg : 80x60 (12%) - 24bit"},
          Case{12, 80, 60, "Jpeg : 80x60 (12%) - 24bit"}, Case{100, 640, 480, "Jpeg : 640x480 (100%) - 24bit"},
          Case{4, 640, 480, "Jpeg : 640x480 (100%) - 24bit"}}) {
        ScopedPic pic;
        ASSERT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, c.argument), 1) << c.argument;
        EXPECT_EQ(pic->width, c.width) << c.argument;
        EXPECT_EQ(pic->height, c.height) << c.argument;
        EXPECT_EQ(pic->bits, 24);
        EXPECT_EQ(pic->colours, 0);
        EXPECT_STREQ(pic->description, c.description);
    }
}

TEST(JpegRead, ColourRoundTripStaysClose)
{
    ScopedPic pic;
    ASSERT_EQ(read_jpeg(write_colour_jpeg("rt.jpg", 64, 48, 95).c_str(), pic.get(), 0), 1);
    EXPECT_LT(mean_difference(pixel_rows(*pic), smooth_rgb(64, 48)), 2.0);
}

TEST(JpegRead, GreyscaleReadsAsEightBitsWithGreyRamp)
{
    const std::string path = temp_path("grey.jpg");
    {
        ScopedPic source;
        source.set(32, 16, 8, ramp(32, 16, 256), grey_ramp(256));
        ASSERT_EQ(_Pic_Write(std::string(path).data(), source.get(), 3, 90), 1);
    }
    EXPECT_EQ(frame_components(read_file(path)), 1);
    ScopedPic pic;
    ASSERT_EQ(read_jpeg(path.c_str(), pic.get(), 0), 1);
    EXPECT_EQ(pic->bits, 8);
    EXPECT_EQ(pic->colours, 256);
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 768), grey_ramp(256));
    EXPECT_STREQ(pic->description, "Jpeg : 32x16 (100%) - 256 Greyscale");

    // Written back as colour it becomes three components of grey.
    char colour[512];
    std::snprintf(colour, sizeof colour, "%s", temp_path("grey_as_colour.jpg").c_str());
    ASSERT_EQ(_Pic_Write(colour, pic.get(), 2, 90), 1);
    EXPECT_EQ(frame_components(read_file(colour)), 3);
}

TEST(JpegRead, ProgressOncePerRowInOrder)
{
    const std::string path = write_colour_jpeg("progress.jpg", 40, 24);
    progress_calls.clear();
    ScopedPic pic;
    pic->progress = record_progress;
    ASSERT_EQ(read_jpeg(path.c_str(), pic.get(), 1), 1);
    ASSERT_EQ(progress_calls.size(), 12u);
    for (std::size_t i = 0; i < progress_calls.size(); ++i)
        EXPECT_EQ(progress_calls[i], std::make_pair(int(i) + 1, 12));
}

TEST(JpegRead, TruncatedFileReadsTheSameEveryTime)
{
    Bytes file = read_file(write_colour_jpeg("whole.jpg", 64, 64));
    std::size_t scan = 2;
    while (scan + 1 < file.size() && !(file[scan] == 0xFF && file[scan + 1] == 0xDA)) ++scan;
    file.resize(scan + (file.size() - scan) / 2);  // halfway through the scan data
    const std::string path = temp_path("half.jpg");
    write_file(path, file);
    ScopedPic first, second;
    ASSERT_EQ(read_jpeg(path.c_str(), first.get(), 0), 1);
    ASSERT_EQ(read_jpeg(path.c_str(), second.get(), 0), 1);
    EXPECT_EQ(pixel_rows(*first), pixel_rows(*second));
    EXPECT_EQ(first->in_file, nullptr);
}

TEST(JpegRead, NonJpegAndMissingFilesFail)
{
    const std::string junk = temp_path("junk.jpg");
    write_file(junk, Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 'x'});
    for (const std::string& path : {junk, temp_path("missing.jpg")}) {
        ScopedPic pic;
        EXPECT_EQ(read_jpeg(path.c_str(), pic.get(), 0), 0);
        EXPECT_EQ(pic->pixels, nullptr);
        EXPECT_EQ(pic->in_file, nullptr);
    }
}

TEST(JpegWrite, QualityAndColourSpace)
{
    ScopedPic pic;
    pic.set(64, 64, 24, rgb_ramp(64, 64));
    const std::string low = temp_path("low.jpg"), high = temp_path("high.jpg"), grey = temp_path("g.jpg");
    ASSERT_EQ(write_jpeg(low.c_str(), pic.get(), 10, false), 1);
    ASSERT_EQ(write_jpeg(high.c_str(), pic.get(), 95, false), 1);
    ASSERT_EQ(write_jpeg(grey.c_str(), pic.get(), 95, true), 1);
    EXPECT_LT(read_file(low).size(), read_file(high).size());
    EXPECT_EQ(frame_components(read_file(high)), 3);
    EXPECT_EQ(frame_components(read_file(grey)), 1);
    EXPECT_EQ(pixel_rows(*pic), rgb_ramp(64, 64)) << "the record is not changed";
}

TEST(JpegWrite, PaletteRecordIsLookedUp)
{
    // Two palette entries far apart: the decoded halves must show them.
    ScopedPic pic;
    Rows rows(64, Bytes(64, 0));
    for (auto& row : rows) std::fill(row.begin() + 32, row.end(), 1);
    pic.set(64, 64, 8, rows, Bytes{200, 30, 30, 30, 30, 200});
    const std::string path = temp_path("pal.jpg");
    ASSERT_EQ(write_jpeg(path.c_str(), pic.get(), 95, false), 1);
    ScopedPic back;
    ASSERT_EQ(read_jpeg(path.c_str(), back.get(), 0), 1);
    const Bytes row = pixel_rows(*back)[32];
    EXPECT_NEAR(row[2 * 3], 200, 8);
    EXPECT_NEAR(row[2 * 3 + 2], 30, 8);
    EXPECT_NEAR(row[61 * 3], 30, 8);
    EXPECT_NEAR(row[61 * 3 + 2], 200, 8);
}

TEST(JpegWrite, FailuresReportZeroAndKeepTheOldFile)
{
    ScopedPic pic;
    pic.set(8, 8, 24, rgb_ramp(8, 8));
    EXPECT_EQ(write_jpeg("/dev/full", pic.get(), 75, false), 0);
    EXPECT_EQ(write_jpeg(temp_path("no/such/folder.jpg").c_str(), pic.get(), 75, false), 0);

    const std::string old = temp_path("old.jpg");
    write_file(old, Bytes{1, 2, 3});
    ScopedPic mono;
    mono.set(9, 2, 1, mono_pattern(9, 2), grey_ramp(2));
    EXPECT_EQ(write_jpeg(old.c_str(), mono.get(), 75, false), 0);
    EXPECT_EQ(read_file(old), (Bytes{1, 2, 3}));
    EXPECT_EQ(pic->out_file, nullptr);
}

}  // namespace
