// Targa reading: the four kinds, colour-map entry sizes, run-length packets, row order, refusals.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace zarn::test;
using zarn::read_targa;

namespace {

struct TgaHeader {
    int id_length = 0, map_type = 0, type = 2, first_entry = 0, map_length = 0, entry_bits = 24;
    int width = 1, height = 1, depth = 24, descriptor = 0x20;
};

Bytes tga_file(const TgaHeader& h, const Bytes& after_header)
{
    Bytes file(18 + after_header.size(), 0);
    std::copy(after_header.begin(), after_header.end(), file.begin() + 18);
    file[0] = std::uint8_t(h.id_length);
    file[1] = std::uint8_t(h.map_type);
    file[2] = std::uint8_t(h.type);
    put_u16(file, 3, std::uint16_t(h.first_entry));
    put_u16(file, 5, std::uint16_t(h.map_length));
    file[7] = std::uint8_t(h.entry_bits);
    put_u16(file, 12, std::uint16_t(h.width));
    put_u16(file, 14, std::uint16_t(h.height));
    file[16] = std::uint8_t(h.depth);
    file[17] = std::uint8_t(h.descriptor);
    return file;
}

int read_bytes(const Bytes& file, ScopedPic& pic)
{
    return zarn::test::read_bytes(file, pic, "in.tga", read_targa);
}

TEST(TargaRead, SixteenBitWordsWidenToFullRange)
{
    TgaHeader h;
    h.width = 3, h.depth = 16;
    ScopedPic pic;
    ASSERT_EQ(read_bytes(tga_file(h, {0xFF, 0x7F, 0x1F, 0x00, 0x21, 0x04}), pic), 1);
    EXPECT_EQ(pic->bits, 24);
    // 0x7FFF is white, 0x001F full blue, 0x0421 is 1 in every channel (8).
    EXPECT_EQ(pixel_rows(*pic), (Rows{{255, 255, 255, 0, 0, 255, 8, 8, 8}}));
    EXPECT_STREQ(pic->description, "Targa : 3x1 - 16bit");
}

TEST(TargaRead, ThirtyTwoBitDropsAlphaAndIdIsSkipped)
{
    TgaHeader h;
    h.width = 2, h.depth = 32, h.id_length = 3;
    ScopedPic pic;
    ASSERT_EQ(read_bytes(tga_file(h, {9, 9, 9, 1, 2, 3, 0x80, 4, 5, 6, 0x00}), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{3, 2, 1, 6, 5, 4}}));
}

TEST(TargaRead, DescriptorDecidesRowOrder)
{
    TgaHeader h;
    h.type = 3, h.depth = 8, h.width = 2, h.height = 3, h.descriptor = 0;
    const Bytes stored{1, 2, 3, 4, 5, 6};
    ScopedPic bottom_up;
    ASSERT_EQ(read_bytes(tga_file(h, stored), bottom_up), 1);
    EXPECT_EQ(pixel_rows(*bottom_up), (Rows{{5, 6}, {3, 4}, {1, 2}}));
    EXPECT_EQ(bottom_up->colours, 256);
    EXPECT_EQ(bottom_up->palette[3 * 200], 200);
    EXPECT_STREQ(bottom_up->description, "Targa : 2x3 Greyscale");
    h.descriptor = 128;  // read as 32: top down
    ScopedPic top_down;
    ASSERT_EQ(read_bytes(tga_file(h, stored), top_down), 1);
    EXPECT_EQ(pixel_rows(*top_down), (Rows{{1, 2}, {3, 4}, {5, 6}}));
}

TEST(TargaRead, PacketsRepeatCarryLiteralsAndCrossRows)
{
    TgaHeader h;
    h.type = 11, h.depth = 8, h.width = 3, h.height = 2;
    // Run of 4 sevens crosses into row 2, then a literal packet of 2.
    ScopedPic pic;
    ASSERT_EQ(read_bytes(tga_file(h, {0x83, 7, 0x01, 8, 9}), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{7, 7, 7}, {7, 8, 9}}));
    h.type = 10, h.depth = 24, h.width = 5, h.height = 1;
    ScopedPic colour;
    ASSERT_EQ(read_bytes(tga_file(h, {0x03, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x80, 30, 20, 10}), colour), 1);
    EXPECT_EQ(pixel_rows(*colour), (Rows{{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 10, 20, 30}}));
}

