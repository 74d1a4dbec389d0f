// The BMP writer: header fields, palette, row padding, and round trips through the reader.
#include "channel_swap.h"
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zarn::test;
using zarn::read_bmp;
using zarn::write_bmp;

namespace {

struct Written {
    Bytes file;
    std::uint32_t pixel_offset() const { return get_u32(file, 10); }
    std::uint16_t bits() const { return get_u16(file, 28); }
    std::uint32_t colours_used() const { return get_u32(file, 46); }
    Bytes palette_quads(std::size_t count) const
    {
        return Bytes(file.begin() + 54, file.begin() + 54 + std::ptrdiff_t(4 * count));
    }
    Bytes pixel_data() const { return Bytes(file.begin() + pixel_offset(), file.end()); }
};

Written write_record(ScopedPic& pic)
{
    const std::string path = temp_path("out.bmp");
    EXPECT_EQ(write_bmp(path.c_str(), pic.get()), 1);
    return {read_file(path)};
}

Bytes quads(const Bytes& rgb)
{
    Bytes out;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) out.insert(out.end(), {rgb[i + 2], rgb[i + 1], rgb[i], 0});
    return out;
}

TEST(BmpWrite, FixedHeaderFields) {
    ScopedPic pic;
    pic.set(3, 2, 8, ramp(3, 2), grey_ramp(256));
    const Written out = write_record(pic);
    ASSERT_GE(out.file.size(), 54u);
    EXPECT_EQ(out.file[0], 'B');
    EXPECT_EQ(out.file[1], 'M');
    EXPECT_EQ(get_u32(out.file, 2), out.file.size());  // the real file size
    EXPECT_EQ(get_u32(out.file, 6), 0u);          // reserved
    EXPECT_EQ(get_u32(out.file, 14), 40u);        // info header size
    EXPECT_EQ(get_u32(out.file, 18), 3u);
    EXPECT_EQ(get_u32(out.file, 22), 2u);         // positive: bottom-up rows
    EXPECT_EQ(get_u16(out.file, 26), 1u);         // planes
    EXPECT_EQ(out.bits(), 8u);
    EXPECT_EQ(get_u32(out.file, 30), 0u);         // no compression
    EXPECT_EQ(get_u32(out.file, 34), 0u);         // image size
    EXPECT_EQ(get_u32(out.file, 38), 1u);         // resolutions
    EXPECT_EQ(get_u32(out.file, 42), 1u);
    EXPECT_EQ(out.colours_used(), 0u);            // full palette
    EXPECT_EQ(get_u32(out.file, 50), 0u);
    EXPECT_EQ(out.pixel_offset(), 54u + 1024u);
    EXPECT_EQ(out.palette_quads(256), quads(grey_ramp(256)));
}

TEST(BmpWrite, OneBitNinePixelsPadsToFourBytes) {
    ScopedPic pic;
    const Bytes palette{0, 0, 0, 255, 128, 1};
    pic.set(9, 2, 1, {{0xA5, 0xFF}, {0x01, 0x7F}}, palette);  // stray bits past the width
    const Written out = write_record(pic);
    EXPECT_EQ(out.pixel_offset(), 62u);
    EXPECT_EQ(out.colours_used(), 0u);
    EXPECT_EQ(out.palette_quads(2), quads(palette));
    EXPECT_EQ(out.pixel_data(), (Bytes{0x01, 0x00, 0, 0, 0xA5, 0x80, 0, 0}));  // bottom row first, stray bits clear
}

TEST(BmpWrite, TwentyFourBitOnePixelPadsToFourBytes) {
    ScopedPic pic;
    pic.set(1, 2, 24, {{1, 2, 3}, {4, 5, 6}});
    const Written out = write_record(pic);
    EXPECT_EQ(out.pixel_offset(), 54u);
    EXPECT_EQ(out.bits(), 24u);
    EXPECT_EQ(out.colours_used(), 0u);
    EXPECT_EQ(out.pixel_data(), (Bytes{6, 5, 4, 0, 3, 2, 1, 0}));
}

TEST(BmpWrite, ShortPaletteIsDeclaredAndNarrowIndexesWidenToEight) {
    for (int bits : {2, 3, 5, 6, 7}) {
        ScopedPic pic;
        const int colours = 1 << bits;
        pic.set(5, 3, bits, ramp(5, 3, colours), grey_ramp(colours));
        const Written out = write_record(pic);
        EXPECT_EQ(out.bits(), 8u) << bits;
        EXPECT_EQ(out.colours_used(), std::uint32_t(colours)) << bits;
        EXPECT_EQ(out.pixel_offset(), 54u + 4u * std::uint32_t(colours)) << bits;
        EXPECT_EQ(out.palette_quads(std::size_t(colours)), quads(grey_ramp(colours))) << bits;

        ScopedPic back;
        ASSERT_EQ(read_bmp(temp_path("out.bmp").c_str(), back.get()), 1);
        EXPECT_EQ(back->bits, 8);
        EXPECT_EQ(pixel_rows(*back), ramp(5, 3, colours)) << bits;
    }
}

