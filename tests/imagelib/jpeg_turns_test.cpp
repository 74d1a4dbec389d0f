// Lossless turns of JPEG files give jpegtran's pixels, keep the Exif data and end at orientation 1.
#include "test_support.h"
#include "zarngfx.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

using namespace zarn::test;

namespace {

// A 4:2:0 JPEG from cjpeg of a picture different along each axis.
std::string make_jpeg(const std::string& name, int width, int height)
{
    const std::string source = temp_path(name + ".ppm"), path = temp_path(name);
    Rows rows(std::size_t(height), Bytes(std::size_t(width) * 3));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            auto* p = &rows[std::size_t(y)][std::size_t(x) * 3];
            p[0] = std::uint8_t(x * 5);
            p[1] = std::uint8_t(y * 7);
            p[2] = std::uint8_t((x * y) % 251);
        }
    write_file(source, ppm(rows, width));
    EXPECT_TRUE(make("cjpeg -quality 90 -sample 2x2 '" + source + "'", path));
    return path;
}

std::optional<Pnm> djpeg(const std::string& path)
{
    return decode({"djpeg", "-ppm", path});
}

std::string exif_tag(const std::string& path, const std::string& tag)
{
    const ToolRun run = run_tool({"exiftool", "-s3", "-n", "-" + tag, path});
    std::string text(run.output.begin(), run.output.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class JpegTurns : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"cjpeg", "djpeg", "jpegtran"})
            if (!have_program(tool)) GTEST_SKIP() << tool << " not installed";
    }
};

TEST_F(JpegTurns, EachTurnGivesJpegtransPixels)
{
    struct Case {
        int turn;
        const char* jpegtran;
    };
    const Case cases[] = {{1, "-rotate 90"}, {2, "-rotate 270"}, {3, "-flip horizontal"}};
    // 48x32 fills whole 16x16 blocks; 45x29 does not and is trimmed.
    for (const auto& [width, height] : {std::pair{48, 32}, std::pair{45, 29}}) {
        const std::string original = make_jpeg("original.jpg", width, height);
        const bool whole = width % 16 == 0 && height % 16 == 0;
        for (const Case& c : cases) {
            const std::string label = std::to_string(width) + " " + c.jpegtran;
            const std::string path = temp_path("turned.jpg");
            write_file(path, read_file(original));
            if (!whole) {
                EXPECT_EQ(_Pic_TurnJpegFile(path.c_str(), c.turn, 0), -1) << label;
                EXPECT_EQ(read_file(path), read_file(original)) << label;
            }
            ASSERT_EQ(_Pic_TurnJpegFile(path.c_str(), c.turn, 1), 1) << label;
            const auto expected =
                decode_shell(std::string("jpegtran -trim ") + c.jpegtran + " '" + original + "' | djpeg -ppm");
            const auto ours = djpeg(path);
            ASSERT_TRUE(expected && ours) << label;
            EXPECT_EQ(ours->width, expected->width) << label;
            EXPECT_EQ(ours->rgb, expected->rgb) << label;
        }
    }
}

// The picture turns as it was seen: upright by its orientation, then turned.
TEST_F(JpegTurns, OrientationIsFoldedInAndBecomesOne)
{
    if (!have_program("exiftool")) GTEST_SKIP() << "exiftool not installed";
    const std::string original = make_jpeg("original.jpg", 48, 32);
    ASSERT_EQ(run_tool({"exiftool", "-q", "-overwrite_original", "-Orientation#=6",
                        "-DateTimeOriginal=2021:06:05 04:03:02", original})
                  .status,
              0);
    const std::string path = temp_path("turned.jpg");
    write_file(path, read_file(original));
    ::chmod(path.c_str(), 0640);
    ASSERT_EQ(_Pic_TurnJpegFile(path.c_str(), 1, 0), 1);
    EXPECT_EQ(exif_tag(path, "Orientation"), "1");
    EXPECT_EQ(exif_tag(path, "DateTimeOriginal"), "2021:06:05 04:03:02");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // Orientation 6 is a right turn already: one more is half a turn of the stored pixels.
    const auto expected = decode_shell("jpegtran -rotate 180 '" + original + "' | djpeg -ppm");
    const auto ours = djpeg(path);
    ASSERT_TRUE(expected && ours);
    EXPECT_EQ(ours->rgb, expected->rgb);
}

TEST_F(JpegTurns, WhatIsNoJpegIsLeftAlone)
{
    const std::string path = temp_path("broken.jpg");
    Bytes broken = read_file(make_jpeg("original.jpg", 48, 32));
    broken.resize(broken.size() / 3);
    write_file(path, broken);
    const auto entries = folder_entries(temp_dir());
    for (const Bytes& bytes : {Bytes{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'}, broken}) {
        write_file(path, bytes);
        EXPECT_NE(_Pic_TurnJpegFile(path.c_str(), 1, 1), 1);
        EXPECT_EQ(read_file(path), bytes);
    }
    EXPECT_EQ(folder_entries(temp_dir()), entries) << "no temporary left behind";
    EXPECT_EQ(_Pic_TurnJpegFile(temp_path("missing.jpg").c_str(), 1, 1), 0);
    EXPECT_EQ(_Pic_TurnJpegFile(path.c_str(), 4, 1), 0);
}

}  // namespace
