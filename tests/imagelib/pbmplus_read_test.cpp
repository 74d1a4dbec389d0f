// PBMPlus reading: the token reader's header rules, every variant, sample maximums, hostile headers.
#include "codecs.h"
#include "pbmplus_fuzz_entry.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zarn::test;
using zarn::read_pbm;

namespace {

Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}
Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

int read(const Bytes& file, ScopedPic& pic)
{
    const std::string path = temp_path("in.pnm");
    write_file(path, file);
    return read_pbm(path.c_str(), pic.get());
}

TEST(PbmRead, CommentsAndTheSingleCarriageReturn)
{
    const Bytes samples{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    ScopedPic pic;
    ASSERT_EQ(read(text("P6 # made by hand\n# the size follows\n3 2\n255\n") + samples, pic), 1);
    EXPECT_EQ(pic->width, 3);
    EXPECT_EQ(pic->height, 2);
    EXPECT_EQ(pic->bits, 24);
    EXPECT_EQ(pixel_rows(*pic),
              (Rows{Bytes(samples.begin(), samples.begin() + 9), Bytes(samples.begin() + 9, samples.end())}));
    EXPECT_STREQ(pic->description, "PPM : 3x2 24bit Colour Binary");

    // A sample that looks like whitespace right after the one separator.
    ScopedPic cr;
    ASSERT_EQ(read(text("P5\n2 1\n255\r") + Bytes{10, 32}, cr), 1);
    EXPECT_EQ(pixel_rows(*cr), (Rows{{10, 32}}));
    EXPECT_STREQ(cr->description, "PPM : 2x1 256 Greyscale Binary");
}

TEST(PbmRead, BinaryBitmapKeepsItsOwnWidth)
{
    ScopedPic pic;
    ASSERT_EQ(read(text("P4\n10 2\n") + Bytes{0xF0, 0xC0, 0x0F, 0x40}, pic), 1);
    EXPECT_EQ(pic->width, 10);
    EXPECT_EQ(pic->height, 2);
    EXPECT_EQ(pic->bits, 1);
    EXPECT_EQ(pic->colours, 2);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0xF0, 0xC0}, {0x0F, 0x40}}));
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 6), (Bytes{255, 255, 255, 0, 0, 0}));
    EXPECT_STREQ(pic->description, "PPM : 10x2 Monochrome Binary");
}

TEST(PbmRead, AsciiBitmapIsOneBitOfItsOwnWidth)
{
    ScopedPic pic;
    pic->progress = count_rows;
    g_rows_reported = 0;
    ASSERT_EQ(read(text("P1\n# c\n10 2\n1 0 1 1 0 0 0 0 0 1\n0000000001\n"), pic), 1);
    EXPECT_EQ(pic->width, 10);
    EXPECT_EQ(pic->bits, 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0xB0, 0x40}, {0x00, 0x40}}));
    EXPECT_EQ(rgb_rows(*pic)[0][0], 0);  // "1" is black
    EXPECT_STREQ(pic->description, "PPM : 10x2 Monochrome ASCII");
    EXPECT_EQ(g_rows_reported, 2);

    ScopedPic bad;
    EXPECT_EQ(read(text("P1\n2 1\n1 x\n"), bad), 0);
}

TEST(PbmRead, AsciiSamplesOutsideTheRangeAreClamped)
{
    ScopedPic grey;
    ASSERT_EQ(read(text("P2\n3 1\n255\n300 7 -1\n"), grey), 1);
    EXPECT_EQ(pixel_rows(*grey), (Rows{{255, 7, 0}}));
    EXPECT_EQ(grey->colours, 256);
    EXPECT_STREQ(grey->description, "PPM : 3x1 256 Greyscale ASCII");

    ScopedPic colour;
    colour->progress = count_rows;
    g_rows_reported = 0;
    ASSERT_EQ(read(text("P3 2 2 255  1 2 3 4 5 6\n 7 8 9 10 11 12\n"), colour), 1);
    EXPECT_EQ(pixel_rows(*colour), (Rows{{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}));
    EXPECT_EQ(g_rows_reported, 2);
    EXPECT_STREQ(colour->description, "PPM : 2x2 24bit Colour ASCII");
}

// (v * 255 + max / 2) / max, for one-byte and two-byte maximums alike.
TEST(PbmRead, SamplesAreScaledByTheirMaximum)
{
    ScopedPic wide;
    ASSERT_EQ(
        read(text("P6\n2 1\n65535\n") + Bytes{0xAB, 0xCD, 0x01, 0x02, 0xFF, 0xFF, 0x80, 0, 0, 0xFF, 0x12, 0x34}, wide),
        1);
    EXPECT_EQ(pixel_rows(*wide), (Rows{{171, 1, 255, 128, 1, 18}}));

    ScopedPic grey;
    ASSERT_EQ(read(text("P2\n3 1\n4095\n4095 2048 9999\n"), grey), 1);
    EXPECT_EQ(pixel_rows(*grey), (Rows{{255, 128, 255}}));

    ScopedPic small;
    ASSERT_EQ(read(text("P5\n3 1\n15\n") + Bytes{15, 3, 200}, small), 1);
    EXPECT_EQ(pixel_rows(*small), (Rows{{255, 51, 255}}));
}

TEST(PbmRead, ShortDataReadsZeroAndSucceeds)
{
    ScopedPic binary;
    ASSERT_EQ(read(text("P6\n2 2\n255\n") + Bytes{9, 9, 9, 9}, binary), 1);
    EXPECT_EQ(pixel_rows(*binary), (Rows{{9, 9, 9, 9, 0, 0}, Bytes(6, 0)}));
    ScopedPic ascii;
    ASSERT_EQ(read(text("P2\n3 1\n255\n5 # the end"), ascii), 1);
    EXPECT_EQ(pixel_rows(*ascii), (Rows{{5, 0, 0}}));
}

TEST(PbmHostile, BadHeadersAreRefused)
{
    for (const char* header :
         {"Q6\n1 1\n255\n", "P7\n1 1\n255\n", "P6\n0 1\n255\n", "P6\n1 -3\n255\n", "P6\nabc 1\n255\n", "P6\n1 1\nx\n",
          "P6\n1234567890123456 1\n255\n", "P6\n99999999 99999999\n255\n", "P4\n2147483647 9\n", "P6\n3", "P6 # no end",
          "P5\n1 1\n0\n", "P2\n1 1\n65536\n", "P3\n1 1\n-255\n", "P", ""}) {
        SCOPED_TRACE(header);
        ScopedPic pic;
        EXPECT_EQ(read(text(header) + Bytes(64, 0x41), pic), 0);
        EXPECT_EQ(pic->pixels, nullptr);
    }
}

TEST(PbmHostile, Truncation)
{
    const Bytes whole = text("P3\n# c\n2 2\n65535\n1 2 3 4 5 6 7 8 9 10 11 12\n");
    for (std::size_t length = 0; length < whole.size(); ++length) zarn::fuzz::run_pbmplus_input(whole.data(), length);
}

}  // namespace
