// BMP files checked against another decoder: what it writes we read to its pixels, and what we write it reads to ours.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zarn::test;
using zarn::read_bmp;
using zarn::write_bmp;

namespace {

// `count` distinct colours laid out over the picture.
Rows palette_picture(int width, int height, int count)
{
    Rows rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int i = (x * 3 + y * 5) % count;
            rows[std::size_t(y)].insert(rows[std::size_t(y)].end(),
                                        {std::uint8_t(i * 6), std::uint8_t(255 - i * 6), std::uint8_t(i * 97)});
        }
    return rows;
}

struct PeerFile {
    const char* name;
    std::vector<std::string> options;  // between the source and the output
    const char* prefix;                // output coder, e.g. "BMP3:"
    int colours;                       // distinct colours in the source
    int bits, compression;             // what the peer is expected to write
    int tolerance;                     // per channel
};

class FromPeer : public ::testing::TestWithParam<PeerFile> {
protected:
    void SetUp() override
    {
        if (!have_image_magick()) GTEST_SKIP() << "ImageMagick convert is not installed";
    }
};

TEST_P(FromPeer, ReadsToThePixelsThePeerDecodes)
{
    const PeerFile& peer = GetParam();
    const int width = 7, height = 5;
    const std::string source = temp_path("source.ppm");
    write_file(source,
               ppm(peer.colours ? palette_picture(width, height, peer.colours) : rgb_ramp(width, height), width));
    const std::string bmp = temp_path("peer.bmp");
    std::vector<std::string> argv{"convert", source};
    argv.insert(argv.end(), peer.options.begin(), peer.options.end());
    argv.push_back(peer.prefix + bmp);
    ASSERT_EQ(run_tool(argv).status, 0);

    Bytes file = read_file(bmp);
    ASSERT_GE(file.size(), 54u);
    ASSERT_EQ(get_u16(file, 28), peer.bits) << "the peer wrote another kind of file than this case is about";
    ASSERT_EQ(get_u32(file, 30), std::uint32_t(peer.compression));

    const auto expected = decode({"convert", bmp, "-depth", "8", "ppm:-"});
    ASSERT_TRUE(expected);
    ASSERT_EQ(expected->width, width);

    ScopedPic pic;
    ASSERT_EQ(read_bmp(bmp.c_str(), pic.get()), 1);
    EXPECT_EQ(pic->width, width);
    EXPECT_EQ(pic->height, height);
    const Rows ours = rgb_rows(*pic);
    ASSERT_EQ(ours.size(), expected->rgb.size());
    for (std::size_t y = 0; y < ours.size(); ++y)
        for (std::size_t i = 0; i < ours[y].size(); ++i)
            ASSERT_LE(std::abs(ours[y][i] - expected->rgb[y][i]), peer.tolerance) << "row " << y << " byte " << i;
}