TEST(BmpWrite, PaletteNeverOutgrowsTheBitCount) {
    // A record whose colour count was left at 256 after it became 1 or 4
    // bits still gets a palette its pixels can index, and no more.
    struct Case { int bits, colours; std::uint32_t offset; };
    for (const Case c : {Case{1, 256, 62}, Case{4, 200, 118}, Case{4, 0, 118}, Case{8, 300, 1078}}) {
        ScopedPic pic;
        pic.set(9, 2, c.bits, c.bits == 1 ? mono_pattern(9, 2) : ramp(9, 2, 1 << c.bits), grey_ramp(256));
        pic->colours = c.colours;
        const Written out = write_record(pic);
        EXPECT_EQ(out.pixel_offset(), c.offset) << c.bits << " bits, " << c.colours << " colours";
        EXPECT_EQ(out.colours_used(), 0u) << c.bits << " bits, " << c.colours << " colours";
    }
}

TEST(BmpWrite, RefusesRecordsWithoutARowLayout) {
    struct Case { int width, height, bits; bool pixels; };
    for (const Case c : {Case{0, 2, 8, true}, Case{2, 0, 8, true}, Case{-3, 2, 8, true}, Case{2, 2, 16, true},
                         Case{2, 2, 32, true}, Case{2, 2, 0, true}, Case{2, 2, 8, false}}) {
        ScopedPic pic;
        pic.set(2, 2, 8, ramp(2, 2), grey_ramp(256));
        pic->width = c.width;
        pic->height = c.height;
        pic->bits = c.bits;
        if (!c.pixels) {
            std::free(pic->pixels);
            pic->pixels = nullptr;
        }
        const std::string path = temp_path("refused.bmp");
        EXPECT_EQ(write_bmp(path.c_str(), pic.get()), 0) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_FALSE(file_exists(path));
    }
}

struct RoundTrip {
    int width, height, bits;
};

class BmpRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(BmpRoundTrip, ReadsBackWhatWasWritten) {
    const auto [width, height, bits] = GetParam();
    const Rows rows = bits == 1 ? mono_pattern(width, height) : bits == 24 ? rgb_ramp(width, height)
                                                                          : ramp(width, height, 1 << bits);
    const Bytes palette = bits == 24 ? Bytes{} : grey_ramp(1 << bits);
    ScopedPic pic;
    pic.set(width, height, bits, rows, palette);
    const std::string path = temp_path("trip.bmp");
    ASSERT_EQ(write_bmp(path.c_str(), pic.get()), 1);

    ScopedPic back;
    ASSERT_EQ(read_bmp(path.c_str(), back.get()), 1);
    EXPECT_EQ(back->width, width);
    EXPECT_EQ(back->height, height);
    EXPECT_EQ(back->bits, bits);
    EXPECT_EQ(back->colours, pic->colours);
    EXPECT_EQ(Bytes(back->palette, back->palette + palette.size()), palette);
    EXPECT_EQ(pixel_rows(*back), rows);
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpRoundTrip,
                         ::testing::Values(RoundTrip{1, 1, 1}, RoundTrip{9, 3, 1}, RoundTrip{33, 5, 1},
                                           RoundTrip{1, 1, 4}, RoundTrip{7, 4, 4}, RoundTrip{8, 2, 4},
                                           RoundTrip{1, 3, 8}, RoundTrip{13, 6, 8}, RoundTrip{1, 1, 24},
                                           RoundTrip{5, 7, 24}, RoundTrip{64, 2, 24}),
                         [](const auto& test) {
                             return std::to_string(test.param.bits) + "bit_" + std::to_string(test.param.width) + "x" +
                                    std::to_string(test.param.height);
                         });

}  // namespace

// The SSSE3 row kernels against the plain ones (the exchange out of place
// and in place, and greyscale) on rows of 1 to 33 pixels at every
// alignment, with padding after each row that neither may touch.
TEST(ChannelSwap, FastAndPlainRoutinesAgree) {
    if (!zarn::ssse3_available()) GTEST_SKIP() << "no SSSE3";
    for (std::size_t width = 1; width <= 33; ++width) {
        for (std::size_t shift = 0; shift < 16; ++shift) {
            Bytes source(shift + 3 * width + 5);
            for (std::size_t i = 0; i < source.size(); ++i) source[i] = std::uint8_t(i * 37 + width);
            Bytes plain(source.size(), 0xEE), fast(source.size(), 0xEE);
            zarn::swap_red_blue_plain(source.data() + shift, plain.data() + shift, width);
            zarn::swap_red_blue_ssse3(source.data() + shift, fast.data() + shift, width);
            ASSERT_EQ(fast, plain) << width << " pixels at offset " << shift;
            for (std::size_t x = 0; x < width; ++x) {
                ASSERT_EQ(plain[shift + 3 * x], source[shift + 3 * x + 2]);
                ASSERT_EQ(plain[shift + 3 * x + 2], source[shift + 3 * x]);
            }
            Bytes in_place = source;
            zarn::swap_red_blue_ssse3(in_place.data() + shift, in_place.data() + shift, width);
            std::copy(source.begin(), source.begin() + std::ptrdiff_t(shift), plain.begin());
            std::copy(source.end() - 5, source.end(), plain.end() - 5);
            ASSERT_EQ(in_place, plain) << width << " pixels in place at offset " << shift;

            Bytes grey_plain(width + 1, 0xEE), grey_fast(width + 1, 0xEE);
            zarn::grey_row_plain(source.data() + shift, grey_plain.data(), width);
            zarn::grey_row_ssse3(source.data() + shift, grey_fast.data(), width);
            ASSERT_EQ(grey_fast, grey_plain) << width << " grey pixels at offset " << shift;
        }
    }
}
