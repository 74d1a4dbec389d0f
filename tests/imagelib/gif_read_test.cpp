// GIF reading: kinds and palettes, interlace, short and corrupt data, hostile headers.
#include "codecs.h"
#include "support/gif_builder.h"
#include "gif_fuzz_entry.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zarn::test;
using zarn::read_gif;

namespace {

std::vector<std::pair<int, int>> g_progress;
void record_progress(std::int32_t current, std::int32_t total)
{
    g_progress.emplace_back(current, total);
}

Rows pack(const Rows& indexes, int width)
{
    Rows packed;
    for (const Bytes& row : indexes) {
        Bytes bits((std::size_t(width) + 7) / 8, 0);
        for (int x = 0; x < width; ++x)
            if (row[std::size_t(x)] & 1) bits[std::size_t(x) / 8] |= std::uint8_t(0x80 >> (x % 8));
        packed.push_back(bits);
    }
    return packed;
}

int read(const GifBuilder& gif, ScopedPic& pic)
{
    const std::string path = temp_path("in.gif");
    gif.write(path);
    return read_gif(path.c_str(), pic.get());
}

TEST(GifRead, TwoColoursReadPackedOneBit)
{
    const Rows indexes = ramp(11, 3, 2);
    ScopedPic pic;
    ASSERT_EQ(read(GifBuilder().size(11, 3).global_table(grey_ramp(2), 0).code_size(2).pixels(indexes), pic), 1);
    EXPECT_EQ(pic->bits, 1);
    EXPECT_EQ(pic->colours, 2);
    EXPECT_EQ(pixel_rows(*pic), pack(indexes, 11));
    EXPECT_STREQ(pic->description, "Gif : 11x3 - 2 Colours");
}

TEST(GifRead, SixteenColoursKeepFourBitsAndThirtyTwoWidenToEight)
{
    ScopedPic sixteen;
    ASSERT_EQ(read(GifBuilder().size(9, 4).global_table(grey_ramp(16), 3).code_size(4).pixels(ramp(9, 4, 16)), sixteen),
              1);
    EXPECT_EQ(sixteen->bits, 4);
    EXPECT_EQ(sixteen->colours, 16);
    EXPECT_EQ(pixel_rows(*sixteen), ramp(9, 4, 16));
    EXPECT_EQ(Bytes(sixteen->palette, sixteen->palette + 48), grey_ramp(16));

    ScopedPic thirty_two;
    ASSERT_EQ(
        read(GifBuilder().size(9, 4).global_table(grey_ramp(32), 4).code_size(5).pixels(ramp(9, 4, 32)), thirty_two),
        1);
    EXPECT_EQ(thirty_two->bits, 8);
    EXPECT_EQ(thirty_two->colours, 256);
    EXPECT_EQ(pixel_rows(*thirty_two), ramp(9, 4, 32));
    EXPECT_STREQ(thirty_two->description, "Gif : 9x4 - 32 Colours");
}

TEST(GifRead, InterlacedEqualsItsTwinWithoutProgress)
{
    const Rows indexes = ramp(7, 19);
    ScopedPic plain, interlaced;
    plain->progress = interlaced->progress = record_progress;
    g_progress.clear();
    ASSERT_EQ(read(GifBuilder().size(7, 19).global_table(grey_ramp(256), 7).pixels(indexes), plain), 1);
    ASSERT_EQ(g_progress.size(), 19u);
    EXPECT_EQ(g_progress.front(), std::make_pair(0, 19));
    EXPECT_EQ(g_progress.back(), std::make_pair(18, 19));

    g_progress.clear();
    ASSERT_EQ(read(GifBuilder().size(7, 19).global_table(grey_ramp(256), 7).interlaced().pixels(indexes), interlaced),
              1);
    EXPECT_TRUE(g_progress.empty());
    EXPECT_EQ(pixel_rows(*interlaced), indexes);
    EXPECT_EQ(pixel_rows(*plain), indexes);
}

TEST(GifRead, ShortDataReadsZeroAndSucceeds)
{
    const Rows indexes = ramp(10, 6, 200);
    const GifBuilder full = GifBuilder().size(10, 6).global_table(grey_ramp(256), 7).pixels(indexes);

    ScopedPic no_end;
    ASSERT_EQ(read(GifBuilder(full).without_end_code(), no_end), 1);
    EXPECT_EQ(pixel_rows(*no_end), indexes);

    // The file stops inside the image data: 20 pixels are there, at 9 bits
    // a code plus the clear codes in between.
    Bytes cut = full.bytes();
    const std::size_t data_start = 13 + 768 + 10 + 1 + 1;
    cut.resize(data_start + 24);
    write_file(temp_path("cut.gif"), cut);
    ScopedPic pic;
    ASSERT_EQ(read_gif(temp_path("cut.gif").c_str(), pic.get()), 1);
    const Rows got = pixel_rows(*pic);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0], indexes[0]);
    EXPECT_EQ(got[5], Bytes(10, 0));
}

TEST(GifRead, CorruptCodesEndDecodingWithZeros)
{
    // Clear, root 1, then 7 while 6 is the next free code.
    const Bytes data = GifBuilder::pack_codes({4, 1, 7, 2, 2, 2}, 3);
    ScopedPic pic;
    ASSERT_EQ(read(GifBuilder().size(4, 1).global_table(grey_ramp(4), 1).code_size(2).lzw_data(data), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{1, 0, 0, 0}}));

    // A code that is no root right after a clear is corrupt as well.
    ScopedPic after_clear;
    ASSERT_EQ(read(GifBuilder()
                       .size(2, 1)
                       .global_table(grey_ramp(4), 1)
                       .code_size(2)
                       .lzw_data(GifBuilder::pack_codes({4, 6, 1}, 3)),
                   after_clear),
              1);
    EXPECT_EQ(pixel_rows(*after_clear), (Rows{{0, 0}}));
}