// Channels of 5 and 6 bits: ours are shifted up, the peer scales to the full
// range, so they differ by up to 7.
INSTANTIATE_TEST_SUITE_P(
    ImageMagick, FromPeer,
    ::testing::Values(PeerFile{"Default24", {}, "", 0, 24, 0, 0}, PeerFile{"Info24", {}, "BMP3:", 0, 24, 0, 0},
                      PeerFile{"Mono", {"-monochrome"}, "BMP3:", 0, 1, 0, 0},
                      PeerFile{"Four", {"-type", "Palette"}, "BMP3:", 12, 4, 0, 0},
                      PeerFile{"FourLongHeader", {"-type", "Palette"}, "", 12, 4, 0, 0},
                      PeerFile{"Eight", {"-type", "Palette", "-compress", "None"}, "BMP3:", 40, 8, 0, 0},
                      PeerFile{"EightRle", {"-type", "Palette", "-compress", "RLE"}, "BMP3:", 40, 8, 1, 0},
                      PeerFile{"Masks565", {"-define", "bmp:subtype=RGB565"}, "", 0, 16, 3, 7},
                      PeerFile{"Masks555", {"-define", "bmp:subtype=RGB555"}, "", 0, 16, 3, 7}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(FromPeerTopDown, FlippedPeerFileReadsTheSame)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick convert is not installed";
    const int width = 7, height = 5;
    const std::string source = temp_path("source.ppm");
    write_file(source, ppm(rgb_ramp(width, height), width));
    const std::string bmp = temp_path("peer.bmp");
    ASSERT_EQ(run_tool({"convert", source, "BMP3:" + bmp}).status, 0);
    const Bytes bottom_up = read_file(bmp);
    ASSERT_EQ(get_u32(bottom_up, 10), 54u);

    // Same pixels, rows stored the other way round with a negative height.
    const std::size_t row = (3 * width + 3) & ~3;
    ASSERT_GE(bottom_up.size(), 54 + row * height);
    Bytes top_down(bottom_up.begin(), bottom_up.begin() + 54);
    put_u32(top_down, 22, std::uint32_t(-height));
    for (int y = height - 1; y >= 0; --y) {
        const auto start = bottom_up.begin() + std::ptrdiff_t(54 + row * std::size_t(y));
        top_down.insert(top_down.end(), start, start + std::ptrdiff_t(row));
    }
    const std::string flipped = temp_path("flipped.bmp");
    write_file(flipped, top_down);

    ScopedPic pic;
    ASSERT_EQ(read_bmp(flipped.c_str(), pic.get()), 1);
    EXPECT_EQ(pixel_rows(*pic), rgb_ramp(width, height));
    const auto expected = decode({"convert", flipped, "-depth", "8", "ppm:-"});
    ASSERT_TRUE(expected);
    EXPECT_EQ(pixel_rows(*pic), expected->rgb);
}

struct OurFile {
    int width, height, bits, colours;
};

class ToPeer : public ::testing::TestWithParam<OurFile> {};

TEST_P(ToPeer, PeersDecodeOurPixels)
{
    const auto [width, height, bits, colours] = GetParam();
    Bytes palette;
    for (int i = 0; i < colours; ++i)
        palette.insert(palette.end(), {std::uint8_t(i * 17), std::uint8_t(255 - i), std::uint8_t(i * 101)});
    ScopedPic pic;
    pic.set(width, height, bits,
            bits == 1    ? mono_pattern(width, height)
            : bits == 24 ? rgb_ramp(width, height)
                         : ramp(width, height, colours),
            palette);
    const std::string bmp = temp_path("ours.bmp");
    ASSERT_EQ(write_bmp(bmp.c_str(), pic.get()), 1);
    const Rows expected = rgb_rows(*pic);

    bool any_peer = false;
    if (have_image_magick()) {
        any_peer = true;
        const auto decoded = decode({"convert", bmp, "-depth", "8", "ppm:-"});
        ASSERT_TRUE(decoded) << "ImageMagick could not read our file";
        EXPECT_EQ(decoded->rgb, expected) << "ImageMagick";
    }
    if (have_program("bmptopnm")) {
        any_peer = true;
        const auto decoded = decode({"bmptopnm", bmp});
        ASSERT_TRUE(decoded) << "bmptopnm could not read our file";
        EXPECT_EQ(decoded->rgb, expected) << "bmptopnm";
    }
    if (!any_peer) GTEST_SKIP() << "no peer decoder installed";
}

INSTANTIATE_TEST_SUITE_P(Depths, ToPeer,
                         ::testing::Values(OurFile{9, 3, 1, 2}, OurFile{7, 4, 4, 16}, OurFile{5, 3, 4, 5},
                                           OurFile{13, 6, 8, 256}, OurFile{6, 2, 3, 8}, OurFile{5, 7, 24, 0},
                                           OurFile{1, 1, 24, 0}),
                         [](const auto& test) {
                             return std::to_string(test.param.bits) + "bit_" + std::to_string(test.param.colours) +
                                    "colours_" + std::to_string(test.param.width) + "wide";
                         });

}  // namespace
