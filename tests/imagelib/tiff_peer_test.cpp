// TIFF files checked against libtiff's tools, netpbm and ImageMagick, in both directions.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zarn::test;

namespace {

class TiffPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_program("tiffcp") || !have_program("tiffinfo") || !have_program("tifftopnm"))
            GTEST_SKIP() << "libtiff tools or netpbm not installed";
    }

    // Our own uncompressed file of `bits`, the starting point for tiffcp.
    std::string ours(int bits, const std::string& name, int compression = 0)
    {
        ScopedPic pic;
        if (bits == 1) pic.set(45, 29, 1, mono_pattern(45, 29), grey_ramp(2));
        else if (bits == 8) pic.set(45, 29, 8, ramp(45, 29, 256), grey_ramp(256));
        else pic.set(45, 29, 24, rgb_ramp(45, 29));
        const std::string path = temp_path(name);
        EXPECT_EQ(zarn::write_tiff(path.c_str(), pic.get(), compression), 1);
        return path;
    }
};

TEST_F(TiffPeer, TiffcpVariantsReadToTifftopnmPixels)
{
    struct Case {
        int bits;
        std::vector<std::string> options;
    };
    for (const Case& c :
         {Case{24, {"-c", "lzw"}}, Case{24, {"-c", "lzw:2"}}, Case{24, {"-c", "zip"}}, Case{24, {"-c", "packbits"}},
          Case{24, {"-t", "-w", "16", "-l", "16"}}, Case{24, {"-p", "separate"}},
          Case{24, {"-c", "lzw", "-t", "-w", "32", "-l", "16"}}, Case{8, {"-c", "zip:2"}}, Case{1, {"-c", "g3"}},
          Case{1, {"-c", "g3:2d"}}, Case{1, {"-c", "g4"}}, Case{1, {"-t", "-w", "16", "-l", "16", "-c", "g4"}}}) {
        const std::string source = ours(c.bits, "source.tif");
        const std::string path = temp_path("peer.tif");
        std::vector<std::string> argv{"tiffcp"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        argv.insert(argv.end(), {source, path});
        ASSERT_EQ(run_tool(argv).status, 0);
        const auto expected = parse_pnm(run_tool({"tifftopnm", path}).output);
        ASSERT_TRUE(expected) << c.options[1];
        ScopedPic pic;
        ASSERT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 1) << c.options[1];
        EXPECT_EQ(rgb_rows(*pic), expected->rgb) << c.bits << " " << c.options[1];
    }
}

TEST_F(TiffPeer, JpegCompressedYcbcrReadsThroughTheJpegColourMode)
{
    const std::string source = ours(24, "source.tif");
    const std::string path = temp_path("jpeg.tif");
    ASSERT_EQ(run_tool({"tiffcp", "-c", "jpeg:r", source, path}).status, 0);
    if (run_tool({"tiffinfo", path}).status != 0) GTEST_SKIP() << "no JPEG support in tiffcp";
    ScopedPic pic;
    ASSERT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 1);
    EXPECT_EQ(pic->bits, 24);
    EXPECT_LE(largest_difference(rgb_rows(*pic), rgb_ramp(45, 29)), 120);
}

TEST_F(TiffPeer, ImageMagickAlphaFileReadsFlattenedOntoWhite)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick not installed";
    const std::string path = temp_path("alpha.tif");
    ASSERT_EQ(run_tool({"convert", "-size", "40x20", "gradient:red-blue", "-alpha", "set", "-channel", "A", "-fx",
                        "i/w", "+channel", "-depth", "8", "-compress", "lzw", path})
                  .status,
              0);
    const auto expected =
        parse_pnm(run_tool({"convert", path, "-background", "white", "-flatten", "-depth", "8", "ppm:-"}).output);
    ASSERT_TRUE(expected);
    ScopedPic pic;
    ASSERT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 1);
    EXPECT_LE(largest_difference(rgb_rows(*pic), expected->rgb), 1);
}

TEST_F(TiffPeer, OurFilesPassTiffinfoAndDecodeToOurPixels)
{
    for (int bits : {1, 8, 24})
        for (int compression = 0; compression <= (bits == 1 ? 4 : 2); ++compression) {
            const std::string path = ours(bits, "ours.tif", compression);
            EXPECT_EQ(run_tool({"tiffinfo", "-D", path}).status, 0) << bits << " " << compression;
            const auto theirs = parse_pnm(run_tool({"tifftopnm", path}).output);
            ASSERT_TRUE(theirs) << bits << " " << compression;
            ScopedPic back;
            ASSERT_EQ(_Pic_Read(path.c_str(), back.get(), 0, 0), 1);
            EXPECT_EQ(theirs->rgb, rgb_rows(*back)) << bits << " " << compression;
        }
}

}  // namespace
