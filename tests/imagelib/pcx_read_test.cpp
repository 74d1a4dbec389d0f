// PCX reading: line decoding, the picture kinds, palettes, and files that lie.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zarn::test;
using zarn::read_pcx;

namespace {

struct PcxHeader {
    int version = 5, encoding = 1, plane_bits = 8, planes = 1;
    int x_min = 0, y_min = 0, x_max = 0, y_max = 0;
    int line_bytes = 0;
    Bytes palette16;  // 48 bytes at offset 16
};

Bytes pcx_file(const PcxHeader& h, const Bytes& body, const Bytes& tail = {})
{
    Bytes file(128, 0);
    file[0] = 10;
    file[1] = std::uint8_t(h.version);
    file[2] = std::uint8_t(h.encoding);
    file[3] = std::uint8_t(h.plane_bits);
    put_u16(file, 4, std::uint16_t(h.x_min));
    put_u16(file, 6, std::uint16_t(h.y_min));
    put_u16(file, 8, std::uint16_t(h.x_max));
    put_u16(file, 10, std::uint16_t(h.y_max));
    std::copy(h.palette16.begin(), h.palette16.end(), file.begin() + 16);
    file[65] = std::uint8_t(h.planes);
    put_u16(file, 66, std::uint16_t(h.line_bytes));
    file.insert(file.end(), body.begin(), body.end());
    file.insert(file.end(), tail.begin(), tail.end());
    return file;
}

Bytes trailing_palette(std::uint8_t seed)
{
    Bytes tail{12};
    for (int i = 0; i < 768; ++i) tail.push_back(std::uint8_t(seed + i));
    return tail;
}

int read_bytes(const Bytes& file, ScopedPic& pic, const char* name = "in.pcx")
{
    return zarn::test::read_bytes(file, pic, name, read_pcx);
}

TEST(PcxRead, RunLengthLinesWithEmptyRunAndEvenPadding)
{
    // Width 3, 4 bytes per line: the padding byte is decoded but not kept.
    PcxHeader h;
    h.x_max = 2, h.y_max = 1, h.line_bytes = 4;
    const Bytes body{0xC0, 0x99,                     // empty run: emits nothing, eats the value
                     0xC3, 0x07, 0x09,               // three 7s, then a literal 9 (padding)
                     0x01, 0xC2, 0x05, 0xC1, 0x06};  // 1, 5, 5, 6 (the 6 is padding)
    ScopedPic pic;
    ASSERT_EQ(read_bytes(pcx_file(h, body, trailing_palette(3)), pic), 1);
    EXPECT_EQ(pic->width, 3);
    EXPECT_EQ(pic->bits, 8);
    EXPECT_EQ(pic->colours, 256);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{7, 7, 7}, {1, 5, 5}}));
    EXPECT_EQ(pic->palette[0], 3);
    EXPECT_EQ(pic->palette[767], std::uint8_t(3 + 767));
    EXPECT_STREQ(pic->description, "PCX : 3x2 - 256 Colours");
}

TEST(PcxRead, RunsNeverCarryIntoTheNextLine)
{
    PcxHeader h;
    h.x_max = 1, h.y_max = 1, h.line_bytes = 2;
    // A run of 5 on a 2-byte line: the rest is dropped; the next line starts fresh.
    const Bytes body{0xC5, 0x04, 0x08, 0x09};
    ScopedPic pic;
    ASSERT_EQ(read_bytes(pcx_file(h, body, trailing_palette(0)), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{4, 4}, {8, 9}}));
}

TEST(PcxRead, OriginIsSubtracted)
{
    PcxHeader h;
    h.encoding = 0, h.x_min = 10, h.x_max = 19, h.y_min = 5, h.y_max = 5, h.line_bytes = 10;
    Bytes body;
    for (int i = 0; i < 10; ++i) body.push_back(std::uint8_t(i));
    ScopedPic pic;
    ASSERT_EQ(read_bytes(pcx_file(h, body, trailing_palette(0)), pic), 1);
    EXPECT_EQ(pic->width, 10);
    EXPECT_EQ(pic->height, 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{body}));
}

TEST(PcxRead, TrueColourPlanesMakeRgbPixels)
{
    PcxHeader h;
    h.encoding = 0, h.planes = 3, h.x_max = 2, h.y_max = 0, h.line_bytes = 4;
    const Bytes body{1, 2, 3, 0xEE, 10, 20, 30, 0xEE, 100, 200, 250, 0xEE};
    ScopedPic pic;
    ASSERT_EQ(read_bytes(pcx_file(h, body), pic), 1);
    EXPECT_EQ(pic->bits, 24);
    EXPECT_EQ(pic->colours, 0);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{1, 10, 100, 2, 20, 200, 3, 30, 250}}));
    EXPECT_STREQ(pic->description, "PCX : 3x1 - 24bit");
}

TEST(PcxRead, FourthPlaneIsAlphaOverWhite)
{
    PcxHeader h;
    h.encoding = 0, h.planes = 4, h.x_max = 2, h.y_max = 0, h.line_bytes = 3;
    const Bytes body{200, 0, 10, 100, 0, 20, 50, 0, 30, 255, 0, 128};
    ScopedPic pic;
    ASSERT_EQ(read_bytes(pcx_file(h, body), pic), 1);
    EXPECT_EQ(pic->bits, 24);
    EXPECT_EQ(pic->colours, 0);
    // Opaque as it is, transparent white, half way between.
    EXPECT_EQ(pixel_rows(*pic), (Rows{{200, 100, 50, 255, 255, 255, 132, 137, 142}}));
    EXPECT_STREQ(pic->description, "PCX : 3x1 - 24bit");
}

