// The BMP reader and header probe on files built byte by byte.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zarn::test;
using zarn::read_bmp;

namespace {

int read_file_into(const BmpBuilder& builder, ScopedPic& pic)
{
    const std::string path = temp_path("in.bmp");
    builder.write(path);
    return read_bmp(path.c_str(), pic.get());
}

TEST(BmpRead, OneBitRowsStayPackedWithTheirPalette)
{
    const Bytes palette{10, 20, 30, 200, 210, 220};
    ScopedPic pic;
    ASSERT_EQ(read_file_into(BmpBuilder().size(9, 3).bits(1).palette(palette).pixels(mono_pattern(9, 3)), pic), 1);
    EXPECT_EQ(pic->bits, 1);
    EXPECT_EQ(pic->colours, 2);
    EXPECT_EQ(pixel_rows(*pic), mono_pattern(9, 3));
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 6), palette);
    EXPECT_STREQ(pic->description, "BMP : 9x3 - 2 Colours");
}

TEST(BmpRead, OddWidthFourBitKeepsEveryPixel)
{
    ScopedPic pic;
    ASSERT_EQ(read_file_into(BmpBuilder().size(5, 3).bits(4).palette(grey_ramp(16)).pixels(ramp(5, 3, 16)), pic), 1);
    EXPECT_EQ(pic->bits, 4);
    EXPECT_EQ(pic->colours, 16);
    EXPECT_EQ(pixel_rows(*pic), ramp(5, 3, 16));
    EXPECT_STREQ(pic->description, "BMP : 5x3 - 16 Colours");
}

TEST(BmpRead, EightAndTwentyFourBitRowsComeOutTopDown)
{
    ScopedPic eight;
    ASSERT_EQ(read_file_into(BmpBuilder().size(3, 4).bits(8).palette(grey_ramp(256)).pixels(ramp(3, 4)), eight), 1);
    EXPECT_EQ(pixel_rows(*eight), ramp(3, 4));
    EXPECT_EQ(Bytes(eight->palette, eight->palette + 768), grey_ramp(256));
    EXPECT_STREQ(eight->description, "BMP : 3x4 - 256 Colours");

    ScopedPic rgb;  // 3 px of 3 bytes: each row carries 3 bytes of padding
    ASSERT_EQ(read_file_into(BmpBuilder().size(3, 2).bits(24).pixels(rgb_ramp(3, 2)), rgb), 1);
    EXPECT_EQ(rgb->bits, 24);
    EXPECT_EQ(rgb->colours, 0);
    EXPECT_EQ(pixel_rows(*rgb), rgb_ramp(3, 2));
    EXPECT_STREQ(rgb->description, "BMP : 3x2 - 24bit");
}

TEST(BmpRead, NegativeHeightMeansTopDownRows)
{
    ScopedPic pic;
    ASSERT_EQ(read_file_into(BmpBuilder().size(4, 3).bits(24).top_down().pixels(rgb_ramp(4, 3)), pic), 1);
    EXPECT_EQ(pic->height, 3);
    EXPECT_EQ(pixel_rows(*pic), rgb_ramp(4, 3));
}

TEST(BmpRead, CoreHeaderAndLongHeaderFindTheirPalettes)
{
    const Bytes palette = grey_ramp(16);
    ScopedPic core;  // three-byte entries right after a 12-byte header
    ASSERT_EQ(
        read_file_into(BmpBuilder().header_size(12).size(5, 2).bits(4).palette(palette).pixels(ramp(5, 2, 16)), core),
        1);
    EXPECT_EQ(pixel_rows(*core), ramp(5, 2, 16));
    EXPECT_EQ(Bytes(core->palette, core->palette + 48), palette);

    ScopedPic v5;  // palette after all 124 bytes of header
    ASSERT_EQ(
        read_file_into(BmpBuilder().header_size(124).size(5, 2).bits(4).palette(palette).pixels(ramp(5, 2, 16)), v5),
        1);
    EXPECT_EQ(pixel_rows(*v5), ramp(5, 2, 16));
    EXPECT_EQ(Bytes(v5->palette, v5->palette + 48), palette);
}

// 16-bit pixels become RGB; the layout follows from where the pixel data sits.
Bytes expand_555(std::uint16_t v)
{
    return {std::uint8_t(((v >> 10) & 31) * 8), std::uint8_t(((v >> 5) & 31) * 8), std::uint8_t((v & 31) * 8)};
}
Bytes expand_565(std::uint16_t v)
{
    return {std::uint8_t(((v >> 11) & 31) * 8), std::uint8_t(((v >> 5) & 63) * 4), std::uint8_t((v & 31) * 8)};
}

