// PBMPlus writing: exact headers and bodies for PPM, PGM and PBM from every record kind.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace zarn::test;
using zarn::read_pbm;
using zarn::write_pbm;

namespace {

constexpr int kPbm = 0, kPgm = 1, kPpm = 2;

Bytes file(const std::string& header, const Bytes& body)
{
    Bytes bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

Bytes written(ScopedPic& pic, int variant)
{
    const std::string path = temp_path("out.pnm");
    EXPECT_EQ(write_pbm(path.c_str(), pic.get(), variant), 1);
    return read_file(path);
}

TEST(PbmWrite, PixmapFromEveryKind)
{
    ScopedPic colour;
    colour.set(2, 1, 24, {{255, 0, 0, 1, 2, 3}});
    EXPECT_EQ(written(colour, kPpm), file("P6\n2 1\n255\n", {255, 0, 0, 1, 2, 3}));

    ScopedPic indexed;
    indexed.set(3, 2, 8, {{0, 1, 2}, {2, 1, 0}}, {10, 20, 30, 40, 50, 60, 70, 80, 90});
    indexed->progress = count_rows;
    g_rows_reported = 0;
    EXPECT_EQ(written(indexed, kPpm),
              file("P6\n3 2\n255\n", {10, 20, 30, 40, 50, 60, 70, 80, 90, 70, 80, 90, 40, 50, 60, 10, 20, 30}));
    EXPECT_EQ(g_rows_reported, 2);

    // A packed 1-bit record is looked up bit by bit through its palette.
    ScopedPic mono;
    mono.set(3, 1, 1, {{0xA0}}, {0, 0, 0, 255, 255, 255});
    EXPECT_EQ(written(mono, kPpm), file("P6\n3 1\n255\n", {255, 255, 255, 0, 0, 0, 255, 255, 255}));
}

TEST(PbmWrite, GreymapIsTheMeanOfTheChannels)
{
    ScopedPic colour;
    colour.set(3, 1, 24, {{255, 0, 0, 10, 20, 31, 255, 255, 255}});
    EXPECT_EQ(written(colour, kPgm), file("P5\n3 1\n255\n", {85, 20, 255}));

    ScopedPic indexed;
    indexed.set(2, 1, 4, {{1, 0}}, {0, 0, 0, 90, 60, 30});
    EXPECT_EQ(written(indexed, kPgm), file("P5\n2 1\n255\n", {60, 0}));

    ScopedPic mono;
    mono.set(9, 1, 1, {{0x80, 0x80}}, {255, 255, 255, 0, 0, 0});
    EXPECT_EQ(written(mono, kPgm), file("P5\n9 1\n255\n", {0, 255, 255, 255, 255, 255, 255, 255, 0}));
}

TEST(PbmWrite, BitmapInvertsARecordWhoseFirstEntryIsDarker)
{
    ScopedPic black_first;
    black_first.set(10, 2, 1, {{0xF0, 0x00}, {0x0F, 0xC0}}, {0, 0, 0, 255, 255, 255});
    const Rows before = rgb_rows(*black_first);
    EXPECT_EQ(written(black_first, kPbm), file("P4\n10 2\n", {0x0F, 0xFF, 0xF0, 0x3F}));
    EXPECT_EQ(Bytes(black_first->palette, black_first->palette + 6), (Bytes{255, 255, 255, 0, 0, 0}));
    EXPECT_EQ(rgb_rows(*black_first), before);  // the same picture

    ScopedPic white_first;
    white_first.set(8, 1, 1, {{0x5A}}, {255, 255, 255, 0, 0, 0});
    EXPECT_EQ(written(white_first, kPbm), file("P4\n8 1\n", {0x5A}));
}

TEST(PbmWrite, RoundTripsThroughTheReader)
{
    ScopedPic colour;
    colour.set(5, 4, 24, rgb_ramp(5, 4));
    const std::string path = temp_path("r.ppm");
    ASSERT_EQ(write_pbm(path.c_str(), colour.get(), kPpm), 1);
    ScopedPic back;
    ASSERT_EQ(read_pbm(path.c_str(), back.get()), 1);
    EXPECT_EQ(pixel_rows(*back), rgb_ramp(5, 4));

    ScopedPic mono;
    mono.set(16, 3, 1, mono_pattern(16, 3), {255, 255, 255, 0, 0, 0});
    ASSERT_EQ(write_pbm(path.c_str(), mono.get(), kPbm), 1);
    ScopedPic mono_back;
    ASSERT_EQ(read_pbm(path.c_str(), mono_back.get()), 1);
    EXPECT_EQ(pixel_rows(*mono_back), mono_pattern(16, 3));
}

TEST(PbmWrite, RefusesRecordsItWouldWriteWrong)
{
    const std::string path = temp_path("no.pbm");
    ScopedPic grey;
    grey.set(2, 1, 8, {{1, 2}}, grey_ramp(256));
    EXPECT_EQ(write_pbm(path.c_str(), grey.get(), kPbm), 0);
    EXPECT_FALSE(file_exists(path));
    EXPECT_EQ(write_pbm((temp_dir() + "/missing/x.ppm").c_str(), grey.get(), kPpm), 0);
}

}  // namespace
