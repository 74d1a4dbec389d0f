// The 256 by 256 texture: reading by file size, writing onto the fixed palette.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace zarn::test;
using zarn::read_texture;
using zarn::write_texture;

namespace {

Bytes texture_ramp()
{
    Bytes data(65536);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t((i * 7 + i / 256) % 128);
    return data;
}

TEST(TextureRead, FullSizeFileReadsItsIndices)
{
    const std::string path = temp_path("wall.r8");
    const Bytes data = texture_ramp();
    write_file(path, data);
    ScopedPic pic;
    ASSERT_EQ(read_texture(path.c_str(), pic.get()), 1);
    EXPECT_EQ(pic->width, 256);
    EXPECT_EQ(pic->height, 256);
    EXPECT_EQ(pic->bits, 8);
    EXPECT_EQ(pic->colours, 256);
    EXPECT_STREQ(pic->description, "R8 : 256x256 ");
    EXPECT_EQ(Bytes(pic->pixels, pic->pixels + data.size()), data);
    // Entry 32 is the first red, 116 pure red, 128 on black.
    EXPECT_EQ(Bytes(pic->palette + 3 * 32, pic->palette + 3 * 33), (Bytes{21, 5, 5}));
    EXPECT_EQ(Bytes(pic->palette + 3 * 116, pic->palette + 3 * 117), (Bytes{255, 0, 0}));
    EXPECT_EQ(Bytes(pic->palette + 3 * 127, pic->palette + 3 * 128), (Bytes{227, 227, 227}));
    EXPECT_EQ(Bytes(pic->palette + 3 * 128, pic->palette + 768), Bytes(384, 0));
}

// Textures are known by name alone, so a file of any other size is no texture.
TEST(TextureRead, OtherSizesAreRefusedButDescribed)
{
    for (const std::size_t size : {std::size_t(0), std::size_t(10000), std::size_t(65535), std::size_t(65537)}) {
        SCOPED_TRACE(size);
        const std::string path = temp_path("small.raf");
        write_file(path, Bytes(size, 0x55));
        ScopedPic pic;
        EXPECT_EQ(_Pic_Read(path.c_str(), pic.get(), 0, 0), 0);
        EXPECT_EQ(pic->pixels, nullptr);
        if (size == 10000) {
            EXPECT_STREQ(pic->description, "R8 : 100x100 ");
        }
    }
}

TEST(TextureWrite, TrueColourScalesAndMapsBelow128)
{
    ScopedPic pic;
    pic.set(100, 50, 24, rgb_ramp(100, 50));
    const std::string path = temp_path("out.r8");
    ASSERT_EQ(write_texture(path.c_str(), pic.get()), 1);
    const Bytes file = read_file(path);
    ASSERT_EQ(file.size(), 65536u);
    for (std::uint8_t index : file) ASSERT_LT(index, 128);
    EXPECT_EQ(pic->width, 256);
    EXPECT_EQ(pic->bits, 8);
}

TEST(TextureWrite, OwnIndicesRoundTripUnchanged)
{
    const std::string in = temp_path("in.r8"), out = temp_path("again.r8");
    write_file(in, texture_ramp());
    ScopedPic pic;
    ASSERT_EQ(read_texture(in.c_str(), pic.get()), 1);
    ASSERT_EQ(write_texture(out.c_str(), pic.get()), 1);
    EXPECT_EQ(read_file(out), texture_ramp());
}

TEST(TextureWrite, SmallPalettesAreWidenedFirst)
{
    for (int bits : {1, 4}) {
        SCOPED_TRACE(bits);
        ScopedPic pic;
        const Bytes white_black{255, 255, 255, 0, 0, 0};
        Bytes palette(48, 0);
        std::copy(white_black.begin(), white_black.end(), palette.begin());
        // Left half index 0 (white), right half index 1 (black).
        Rows rows(8, bits == 1 ? Bytes{0x0F} : Bytes{0, 0, 0, 0, 1, 1, 1, 1});
        pic.set(8, 8, bits, rows, bits == 1 ? white_black : palette);
        char path[512];
        std::snprintf(path, sizeof path, "%s", temp_path("small.bmp").c_str());
        ASSERT_EQ(_Pic_Write(path, pic.get(), 15, 0), 1);
        EXPECT_EQ(std::string(path), temp_path("small.r8"));
        const Bytes file = read_file(path);
        ASSERT_EQ(file.size(), 65536u);
        EXPECT_EQ(file[256 * 100 + 10], 31);  // white
        EXPECT_EQ(file[256 * 100 + 250], 0);  // black
    }
}

}  // namespace