class SixteenBit : public ::testing::Test {
protected:
    const std::vector<std::uint16_t> values{0x7FFF, 0x001F, 0x03E0, 0x7C00, 0x8421, 0xF800, 0x07E0, 0x1234};
    Rows raw() const
    {
        Bytes row;
        for (std::uint16_t v : values) row.insert(row.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
        return {row};
    }
    Rows expected(Bytes (*expand)(std::uint16_t)) const
    {
        Bytes row;
        for (std::uint16_t v : values) {
            const Bytes rgb = expand(v);
            row.insert(row.end(), rgb.begin(), rgb.end());
        }
        return {row};
    }
    static Bytes masks(std::uint32_t r, std::uint32_t g, std::uint32_t b)
    {
        Bytes gap(12);
        put_u32(gap, 0, r);
        put_u32(gap, 4, g);
        put_u32(gap, 8, b);
        return gap;
    }
    BmpBuilder builder() const { return BmpBuilder().size(int(values.size()), 1).bits(16).pixels(raw()); }
};

TEST_F(SixteenBit, DataRightAfterTheHeaderIsFiveFiveFive)
{
    ScopedPic pic;
    ASSERT_EQ(read_file_into(builder(), pic), 1);
    EXPECT_EQ(pic->bits, 24);
    EXPECT_EQ(pic->colours, 0);
    EXPECT_STREQ(pic->description, "BMP : 8x1 - 24bit");
    EXPECT_EQ(pixel_rows(*pic), expected(expand_555));
}

TEST_F(SixteenBit, DataAtSixtySixIsFiveSixFive)
{
    ScopedPic pic;
    ASSERT_EQ(read_file_into(builder().gap(masks(0xF800, 0x07E0, 0x001F)), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), expected(expand_565));
}

TEST_F(SixteenBit, BitfieldsUseTheMasksInTheFile)
{
    ScopedPic pic;  // at offset 66, so only the masks can make this 5-5-5
    ASSERT_EQ(read_file_into(builder().compression(3).gap(masks(0x7C00, 0x03E0, 0x001F)), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), expected(expand_555));
}

TEST(BmpRead, RunLengthEightBit)
{
    // Bottom row: a run, an odd literal (padded), end of line. Then a delta
    // skips the second row, a run too long for the line is cut at the edge,
    // and the end-of-bitmap code stops before the data does.
    const Bytes rle{3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 10, 7, 0, 0, 2, 9, 0, 1, 4, 4};
    ScopedPic pic;
    ASSERT_EQ(
        read_file_into(BmpBuilder().size(6, 4).bits(8).compression(1).palette(grey_ramp(256)).pixel_data(rle), pic), 1);
    const Rows expected{{9, 9, 0, 0, 0, 0}, {0, 0, 7, 7, 7, 7}, {0, 0, 0, 0, 0, 0}, {5, 5, 5, 1, 2, 3}};
    EXPECT_EQ(pixel_rows(*pic), expected);
    EXPECT_EQ(pic->bits, 8);
}

TEST(BmpRead, RunLengthFourBit)
{
    const Bytes rle{5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 2, 0xAB, 0, 1};
    ScopedPic pic;
    ASSERT_EQ(
        read_file_into(BmpBuilder().size(5, 2).bits(4).compression(2).palette(grey_ramp(16)).pixel_data(rle), pic), 1);
    const Rows expected{{3, 4, 5, 0xA, 0xB}, {1, 2, 1, 2, 1}};
    EXPECT_EQ(pixel_rows(*pic), expected);
    EXPECT_EQ(pic->bits, 4);
}

TEST(BmpRead, FreesPixelsAlreadyInTheRecord)
{
    ScopedPic pic;
    pic->pixels = static_cast<unsigned char*>(std::malloc(64));  // the leak checker sees it if kept
    EXPECT_EQ(read_bmp(temp_path("missing.bmp").c_str(), pic.get()), 0);
    EXPECT_EQ(pic->pixels, nullptr);
    EXPECT_EQ(pic->in_file, nullptr);
}

TEST(CheckBmp, DescribesHeadersItWouldNotRead)
{
    const std::string path = temp_path("deep.bmp");
    BmpBuilder().size(4, 2).bits(32).pixels({Bytes(16, 1), Bytes(16, 2)}).write(path);
    ScopedPic pic;
    EXPECT_EQ(read_bmp(path.c_str(), pic.get()), 0);
    ScopedPic probe;
    ASSERT_EQ(_checkbmp(path.c_str(), probe.get()), 1);
    EXPECT_STREQ(probe->description, "BMP : 4x2 - 32bit");
    EXPECT_EQ(probe->pixels, nullptr);
}

TEST(CheckBmp, ReadsThePaletteButNoPixels)
{
    const std::string path = temp_path("pal.bmp");
    BmpBuilder().size(7, 3).bits(4).top_down().palette(grey_ramp(16)).pixels(ramp(7, 3, 16)).write(path);
    ScopedPic probe;
    ASSERT_EQ(_checkbmp(path.c_str(), probe.get()), 1);
    EXPECT_STREQ(probe->description, "BMP : 7x3 - 16 Colours");
    EXPECT_EQ(probe->width, 7);
    EXPECT_EQ(probe->height, 3);
    EXPECT_EQ(probe->colours, 16);
    EXPECT_EQ(Bytes(probe->palette, probe->palette + 48), grey_ramp(16));
    EXPECT_EQ(probe->pixels, nullptr);
}

TEST(CheckBmp, MissingOrShortFileLeavesTheRecordAlone)
{
    const std::string short_file = temp_path("short.bmp");
    Bytes headers = BmpBuilder().size(2, 2).bits(8).bytes();
    headers.resize(53);
    write_file(short_file, headers);
    for (const std::string& path : {temp_path("missing.bmp"), short_file}) {
        ScopedPic probe;
        probe->width = 77;
        std::strcpy(probe->description, "before");
        probe->palette[0] = 42;
        PicImage before = *probe;
        EXPECT_EQ(_checkbmp(path.c_str(), probe.get()), 0) << path;
        EXPECT_EQ(std::memcmp(&before, probe.get(), sizeof before), 0) << path;
    }
}

}  // namespace
