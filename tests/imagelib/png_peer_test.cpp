// PNG files checked against ImageMagick, netpbm and pngcheck, in both directions.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zarn::test;

namespace {

// What ImageMagick makes of a file: flattened onto white, 8 bits, RGB.
std::optional<Pnm> magick_pixels(const std::string& path)
{
    const ToolRun run = run_tool({"convert", path, "-background", "white", "-flatten", "-depth", "8", "ppm:-"});
    return run.status == 0 ? parse_pnm(run.output) : std::nullopt;
}

class PngPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        source_ = temp_path("source.ppm");
        write_file(source_, ppm(rgb_ramp(37, 23), 37));
    }
    std::string source_;
};

TEST_F(PngPeer, ImageMagickFilesReadToItsPixels)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick not installed";
    const std::vector<std::vector<std::string>> variants{
        {"PNG24:"},
        {"PNG8:"},
        {"PNG48:"},
        {"-colorspace", "gray", "PNG:"},
        {"-monochrome", "PNG:"},
        {"-interlace", "PNG", "PNG24:"},
        {"-alpha", "set", "-channel", "A", "-fx", "i/w", "+channel", "PNG32:"},
        {"-alpha", "set", "-channel", "A", "-fx", "j/h", "+channel", "-interlace", "PNG", "PNG32:"}};
    for (const auto& variant : variants) {
        std::vector<std::string> argv{"convert", source_};
        argv.insert(argv.end(), variant.begin(), variant.end() - 1);
        const std::string path = temp_path("magick.png");
        argv.push_back(variant.back() + path);
        ASSERT_EQ(run_tool(argv).status, 0) << variant.back();
        const auto expected = magick_pixels(path);
        ASSERT_TRUE(expected);
        ScopedPic pic;
        ASSERT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 1) << variant[0];
        EXPECT_LE(largest_difference(rgb_rows(*pic), expected->rgb), 1) << variant[0] << " " << variant.back();
    }
}

TEST_F(PngPeer, NetpbmFilesReadToPngtopnmPixels)
{
    if (!have_program("pnmtopng") || !have_program("pngtopnm")) GTEST_SKIP() << "netpbm not installed";
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"-interlace"}}) {
        std::vector<std::string> argv{"pnmtopng"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(source_);
        const ToolRun made = run_tool(argv);
        ASSERT_EQ(made.status, 0);
        const std::string path = temp_path("netpbm.png");
        write_file(path, made.output);
        const auto expected = parse_pnm(run_tool({"pngtopnm", path}).output);
        ASSERT_TRUE(expected);
        ScopedPic pic;
        ASSERT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 1);
        EXPECT_EQ(rgb_rows(*pic), expected->rgb);
    }
}

TEST_F(PngPeer, OurFilesPassPngcheckAndDecodeToOurPixels)
{
    if (!have_program("pngcheck") || !have_program("pngtopnm")) GTEST_SKIP() << "pngcheck or netpbm not installed";
    struct Case {
        int bits;
        Rows rows;
        Bytes palette;
    };
    for (const Case& c :
         {Case{1, mono_pattern(37, 23), grey_ramp(2)}, Case{1, mono_pattern(37, 23), {9, 90, 200, 250, 7, 3}},
          Case{8, ramp(37, 23, 12), grey_ramp(12)}, Case{8, ramp(37, 23, 256), grey_ramp(256)},
          Case{24, rgb_ramp(37, 23), {}}}) {
        ScopedPic pic;
        pic.set(37, 23, c.bits, c.rows, c.palette);
        const std::string path = temp_path("ours.png");
        ASSERT_EQ(zarn::write_png(path.c_str(), pic.get()), 1);
        EXPECT_EQ(run_tool({"pngcheck", "-q", path}).status, 0) << c.bits;
        const auto theirs = parse_pnm(run_tool({"pngtopnm", path}).output);
        ASSERT_TRUE(theirs) << c.bits;
        EXPECT_EQ(theirs->rgb, rgb_rows(*pic)) << c.bits;
    }
}

}  // namespace
