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

TEST(BmpWrite, FixedHeaderFields)
{
    ScopedPic pic;
    pic.set(3, 2, 8, ramp(3, 2), grey_ramp(256));
    const Written out = write_record(pic);
    ASSERT_GE(out.file.size(), 54u);
    EXPECT_EQ(out.file[0], 'B');
    EXPECT_EQ(out.file[1], 'M');
    EXPECT_EQ(get_u32(out.file, 2), out.file.size());  // the real file size
    EXPECT_EQ(get_u32(out.file, 6), 0u);               // reserved
    EXPECT_EQ(get_u32(out.file, 14), 40u);             // info header size
    EXPECT_EQ(get_u32(out.file, 18), 3u);
    EXPECT_EQ(get_u32(out.file, 22), 2u);  // positive: bottom-up rows
    EXPECT_EQ(get_u16(out.file, 26), 1u);  // planes
    EXPECT_EQ(out.bits(), 8u);
    EXPECT_EQ(get_u32(out.file, 30), 0u);  // no compression
    EXPECT_EQ(get_u32(out.file, 34), 0u);  // image size
    EXPECT_EQ(get_u32(out.file, 38), 1u);  // resolutions
    EXPECT_EQ(get_u32(out.file, 42), 1u);
    EXPECT_EQ(out.colours_used(), 0u);  // full palette
    EXPECT_EQ(get_u32(out.file, 50), 0u);
    EXPECT_EQ(out.pixel_offset(), 54u + 1024u);
    EXPECT_EQ(out.palette_quads(256), quads(grey_ramp(256)));
}

TEST(BmpWrite, OneBitNinePixelsPadsToFourBytes)
{
    ScopedPic pic;
    const Bytes palette{0, 0, 0, 255, 128, 1};
    pic.set(9, 2, 1, {{0xA5, 0xFF}, {0x01, 0x7F}}, palette);  // stray bits past the width
    const Written out = write_record(pic);
    EXPECT_EQ(out.pixel_offset(), 62u);
    EXPECT_EQ(out.colours_used(), 0u);
    EXPECT_EQ(out.palette_quads(2), quads(palette));
    EXPECT_EQ(out.pixel_data(), (Bytes{0x01, 0x00, 0, 0, 0xA5, 0x80, 0, 0}));  // bottom row first, stray bits clear
}

TEST(BmpWrite, TwentyFourBitOnePixelPadsToFourBytes)
{
    ScopedPic pic;
    pic.set(1, 2, 24, {{1, 2, 3}, {4, 5, 6}});
    const Written out = write_record(pic);
    EXPECT_EQ(out.pixel_offset(), 54u);
    EXPECT_EQ(out.bits(), 24u);
    EXPECT_EQ(out.colours_used(), 0u);
    EXPECT_EQ(out.pixel_data(), (Bytes{6, 5, 4, 0, 3, 2, 1, 0}));
}

