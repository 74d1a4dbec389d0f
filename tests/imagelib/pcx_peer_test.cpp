// PCX files written by netpbm and ImageMagick read to the pixels their own decoders give.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace zarn::test;
using zarn::read_pcx;

namespace {

void expect_reads_as(const std::string& file, const Pnm& expected)
{
    SCOPED_TRACE(file);
    ScopedPic pic;
    ASSERT_EQ(read_pcx(file.c_str(), pic.get()), 1);
    EXPECT_EQ(pic->width, expected.width);
    EXPECT_EQ(pic->height, expected.height);
    EXPECT_EQ(rgb_rows(*pic), expected.rgb);
}

TEST(PcxPeer, NetpbmFilesReadToPcxtoppmPixels)
{
    if (!have_program("ppmtopcx") || !have_program("pcxtoppm") || !have_program("ppmpat"))
        GTEST_SKIP() << "netpbm not installed";
    const std::string rich = temp_path("rich.ppm"), few = temp_path("few.ppm"), sixteen = temp_path("sixteen.ppm");
    const std::string two = temp_path("two.ppm");
    ASSERT_TRUE(make("ppmpat -randomseed=5 -poles 57 31", rich));
    ASSERT_TRUE(make("ppmpat -randomseed=5 -poles 57 31 | pnmquant 100 2>/dev/null", few));
    ASSERT_TRUE(make("ppmpat -randomseed=3 -poles 33 9 | pnmquant 16 2>/dev/null", sixteen));
    ASSERT_TRUE(make("pbmmake -gray 19 7 | ppmtoppm 2>/dev/null", two));
    // ppmtopcx writes up to 16 colours as four planes of 1 bit unless told
    // -packed, and two colours as one plane of 1 bit.
    const std::pair<std::string, std::string> cases[] = {
        {"ppmtopcx -24bit", rich},      {"ppmtopcx", rich},
        {"ppmtopcx -8bit", few},        {"ppmtopcx -8bit -stdpalette", few},
        {"ppmtopcx -packed", sixteen},  {"ppmtopcx", sixteen},
        {"ppmtopcx -indexed", sixteen}, {"ppmtopcx", two},
    };
    int index = 0;
    for (const auto& [writer, source] : cases) {
        const std::string pcx = temp_path("n" + std::to_string(index++) + ".pcx");
        if (!make(writer + " " + source + " 2>/dev/null", pcx)) continue;  // an option this netpbm lacks
        const auto expected = decode_shell("pcxtoppm " + pcx);
        ASSERT_TRUE(expected) << writer;
        SCOPED_TRACE(writer + " " + source);
        expect_reads_as(pcx, *expected);
    }
}

TEST(PcxPeer, ImageMagickFilesReadToItsPixels)
{
    if (!have_image_magick() || !have_program("ppmpat")) GTEST_SKIP() << "ImageMagick or netpbm missing";
    const std::string rich = temp_path("rich.ppm");
    ASSERT_TRUE(make("ppmpat -randomseed=9 -poles 45 20", rich));
    for (const char* options : {"", "-colors 200 -type Palette", "-compress None"}) {
        SCOPED_TRACE(options);
        const std::string pcx = temp_path("m.pcx");
        ASSERT_TRUE(make("convert " + rich + " " + options + " pcx:-", pcx));
        const auto expected = decode_shell("convert " + pcx + " -depth 8 ppm:-");
        ASSERT_TRUE(expected);
        expect_reads_as(pcx, *expected);
    }
    // Transparency comes out as a fourth plane of 8 bits; ImageMagick's
    // picture laid over white is ours, to rounding.
    const std::string rgba = temp_path("rgba.pcx");
    ASSERT_TRUE(make("convert " + rich + " \\( +clone -fx 'i/w' \\) -compose CopyOpacity -composite pcx:-", rgba));
    const Bytes header = read_file(rgba);
    ASSERT_EQ(header[3] * 10 + header[65], 84) << "four planes of 8 bits";
    const auto over_white = decode_shell("convert " + rgba + " -background white -flatten -depth 8 ppm:-");
    ASSERT_TRUE(over_white);
    ScopedPic pic;
    ASSERT_EQ(read_pcx(rgba.c_str(), pic.get()), 1);
    EXPECT_EQ(pic->width, over_white->width);
    EXPECT_LE(largest_difference(rgb_rows(*pic), over_white->rgb), 1);

    // A two-colour GIF comes out as one plane of 1 bit. ImageMagick reads
    // such files with 1 as black, against the black-and-white header palette
    // it writes itself; pcxtoppm, like us, takes 1 as white.
    if (!have_program("pcxtoppm")) return;
    const std::string mono = temp_path("mono.pcx");
    ASSERT_TRUE(make("convert " + rich + " -monochrome gif:- | convert - pcx:-", mono));
    const Bytes file = read_file(mono);
    ASSERT_EQ(file[3] * file[65], 1) << "one plane of 1 bit";
    const auto expected = decode_shell("pcxtoppm " + mono);
    ASSERT_TRUE(expected);
    expect_reads_as(mono, *expected);
}

}  // namespace
