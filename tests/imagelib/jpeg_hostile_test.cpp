// Hostile JPEG input: endless scans and huge frames.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace zarn::test;
using zarn::read_jpeg;

namespace {

std::size_t find_marker(const Bytes& file, std::uint8_t code, std::size_t from = 2)
{
    for (std::size_t i = from; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == code) return i;
    return std::string::npos;
}

// One scan per coefficient: 64 scans of a greyscale picture.
std::string sixty_four_scans()
{
    const std::string source = temp_path("grey.pgm");
    Bytes pgm{'P', '5', '\n', '6', '4', ' ', '3', '2', '\n', '2', '5', '5', '\n'};
    for (int i = 0; i < 64 * 32; ++i) pgm.push_back(std::uint8_t(i * 7));
    write_file(source, pgm);
    std::string script = "0: 0 0 0 0;\n";
    for (int k = 1; k < 64; ++k) script += "0: " + std::to_string(k) + " " + std::to_string(k) + " 0 0;\n";
    const std::string scans = temp_path("scans.txt");
    write_file(scans, Bytes(script.begin(), script.end()));
    const std::string path = temp_path("scans.jpg");
    EXPECT_EQ(run_tool({"cjpeg", "-grayscale", "-scans", scans, "-outfile", path, source}).status, 0);
    return path;
}

TEST(JpegHostile, MoreThanAHundredScansAreRefused)
{
    if (!have_program("cjpeg")) GTEST_SKIP() << "cjpeg not installed";
    const std::string path = sixty_four_scans();
    ScopedPic legitimate;
    ASSERT_EQ(read_jpeg(path.c_str(), legitimate.get(), 0), 1) << "64 scans are fine";

    // Repeating the last scan is only a warning to libjpeg, so without a
    // limit a file can go on like this for megabytes.
    Bytes file = read_file(path);
    const std::size_t last_scan = [&] {
        std::size_t at = find_marker(file, 0xDA), last = at;
        while (at != std::string::npos) last = at, at = find_marker(file, 0xDA, at + 2);
        return last;
    }();
    const std::size_t end = find_marker(file, 0xD9, last_scan);
    ASSERT_NE(end, std::string::npos);
    const Bytes scan(file.begin() + std::ptrdiff_t(last_scan), file.begin() + std::ptrdiff_t(end));
    for (int i = 0; i < 40; ++i) file.insert(file.begin() + std::ptrdiff_t(end), scan.begin(), scan.end());
    const std::string hostile = temp_path("many_scans.jpg");
    write_file(hostile, file);
    ScopedPic pic;
    EXPECT_EQ(read_jpeg(hostile.c_str(), pic.get(), 0), 0);
    EXPECT_EQ(pic->pixels, nullptr);
}

// A frame header can claim 65500 by 65500 in a few hundred bytes; the
// ceiling refuses it before anything of that size is allocated.
TEST(JpegHostile, FrameLargerThanTheCeilingIsRefused)
{
    ScopedPic source;
    source.set(16, 16, 24, rgb_ramp(16, 16));
    const std::string path = temp_path("big.jpg");
    ASSERT_EQ(zarn::write_jpeg(path.c_str(), source.get(), 75, false), 1);
    Bytes file = read_file(path);
    const std::size_t frame = find_marker(file, 0xC0);
    ASSERT_NE(frame, std::string::npos);
    for (std::size_t at : {frame + 5, frame + 7}) file[at] = 0xFF, file[at + 1] = 0xDC;  // 65500
    write_file(path, file);
    const ScopedEnv ceiling("ZARN_MAX_IMAGE_BYTES", "100000000");
    ScopedPic pic;
    EXPECT_EQ(read_jpeg(path.c_str(), pic.get(), 0), 0);
    EXPECT_EQ(pic->pixels, nullptr);
}

}  // namespace