TEST(PcxRead, SixteenColoursTakeTheHeaderPaletteExceptVersionThree)
{
    PcxHeader h;
    h.plane_bits = 4, h.encoding = 0, h.x_max = 2, h.y_max = 0, h.line_bytes = 2;
    for (int i = 0; i < 48; ++i) h.palette16.push_back(std::uint8_t(200 - i));
    const Bytes body{0x1F, 0x30};
    for (int version : {2, 5}) {
        ScopedPic pic;
        std::memset(pic->palette, 0x55, sizeof pic->palette);  // what an earlier image left
        h.version = version;
        ASSERT_EQ(read_bytes(pcx_file(h, body), pic), 1) << version;
        EXPECT_EQ(pic->bits, 4);
        EXPECT_EQ(pic->colours, 16);
        EXPECT_EQ(pixel_rows(*pic), (Rows{{1, 15, 3}}));
        EXPECT_EQ(Bytes(pic->palette, pic->palette + 48), h.palette16) << version;
        EXPECT_STREQ(pic->description, "PCX : 3x1 - 16 Colours");
    }
    ScopedPic pic;
    h.version = 3;
    ASSERT_EQ(read_bytes(pcx_file(h, body), pic), 1);
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 6), (Bytes{0, 0, 0, 0, 0, 170}));
    EXPECT_EQ(Bytes(pic->palette + 45, pic->palette + 48), (Bytes{255, 255, 255}));
}

TEST(PcxRead, UnreadKindsAndImpossibleHeadersAreRefused)
{
    struct Case {
        const char* what;
        int plane_bits, planes, x_max, line_bytes;
    };
    const Case cases[] = {
        {"2 bits", 2, 1, 7, 2},
        {"two planes of 8 bits", 8, 2, 7, 8},
        {"planar line too short", 1, 4, 16, 2},
        {"three planes of 1 bit", 1, 3, 7, 2},
        {"line shorter than width", 8, 1, 7, 7},
        {"16-colour line too short", 4, 1, 7, 3},
        {"x max below x min", 8, 1, -2, 8},
    };
    for (const Case& c : cases) {
        PcxHeader h;
        h.plane_bits = c.plane_bits, h.planes = c.planes, h.x_max = c.x_max, h.line_bytes = c.line_bytes;
        ScopedPic pic;
        EXPECT_EQ(read_bytes(pcx_file(h, Bytes(64, 0x11), trailing_palette(0)), pic), 0) << c.what;
        EXPECT_EQ(pic->pixels, nullptr) << c.what;
    }
}

TEST(PcxHostile, WideLinesStayInTheirOwnBuffer)
{
    // 65535 bytes per line for a 2-pixel row: decoding must not spill.
    PcxHeader h;
    h.x_max = 1, h.y_max = 2, h.line_bytes = 65535;
    Bytes body;
    for (int i = 0; i < 3 * 65535 / 63 + 10; ++i) body.insert(body.end(), {0xFF, 0x21});
    ScopedPic pic;
    ASSERT_EQ(read_bytes(pcx_file(h, body), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0x21, 0x21}, {0x21, 0x21}, {0x21, 0x21}}));
}

TEST(PcxHostile, ShortFilesFillTheSameEveryTime)
{
    PcxHeader h;
    h.x_max = 3, h.y_max = 2, h.line_bytes = 4;
    // Run-length data that ends reads on as 255; raw data that ends as 0.
    ScopedPic encoded;
    ASSERT_EQ(read_bytes(pcx_file(h, {5, 6}), encoded), 1);
    EXPECT_EQ(pixel_rows(*encoded), (Rows{{5, 6, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}}));
    EXPECT_EQ(encoded->palette[0], 0);  // the missing trailing palette is black
    h.encoding = 0;
    ScopedPic raw;
    ASSERT_EQ(read_bytes(pcx_file(h, {5, 6}), raw), 1);
    EXPECT_EQ(pixel_rows(*raw), (Rows{{5, 6, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}));
    ScopedPic header_only;
    EXPECT_EQ(read_bytes(Bytes(100, 0), header_only), 0);
}

TEST(PcxHostile, ProgressOncePerRow)
{
    PcxHeader h;
    h.encoding = 0, h.x_max = 0, h.y_max = 3, h.line_bytes = 1;
    static std::vector<int> seen;
    seen.clear();
    ScopedPic pic;
    pic->progress = [](std::int32_t row, std::int32_t total) { seen.push_back(row * 10 + total); };
    ASSERT_EQ(read_bytes(pcx_file(h, {1, 2, 3, 4}, trailing_palette(0)), pic), 1);
    EXPECT_EQ(seen, (std::vector<int>{4, 14, 24, 34}));
}

TEST(PcxRead, DetectedByExtensionThroughTheTable)
{
    PcxHeader h;
    h.encoding = 0, h.x_max = 1, h.y_max = 0, h.line_bytes = 2;
    const std::string path = temp_path("picture.PCX");
    write_file(path, pcx_file(h, {7, 8}, trailing_palette(0)));
    ScopedPic pic;
    EXPECT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{7, 8}}));
}

}  // namespace