TEST(TargaRead, ColourMapHonoursEntrySize)
{
    TgaHeader h;
    h.type = 1, h.map_type = 1, h.map_length = 4, h.depth = 8, h.width = 4;
    struct Case {
        int entry_bits;
        Bytes map;
    };
    const Case cases[] = {
        {24, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {32, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0}},
    };
    for (const Case& c : cases) {
        h.entry_bits = c.entry_bits;
        Bytes data = c.map;
        data.insert(data.end(), {3, 2, 1, 0});
        ScopedPic pic;
        ASSERT_EQ(read_bytes(tga_file(h, data), pic), 1) << c.entry_bits;
        EXPECT_EQ(pic->bits, 4);
        EXPECT_EQ(pic->colours, 4);
        EXPECT_EQ(Bytes(pic->palette, pic->palette + 12), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
        EXPECT_EQ(pixel_rows(*pic), (Rows{{3, 2, 1, 0}}));
        EXPECT_STREQ(pic->description, "Targa : 4x1 - 4 Colours");
    }
    h.entry_bits = 16;
    ScopedPic pic;
    ASSERT_EQ(read_bytes(tga_file(h, {0xFF, 0x7F, 0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 1, 2, 3}), pic), 1);
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 12), (Bytes{255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
}

// The smallest kind that holds the map: 1 bit up to 2 entries, 4 up to 16,
// else 8. An index past the map reads as entry 0.
TEST(TargaRead, MapsOfAnyLengthAndIndexesPastTheirEnd)
{
    TgaHeader h;
    h.type = 1, h.map_type = 1, h.depth = 8, h.width = 10;
    struct Case {
        int entries, bits;
        Rows pixels;
    };
    for (const Case& c :
         {Case{1, 1, {{0x00, 0x00}}}, Case{2, 1, {{0x44, 0x00}}}, Case{5, 4, {{0, 1, 4, 0, 0, 1, 0, 0, 0, 0}}},
          Case{222, 8, {{0, 1, 4, 9, 200, 1, 0, 0, 221, 0}}}}) {
        SCOPED_TRACE(c.entries);
        h.map_length = c.entries;
        Bytes data;
        for (int i = 0; i < c.entries; ++i) data.insert(data.end(), {std::uint8_t(i), 7, 9});
        data.insert(data.end(), {0, 1, 4, 9, 200, 1, 255, 222, 221, 0});
        ScopedPic pic;
        ASSERT_EQ(read_bytes(tga_file(h, data), pic), 1);
        EXPECT_EQ(pic->bits, c.bits);
        EXPECT_EQ(pic->colours, c.entries);
        EXPECT_EQ(pixel_rows(*pic), c.pixels);
        EXPECT_EQ(Bytes(pic->palette + 3 * (c.entries - 1), pic->palette + 3 * c.entries),
                  (Bytes{9, 7, std::uint8_t(c.entries - 1)}));
    }
}

TEST(TargaRead, FifteenBitTrueColourReadsAsSixteen)
{
    TgaHeader h;
    h.width = 3, h.depth = 15;
    const Bytes data{0xFF, 0x7F, 0x1F, 0x00, 0x21, 0x84};
    ScopedPic fifteen, sixteen;
    ASSERT_EQ(read_bytes(tga_file(h, data), fifteen), 1);
    h.depth = 16;
    ASSERT_EQ(read_bytes(tga_file(h, data), sixteen), 1);
    EXPECT_EQ(pixel_rows(*fifteen), pixel_rows(*sixteen));
    EXPECT_EQ(pixel_rows(*fifteen), (Rows{{255, 255, 255, 0, 0, 255, 8, 8, 8}}));
    EXPECT_STREQ(fifteen->description, "Targa : 3x1 - 15bit");
}

TEST(TargaRead, UnusedMapBeforeTrueColourIsSkipped)
{
    TgaHeader h;
    h.map_type = 1, h.map_length = 2, h.entry_bits = 24, h.width = 1;
    ScopedPic pic;
    ASSERT_EQ(read_bytes(tga_file(h, {90, 90, 90, 91, 91, 91, 1, 2, 3}), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{3, 2, 1}}));
}

TEST(TargaRead, TwoColourRowsArePacked)
{
    TgaHeader h;
    h.type = 3, h.depth = 1, h.width = 10, h.height = 1, h.map_type = 1, h.map_length = 2;
    ScopedPic pic;
    ASSERT_EQ(read_bytes(tga_file(h, {0, 0, 0, 255, 255, 255, 0xA5, 0xC0}), pic), 1);
    EXPECT_EQ(pic->bits, 1);
    EXPECT_EQ(pic->colours, 2);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0xA5, 0xC0}}));
    EXPECT_STREQ(pic->description, "Targa : 10x1 - 2 Colour");
}

