// GIF writing: the file layout, every record kind back through the reader, refusals.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace zarn::test;
using zarn::read_gif;
using zarn::write_gif;

namespace {

// Random indexes below `count`: data the dictionary cannot shrink much,
// so it fills up and is cleared many times over.
Rows noise(int width, int height, int count)
{
    std::mt19937 random(7);
    Rows rows(static_cast<std::size_t>(height), Bytes(static_cast<std::size_t>(width)));
    for (Bytes& row : rows)
        for (std::uint8_t& index : row) index = std::uint8_t(random() % unsigned(count));
    return rows;
}

TEST(GifWrite, HeaderTablesAndMinimumCodeSize)
{
    struct Case {
        int bits;
        std::size_t table_entries;
        std::uint8_t packed;
        std::uint8_t code_size;
    };
    for (const Case& c : {Case{1, 2, 0x80, 2}, Case{2, 4, 0x91, 2}, Case{4, 16, 0xB3, 4}, Case{8, 256, 0xF7, 8}}) {
        SCOPED_TRACE(c.bits);
        ScopedPic pic;
        const int colours = 1 << c.bits;
        pic.set(9, 2, c.bits, c.bits == 1 ? mono_pattern(9, 2) : ramp(9, 2, colours), grey_ramp(colours));
        const std::string path = temp_path("out.gif");
        ASSERT_EQ(write_gif(path.c_str(), pic.get()), 1);
        const Bytes file = read_file(path);
        ASSERT_GT(file.size(), 13 + 3 * c.table_entries + 11);
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{'G', 'I', 'F', '8', '7', 'a'}));
        EXPECT_EQ(get_u16(file, 6), 9);
        EXPECT_EQ(get_u16(file, 8), 2);
        EXPECT_EQ(file[10], c.packed);
        const std::size_t image = 13 + 3 * c.table_entries;
        EXPECT_EQ(file[image], ',');
        EXPECT_EQ(file[image + 9], 0);  // no local table, not interlaced
        EXPECT_EQ(file[image + 10], c.code_size);
        EXPECT_EQ(file.back(), ';');
        EXPECT_EQ(file[file.size() - 2], 0);
    }
}

TEST(GifWrite, EveryKindReadsBackUnchanged)
{
    for (int bits : {1, 2, 4, 8}) {
        SCOPED_TRACE(bits);
        const int colours = 1 << bits;
        const Rows rows = bits == 1 ? mono_pattern(37, 23) : noise(37, 23, colours);
        ScopedPic pic;
        pic.set(37, 23, bits, rows, grey_ramp(colours));
        pic->progress = count_rows;
        g_rows_reported = 0;
        const std::string path = temp_path("round.gif");
        ASSERT_EQ(write_gif(path.c_str(), pic.get()), 1);
        EXPECT_EQ(g_rows_reported, 23);

        ScopedPic back;
        ASSERT_EQ(read_gif(path.c_str(), back.get()), 1);
        EXPECT_EQ(back->bits, bits);
        EXPECT_EQ(back->colours, colours);
        EXPECT_EQ(pixel_rows(*back), rows);
        EXPECT_EQ(Bytes(back->palette, back->palette + 3 * colours), grey_ramp(colours));
    }
}

TEST(GifWrite, FullDictionaryClearsAndStillDecodes)
{
    const Rows rows = noise(640, 400, 256);
    ScopedPic pic;
    pic.set(640, 400, 8, rows, grey_ramp(256));
    const std::string path = temp_path("big.gif");
    ASSERT_EQ(write_gif(path.c_str(), pic.get()), 1);
    ScopedPic back;
    ASSERT_EQ(read_gif(path.c_str(), back.get()), 1);
    EXPECT_EQ(pixel_rows(*back), rows);

    const Rows flat(300, Bytes(300, 5));  // long runs: strings reach thousands of bytes
    pic.set(300, 300, 8, flat, grey_ramp(256));
    ASSERT_EQ(write_gif(path.c_str(), pic.get()), 1);
    ScopedPic flat_back;
    ASSERT_EQ(read_gif(path.c_str(), flat_back.get()), 1);
    EXPECT_EQ(pixel_rows(*flat_back), flat);
}

TEST(GifWrite, IndexesPastTheTableAreCutToIt)
{
    ScopedPic pic;
    pic.set(3, 1, 2, {{7, 2, 4}}, grey_ramp(4));
    const std::string path = temp_path("cut.gif");
    ASSERT_EQ(write_gif(path.c_str(), pic.get()), 1);
    ScopedPic back;
    ASSERT_EQ(read_gif(path.c_str(), back.get()), 1);
    EXPECT_EQ(pixel_rows(*back), (Rows{{3, 2, 0}}));
}

TEST(GifWrite, RefusesWhatItCannotWrite)
{
    const std::string path = temp_path("no.gif");
    ScopedPic colour;
    colour.set(4, 2, 24, rgb_ramp(4, 2));
    EXPECT_EQ(write_gif(path.c_str(), colour.get()), 0);
    EXPECT_FALSE(file_exists(path));

    ScopedPic too_wide;
    too_wide.set(70000, 1, 8, {Bytes(70000, 1)}, grey_ramp(256));
    EXPECT_EQ(write_gif(path.c_str(), too_wide.get()), 0);
    EXPECT_FALSE(file_exists(path));

    ScopedPic fine;
    fine.set(2, 1, 8, {{1, 2}}, grey_ramp(256));
    EXPECT_EQ(write_gif((temp_dir() + "/missing/folder/x.gif").c_str(), fine.get()), 0);
}

}  // namespace