TEST(GifRead, LocalTableBringsItsOwnSize)
{
    Bytes reds;
    for (int i = 0; i < 16; ++i) reds.insert(reds.end(), {std::uint8_t(i * 16), 0, 0});
    ScopedPic pic;
    ASSERT_EQ(read(GifBuilder()
                       .size(5, 2)
                       .global_table(grey_ramp(4), 1)
                       .local_table(reds, 3)
                       .code_size(4)
                       .pixels(ramp(5, 2, 16)),
                   pic),
              1);
    EXPECT_EQ(pic->bits, 4);
    EXPECT_EQ(pic->colours, 16);
    EXPECT_EQ(Bytes(pic->palette, pic->palette + 48), reds);
    EXPECT_EQ(pixel_rows(*pic), ramp(5, 2, 16));

    ScopedPic local_only;
    ASSERT_EQ(read(GifBuilder().size(5, 2).local_table(reds, 3).code_size(4).pixels(ramp(5, 2, 16)), local_only), 1);
    EXPECT_EQ(Bytes(local_only->palette, local_only->palette + 48), reds);
}

TEST(GifRead, NoTableGivesAGreyRamp)
{
    ScopedPic pic;
    std::memset(pic->palette, 0x55, sizeof pic->palette);
    ASSERT_EQ(read(GifBuilder().size(4, 1).screen_size_code(1).code_size(2).pixels({{0, 1, 2, 3}}), pic), 1);
    EXPECT_EQ(pic->colours, 4);
    EXPECT_EQ(rgb_rows(*pic), (Rows{{0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255}}));
}

TEST(GifRead, ImageLargerThanTheScreenDecodesWhole)
{
    ScopedPic pic;
    ASSERT_EQ(read(GifBuilder().screen(2, 2).size(30, 12).global_table(grey_ramp(256), 7).pixels(ramp(30, 12)), pic),
              1);
    EXPECT_EQ(pic->width, 30);
    EXPECT_EQ(pixel_rows(*pic), ramp(30, 12));
    EXPECT_STREQ(pic->description, "Gif : 2x2 - 256 Colours");
}

TEST(GifRead, FirstImageOnlyAfterSkippedExtensions)
{
    const Bytes comment{0x21, 0xFE, 3, 'a', 'b', 'c', 0};
    const Bytes control{0x21, 0xF9, 4, 1, 0, 0, 2, 0};
    Bytes second = GifBuilder().size(3, 1).global_table(grey_ramp(4), 1).code_size(2).pixels({{3, 3, 3}}).bytes();
    second.erase(second.begin(), second.begin() + 13 + 12);  // keep its image descriptor onwards
    ScopedPic pic;
    ASSERT_EQ(read(GifBuilder()
                       .size(3, 1)
                       .global_table(grey_ramp(4), 1)
                       .code_size(2)
                       .before_image(comment)
                       .before_image(control)
                       .pixels({{1, 2, 0}})
                       .after_image(second),
                   pic),
              1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{1, 2, 0}}));
}

TEST(GifRead, IndexesPastThePaletteReadAsZero)
{
    ScopedPic pic;
    ASSERT_EQ(read(GifBuilder().size(4, 1).global_table(grey_ramp(4), 1).code_size(3).pixels({{6, 3, 7, 1}}), pic), 1);
    EXPECT_EQ(pixel_rows(*pic), (Rows{{0, 3, 0, 1}}));
}

TEST(GifHostile, BadHeadersAreRefused)
{
    const GifBuilder base = GifBuilder().size(4, 2).global_table(grey_ramp(4), 1).code_size(2).pixels(ramp(4, 2, 4));
    for (int code_size : {0, 1, 12, 255}) {
        SCOPED_TRACE(code_size);
        ScopedPic pic;
        EXPECT_EQ(read(GifBuilder(base).code_size(code_size), pic), 0);
        EXPECT_EQ(pic->pixels, nullptr);
    }
    ScopedPic zero_height, huge, not_gif, no_image;
    EXPECT_EQ(read(GifBuilder(base).size(4, 0), zero_height), 0);
    // 65535 x 65535 must not wrap: it is past the block ceiling and refused.
    EXPECT_EQ(read(GifBuilder(base).size(65535, 65535), huge), 0);
    write_file(temp_path("x.gif"), {'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0});
    EXPECT_EQ(read_gif(temp_path("x.gif").c_str(), not_gif.get()), 0);
    write_file(temp_path("y.gif"), {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xFE, 1, 'x', 0, ';'});
    EXPECT_EQ(read_gif(temp_path("y.gif").c_str(), no_image.get()), 0);
}

TEST(GifHostile, TruncationAtEveryByteIsSafe)
{
    const Bytes whole = GifBuilder()
                            .size(6, 5)
                            .global_table(grey_ramp(16), 3)
                            .interlaced()
                            .code_size(4)
                            .before_image({0x21, 0xFE, 2, 'h', 'i', 0})
                            .pixels(ramp(6, 5, 16))
                            .bytes();
    for (std::size_t length = 0; length < whole.size(); ++length) {
        zarn::fuzz::run_gif_input(whole.data(), length);
    }
    SUCCEED();
}

}  // namespace