TEST(TargaRead, BadHeadersAreRefused)
{
    struct Case {
        const char* what;
        TgaHeader h;
    };
    TgaHeader mapped;
    mapped.type = 1, mapped.map_type = 1, mapped.map_length = 16, mapped.depth = 8;
    std::vector<Case> cases;
    auto add = [&](const char* what, TgaHeader h, auto change) {
        change(h);
        cases.push_back({what, h});
    };
    add("map of no entries", mapped, [](TgaHeader& h) { h.map_length = 0; });
    add("map of 257 entries", mapped, [](TgaHeader& h) { h.map_length = 257; });
    add("map not starting at 0", mapped, [](TgaHeader& h) { h.first_entry = 1; });
    add("mapped without a map", mapped, [](TgaHeader& h) { h.map_type = 0; });
    add("mapped 16-bit", mapped, [](TgaHeader& h) { h.depth = 16; });
    add("true colour of one byte", TgaHeader{}, [](TgaHeader& h) { h.depth = 8; });
    add("width 0", TgaHeader{}, [](TgaHeader& h) { h.width = 0; });
    add("height 0", TgaHeader{}, [](TgaHeader& h) { h.height = 0; });
    add("descriptor bit 6", TgaHeader{}, [](TgaHeader& h) { h.descriptor = 0x40; });
    add("map type 2", TgaHeader{}, [](TgaHeader& h) { h.map_type = 2; });
    add("depth 40", TgaHeader{}, [](TgaHeader& h) { h.depth = 40; });
    add("type 4", TgaHeader{}, [](TgaHeader& h) { h.type = 4; });
    add("grey 16-bit", TgaHeader{}, [](TgaHeader& h) { h.type = 3, h.depth = 16; });
    for (const Case& c : cases) {
        ScopedPic pic;
        EXPECT_EQ(read_bytes(tga_file(c.h, Bytes(64, 1)), pic), 0) << c.what;
        EXPECT_EQ(pic->pixels, nullptr) << c.what;
    }
}

TEST(TargaHostile, ShortDataFillsTheSameEveryTime)
{
    TgaHeader h;
    h.width = 2, h.height = 2, h.depth = 24;
    ScopedPic raw;
    ASSERT_EQ(read_bytes(tga_file(h, {1, 2, 3}), raw), 1);
    EXPECT_EQ(pixel_rows(*raw), (Rows{{3, 2, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 0}}));
    h.type = 10;
    ScopedPic encoded;
    ASSERT_EQ(read_bytes(tga_file(h, {0x00, 1, 2, 3}), encoded), 1);
    EXPECT_EQ(pixel_rows(*encoded), (Rows{{3, 2, 1, 255, 255, 255}, {255, 255, 255, 255, 255, 255}}));
    ScopedPic huge;
    h.width = 65535, h.height = 65535;
    EXPECT_EQ(read_bytes(tga_file(h, {}), huge), 0);  // past the block ceiling
}

TEST(TargaHostile, ProgressCountsUpBothWays)
{
    static std::vector<int> seen;
    TgaHeader h;
    h.type = 3, h.depth = 8, h.height = 3, h.descriptor = 0;
    for (bool top_down : {false, true}) {
        seen.clear();
        h.descriptor = top_down ? 0x20 : 0;
        ScopedPic pic;
        pic->progress = [](std::int32_t row, std::int32_t) { seen.push_back(row); };
        ASSERT_EQ(read_bytes(tga_file(h, {1, 2, 3}), pic), 1);
        EXPECT_EQ(seen, top_down ? (std::vector<int>{0, 1, 2}) : (std::vector<int>{1, 2, 3}));
    }
}

}  // namespace