TEST(BmpWrite, ShortPaletteIsDeclaredAndNarrowIndexesWidenToEight)
{
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

TEST(BmpWrite, PaletteNeverOutgrowsTheBitCount)
{
    // A record whose colour count was left at 256 after it became 1 or 4
    // bits still gets a palette its pixels can index, and no more.
    struct Case {
        int bits, colours;
        std::uint32_t offset;
    };
    for (const Case c : {Case{1, 256, 62}, Case{4, 200, 118}, Case{4, 0, 118}, Case{8, 300, 1078}}) {
        ScopedPic pic;
        pic.set(9, 2, c.bits, c.bits == 1 ? mono_pattern(9, 2) : ramp(9, 2, 1 << c.bits), grey_ramp(256));
        pic->colours = c.colours;
        const Written out = write_record(pic);
        EXPECT_EQ(out.pixel_offset(), c.offset) << c.bits << " bits, " << c.colours << " colours";
        EXPECT_EQ(out.colours_used(), 0u) << c.bits << " bits, " << c.colours << " colours";
    }
}

TEST(BmpWrite, RefusesRecordsWithoutARowLayout)
{
    struct Case {
        int width, height, bits;
        bool pixels;
    };
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

TEST_P(BmpRoundTrip, ReadsBackWhatWasWritten)
{
    const auto [width, height, bits] = GetParam();
    const Rows rows = bits == 1    ? mono_pattern(width, height)
                      : bits == 24 ? rgb_ramp(width, height)
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

// A 24-bit BMP converted to BMP and JPEG a batch of rows at a time gives the
// files (and the description) that reading it into the record and writing
// that gives: rows stored either way up, padding that holds rubbish, the
// 12-byte header, a gap before the pixels, more rows than one batch.
TEST(BmpStreaming, GivesTheFilesTheRecordGives)
{
    const auto rubbish_padded = [](int width, int height) {
        const std::size_t row = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
        Bytes raw(row * std::size_t(height));
        for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = std::uint8_t(i * 131 + i / 7);
        return raw;
    };
    const std::vector<std::pair<std::string, BmpBuilder>> inputs{
        {"odd", BmpBuilder().size(37, 23).bits(24).pixels(rgb_ramp(37, 23))},
        {"top_down_rubbish", BmpBuilder().size(31, 9).bits(24).top_down().pixel_data(rubbish_padded(31, 9))},
        {"core", BmpBuilder().size(5, 4).bits(24).header_size(12).pixels(rgb_ramp(5, 4))},
        {"gap", BmpBuilder().size(6, 3).bits(24).gap(Bytes(9, 0x5A)).pixels(rgb_ramp(6, 3))},
        {"batches_up", BmpBuilder().size(3001, 70).bits(24).pixel_data(rubbish_padded(3001, 70))},
        {"batches_down", BmpBuilder().size(3001, 70).bits(24).top_down().pixel_data(rubbish_padded(3001, 70))},
    };
    for (const auto& [name, builder] : inputs) {
        const std::string input = temp_path(name + ".bmp");
        builder.write(input);
        for (const int type : {1, 2, 3}) {
            SCOPED_TRACE(name + " to type " + std::to_string(type));
            ScopedPic record;
            ASSERT_EQ(_Pic_Read(input.c_str(), record.get(), 0, 0), 1);
            std::string by_record = temp_path("record.bmp") + std::string(8, '\0');
            ASSERT_EQ(_Pic_Write(by_record.data(), record.get(), type, 75), 1);
            ScopedPic streamed;
            std::string by_rows = temp_path("rows.bmp") + std::string(8, '\0');
            ASSERT_EQ(zarn::stream_bmp_conversion(input.c_str(), by_rows.data(), streamed.get(), type, 75),
                      zarn::Streamed::Written);
            const auto extension = [](const std::string& buffer) {
                const std::string path = buffer.c_str();
                return path.substr(path.rfind('.'));
            };
            EXPECT_EQ(extension(by_rows), extension(by_record));
            EXPECT_EQ(read_file(by_rows.c_str()), read_file(by_record.c_str()));
            EXPECT_STREQ(streamed->description, record->description);
            EXPECT_EQ(streamed->pixels, nullptr);
        }
    }
}

TEST(BmpStreaming, LeavesOtherFilesToTheRecordAndReportsAFailedWrite)
{
    const std::string eight = temp_path("eight.bmp"), short_file = temp_path("short.bmp"),
                      whole = temp_path("whole.bmp");
    BmpBuilder().size(4, 4).bits(8).palette(grey_ramp(256)).pixels(ramp(4, 4)).write(eight);
    BmpBuilder().size(40, 40).bits(24).pixel_data(Bytes(100, 7)).write(short_file);
    BmpBuilder().size(4, 4).bits(24).pixels(rgb_ramp(4, 4)).write(whole);
    std::string out = temp_path("out.bmp") + std::string(8, '\0');
    ScopedPic pic;
    EXPECT_EQ(zarn::stream_bmp_conversion(eight.c_str(), out.data(), pic.get(), 1, 75), zarn::Streamed::NotTried);
    EXPECT_EQ(zarn::stream_bmp_conversion(short_file.c_str(), out.data(), pic.get(), 1, 75), zarn::Streamed::NotTried);
    EXPECT_EQ(zarn::stream_bmp_conversion(whole.c_str(), out.data(), pic.get(), 9, 75), zarn::Streamed::NotTried);
    EXPECT_FALSE(file_exists(out.c_str()));
    std::string nowhere = temp_path("missing/out.jpg") + std::string(8, '\0');
    EXPECT_EQ(zarn::stream_bmp_conversion(whole.c_str(), nowhere.data(), pic.get(), 2, 75),
              zarn::Streamed::WriteFailed);
}

}  // namespace

// The SSSE3 row kernels against the plain ones (the exchange out of place
// and in place, and greyscale) on rows of 1 to 33 pixels at every
// alignment, with padding after each row that neither may touch.
TEST(ChannelSwap, FastAndPlainRoutinesAgree)
{
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
