// IFF files written by netpbm read to ilbmtoppm's pixels; ours decode in ilbmtoppm to ours.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace zarn::test;
using zarn::read_iff;
using zarn::write_iff;

namespace {

bool have_netpbm_ilbm()
{
    return have_program("ppmtoilbm") && have_program("ilbmtoppm") && have_program("ppmpat");
}

TEST(IffPeer, NetpbmFilesReadToIlbmtoppmPixels)
{
    if (!have_netpbm_ilbm()) GTEST_SKIP() << "netpbm not installed";
    const std::string rich = temp_path("rich.ppm"), few = temp_path("few.ppm"), mono = temp_path("mono.ppm");
    ASSERT_TRUE(make("ppmpat -randomseed=5 -camo 57 31", rich));
    ASSERT_TRUE(make("ppmpat -randomseed=5 -camo 57 31 | pnmquant 30 2>/dev/null", few));
    ASSERT_TRUE(make("pbmmake -gray 19 7 | pnmtopnm -plain | ppmtoppm 2>/dev/null", mono));
    const std::pair<std::string, std::string> cases[] = {
        {"ppmtoilbm -nocompress", few},
        {"ppmtoilbm -compress", few},
        {"ppmtoilbm -24force -nocompress", rich},
        {"ppmtoilbm -24force -compress", rich},
        {"ppmtoilbm -nocompress", mono},
        {"ppmtoilbm -hamforce -compress", rich},
        {"ppmtoilbm -hamforce -hambits 6 -nocompress", rich},
    };
    for (const auto& [writer, source] : cases) {
        SCOPED_TRACE(writer);
        const std::string iff = temp_path("n.iff");
        ASSERT_TRUE(make(writer + " " + source + " 2>/dev/null", iff));
        const auto expected = decode_shell("ilbmtoppm " + iff + " 2>/dev/null");
        ASSERT_TRUE(expected);
        ScopedPic pic;
        ASSERT_EQ(read_iff(iff.c_str(), pic.get()), 1);
        EXPECT_EQ(pic->width, expected->width);
        if (writer.find("ham") == std::string::npos) {
            EXPECT_EQ(rgb_rows(*pic), expected->rgb);
            continue;
        }
        // Hold-and-modify values sit in the top bits of a channel here, while
        // ilbmtoppm scales them to the full range: the low bits may differ.
        ASSERT_EQ(pic->height, expected->height);
        const Rows ours = rgb_rows(*pic);
        int worst = 0;
        for (std::size_t y = 0; y < ours.size(); ++y)
            for (std::size_t i = 0; i < ours[y].size(); ++i)
                worst = std::max(worst, std::abs(int(ours[y][i]) - int(expected->rgb[y][i])));
        EXPECT_LT(worst, 16);
    }
}

TEST(IffPeer, OurFilesDecodeInIlbmtoppmToOurPixels)
{
    if (!have_netpbm_ilbm()) GTEST_SKIP() << "netpbm not installed";
    ScopedPic mono, grey, colour;
    mono.set(13, 5, 1, mono_pattern(13, 5), {0, 0, 0, 255, 255, 255});
    grey.set(23, 11, 8, ramp(23, 11), grey_ramp(256));
    colour.set(37, 9, 24, rgb_ramp(37, 9));
    for (ScopedPic* pic : {&mono, &grey, &colour}) {
        SCOPED_TRACE((*pic)->bits);
        const std::string iff = temp_path("ours.iff");
        ASSERT_EQ(write_iff(iff.c_str(), pic->get()), 1);
        const auto theirs = decode_shell("ilbmtoppm " + iff + " 2>/dev/null");
        ASSERT_TRUE(theirs);
        ScopedPic back;
        ASSERT_EQ(read_iff(iff.c_str(), back.get()), 1);
        EXPECT_EQ(theirs->rgb, rgb_rows(*back));
    }
}

}  // namespace
