// PBMPlus files checked against netpbm and ImageMagick, in both directions.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace zarn::test;
using zarn::read_pbm;
using zarn::write_pbm;

namespace {

TEST(PbmPeer, NetpbmFilesReadToTheirPixels)
{
    if (!have_program("pnmtopnm") || !have_program("pnmtoplainpnm") || !have_program("ppmpat"))
        GTEST_SKIP() << "netpbm not installed";
    const std::string colour = temp_path("pat.ppm"), grey = temp_path("ramp.pgm"), bits = temp_path("grid.pbm");
    ASSERT_TRUE(make("ppmpat -randomseed=5 -camo 57 31", colour));
    ASSERT_TRUE(make("pgmramp -diagonal 41 23", grey));
    ASSERT_TRUE(make("pbmmake -gray 70 9", bits));  // a width that is no multiple of 8
    for (const std::string& path : {colour, grey, bits}) {
        const std::string plain = path + ".plain";
        ASSERT_TRUE(make("pnmtoplainpnm " + path, plain));
        for (const std::string& file : {path, plain}) {
            SCOPED_TRACE(file);
            const auto expected = decode({"pnmtopnm", path});
            ASSERT_TRUE(expected);
            ScopedPic pic;
            ASSERT_EQ(read_pbm(file.c_str(), pic.get()), 1);
            EXPECT_EQ(pic->width, expected->width);
            EXPECT_EQ(rgb_rows(*pic), expected->rgb);
        }
    }
}

TEST(PbmPeer, AnyMaximumReadsAsPamdepthScalesIt)
{
    if (!have_program("pamdepth") || !have_program("pnmtoplainpnm") || !have_program("ppmpat"))
        GTEST_SKIP() << "netpbm not installed";
    const std::string source = temp_path("poles.ppm");
    ASSERT_TRUE(make("ppmpat -randomseed=2 -poles 37 13", source));
    for (const char* maximum : {"1", "15", "100", "4095", "65535"}) {
        for (const char* form : {"", " | pnmtoplainpnm"}) {
            SCOPED_TRACE(std::string(maximum) + form);
            const std::string file = temp_path("deep.ppm");
            ASSERT_TRUE(make("pamdepth " + std::string(maximum) + " " + source + form, file));
            const auto expected = decode({"pamdepth", "255", file});
            ASSERT_TRUE(expected);
            ScopedPic pic;
            ASSERT_EQ(read_pbm(file.c_str(), pic.get()), 1);
            EXPECT_EQ(rgb_rows(*pic), expected->rgb);
        }
    }
}

TEST(PbmPeer, OurFilesDecodeInThePeersToOurPixels)
{
    const bool netpbm = have_program("pnmtopnm"), magick = have_image_magick();
    if (!netpbm && !magick) GTEST_SKIP() << "no peer installed";
    ScopedPic colour, mono;
    colour.set(23, 11, 24, rgb_ramp(23, 11));
    mono.set(13, 5, 1, mono_pattern(13, 5), {0, 0, 0, 255, 255, 255});
    struct Case {
        ScopedPic* pic;
        int variant;
        const char* name;
        Rows expected;
    };
    Rows grey_expected = rgb_ramp(23, 11);
    for (Bytes& row : grey_expected)
        for (std::size_t x = 0; x < row.size(); x += 3) {
            const auto level = std::uint8_t((row[x] + row[x + 1] + row[x + 2]) / 3);
            row[x] = row[x + 1] = row[x + 2] = level;
        }
    const Rows mono_expected = rgb_rows(*mono);
    for (const Case& c : {Case{&colour, 2, "o.ppm", rgb_ramp(23, 11)}, Case{&colour, 1, "o.pgm", grey_expected},
                          Case{&mono, 0, "o.pbm", mono_expected}}) {
        SCOPED_TRACE(c.name);
        const std::string path = temp_path(c.name);
        ASSERT_EQ(write_pbm(path.c_str(), c.pic->get(), c.variant), 1);
        if (netpbm) {
            const auto decoded = decode({"pnmtopnm", path});
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->rgb, c.expected);
        }
        if (magick) {
            const auto decoded = decode({"convert", path, "-depth", "8", "ppm:-"});
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->rgb, c.expected);
        }
    }
}

}  // namespace
