// Targa files written by netpbm and ImageMagick read to the pixels their own decoders give.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace zarn::test;
using zarn::read_targa;

namespace {

void expect_reads_as(const std::string& file, const Pnm& expected)
{
    ScopedPic pic;
    ASSERT_EQ(read_targa(file.c_str(), pic.get()), 1);
    EXPECT_EQ(pic->width, expected.width);
    EXPECT_EQ(pic->height, expected.height);
    EXPECT_EQ(rgb_rows(*pic), expected.rgb);
}

TEST(TargaPeer, NetpbmFilesReadToTgatoppmPixels)
{
    if (!have_program("pamtotga") || !have_program("tgatoppm") || !have_program("ppmpat"))
        GTEST_SKIP() << "netpbm not installed";
    const std::string rich = temp_path("rich.ppm"), few = temp_path("few.ppm"), grey = temp_path("grey.pgm");
    ASSERT_TRUE(make("ppmpat -randomseed=5 -camo 57 31", rich));
    // 222 greys as colour make a map of 222 entries.
    ASSERT_TRUE(make("pgmramp -lr 222 9 | ppmtoppm 2>/dev/null", few));
    ASSERT_TRUE(make("pgmramp -diagonal 41 23", grey));
    const std::pair<std::string, std::string> cases[] = {
        {"pamtotga -rgb -norle", rich}, {"pamtotga -rgb", rich},   {"pamtotga -cmap -norle", few},
        {"pamtotga -cmap", few},        {"pamtotga -norle", grey}, {"pamtotga", grey},
    };
    for (const auto& [writer, source] : cases) {
        SCOPED_TRACE(writer);
        const std::string tga = temp_path("n.tga");
        ASSERT_TRUE(make(writer + " " + source, tga));
        const auto expected = decode_shell("tgatoppm " + tga);
        ASSERT_TRUE(expected);
        expect_reads_as(tga, *expected);
    }
}

TEST(TargaPeer, ImageMagickFilesReadToItsPixels)
{
    if (!have_image_magick() || !have_program("ppmpat")) GTEST_SKIP() << "ImageMagick or netpbm missing";
    const std::string rich = temp_path("rich.ppm");
    ASSERT_TRUE(make("ppmpat -randomseed=9 -camo 45 20", rich));
    for (const char* options : {"", "-compress RLE", "-orient TopLeft", "-colorspace Gray",
                                "-alpha set -channel A -evaluate set 50% +channel", "-colors 5 -type Palette"}) {
        SCOPED_TRACE(options);
        const std::string tga = temp_path("m.tga");
        ASSERT_TRUE(make("convert " + rich + " " + options + " tga:-", tga));
        const auto expected = decode_shell("convert " + tga + " -alpha off -depth 8 ppm:-");
        ASSERT_TRUE(expected);
        expect_reads_as(tga, *expected);
    }
}

}  // namespace
