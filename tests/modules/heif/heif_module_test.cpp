// HEIF files made by heif-enc read to heif-convert's pixels; orientation, detection, damage, colours, AVIF.
#include "srgb_oracle.h"
#include "colour_profile.h"
#include "exif.h"
#include "test_support.h"
#include "zarnheif.h"

#include <gtest/gtest.h>

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>

using namespace zarn::test;

namespace {

class HeifModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_program("heif-enc") || !have_program("heif-convert"))
            GTEST_SKIP() << "heif-enc or heif-convert not installed";
    }

    // An 8-bit PNG of a ramp in this test's folder, written by our own writer.
    static std::string png_source(const std::string& name, int width, int height)
    {
        ScopedPic pic;
        pic.set(width, height, 24, rgb_ramp(width, height));
        std::string path = temp_path(name);
        EXPECT_NE(_Pic_Write(path.data(), pic.get(), 9, 0), 0);
        return path;
    }

    // heif-enc's file of `source` with `options`, or "" when it refused.
    static std::string heif_enc(const std::string& source, const std::string& name, std::vector<std::string> options)
    {
        const std::string path = temp_path(name);
        std::vector<std::string> argv{"heif-enc", source, "-o", path};
        argv.insert(argv.end(), options.begin(), options.end());
        return run_tool(argv).status == 0 && file_exists(path) ? path : "";
    }

    // What heif-convert makes of `file`, read back through our PNG reader,
    // which rounds its 16-bit output to 8 and lays alpha over white as ours does.
    static void heif_convert(const std::string& file, ScopedPic& pic)
    {
        const std::string png = temp_path("peer.png");
        ASSERT_EQ(run_tool({"heif-convert", "--quiet", file, png}).status, 0) << file;
        ASSERT_EQ(_Pic_Read(png.c_str(), pic.get(), 0, 0), 1) << file;
    }
};

TEST_F(HeifModule, PeerFilesReadToHeifConvertPixels)
{
    struct Case {
        std::string source;
        std::vector<std::string> options;
        const char* description;  // how ours starts
        int bits;
    };
    std::vector<Case> cases{
        {png_source("odd.png", 33, 17), {"-q", "60"}, "HEIC : 33x17 8-bit", 24},
        {png_source("even.png", 64, 48), {"-q", "90"}, "HEIC : 64x48 8-bit", 24},
        {png_source("tiny.png", 1, 1), {}, "HEIC : 1x1 8-bit", 24},
        {png_source("lossless.png", 33, 17),
         {"-L", "-p", "chroma=444", "--matrix_coefficients=0"},
         "HEIC : 33x17 8-bit",
         24},
    };
    if (have_image_magick()) {
        const std::string alpha = temp_path("alpha.png");
        const std::string deep = temp_path("deep.png");
        const std::string grey = temp_path("grey.png");
        ASSERT_EQ(run_tool({"convert", "-size", "33x17", "gradient:white-black", "-colorspace", "gray", "-depth", "8",
                            "PNG:" + grey})
                      .status,
                  0);
        ASSERT_EQ(run_tool({"convert", "-size", "40x30", "gradient:red-blue", "-alpha", "set", "-channel", "A", "-fx",
                            "i/w", "+channel", "PNG32:" + alpha})
                      .status,
                  0);
        ASSERT_EQ(run_tool({"convert", "-size", "33x17", "gradient:yellow-navy", "PNG48:" + deep}).status, 0);
        cases.push_back({grey, {}, "HEIC : 33x17 8-bit grey", 8});
        cases.push_back({alpha, {}, "HEIC : 40x30 8-bit alpha", 24});
        cases.push_back({deep, {"-b", "10"}, "HEIC : 33x17 10-bit", 24});
        cases.push_back({deep, {"-b", "12"}, "HEIC : 33x17 12-bit", 24});
    }
    for (const Case& c : cases) {
        const std::string what = std::string(c.description) + " " + (c.options.empty() ? "" : c.options[0]);
        const std::string file = heif_enc(c.source, "peer.heic", c.options);
        ASSERT_FALSE(file.empty()) << what;
        ScopedPic ours;
        ASSERT_EQ(_Pic_Read(file.c_str(), ours.get(), 0, 0), 1) << what;
        EXPECT_EQ(ours->bits, c.bits) << what;
        EXPECT_EQ(std::strncmp(ours->description, c.description, std::strlen(c.description)), 0)
            << ours->description << " for " << what;
        ScopedPic peer;
        heif_convert(file, peer);
        EXPECT_LE(largest_difference(rgb_rows(*ours), rgb_rows(*peer)), 1) << what;
        // Lossless files come back to their source; libheif's conversion to
        // its planes and back may still move a sample by one.
        if (c.options.size() > 1 && c.options[0] == "-L") {
            ScopedPic source;
            ASSERT_EQ(_Pic_Read(c.source.c_str(), source.get(), 0, 0), 1);
            EXPECT_LE(largest_difference(rgb_rows(*ours), rgb_rows(*source)), 1) << what;
        }
    }
}

// heif-enc cannot mark a turn, so its file's last property, the 16-byte
// pixi box of the primary item, is made an irot box of a quarter turn
// anticlockwise (libheif skips the bytes past the angle).
TEST_F(HeifModule, IrotTurnsThePictureUnlessStoredOrientationIsKept)
{
    const std::string file = heif_enc(png_source("source.png", 33, 17), "peer.heic", {"-q", "90"});
    ASSERT_FALSE(file.empty());
    Bytes bytes = read_file(file);
    const std::string pixi = "pixi";
    const auto at = std::search(bytes.begin(), bytes.end(), pixi.begin(), pixi.end());
    ASSERT_NE(at, bytes.end());
    std::copy_n("irot", 4, at);
    at[4] = 1;
    const std::string turned = temp_path("turned.heic");
    write_file(turned, bytes);

    ScopedPic ours, peer, stored, plain;
    ASSERT_EQ(_Pic_Read(turned.c_str(), ours.get(), 0, 0), 1);
    EXPECT_EQ(ours->width, 17);
    EXPECT_EQ(ours->height, 33);
    heif_convert(turned, peer);
    EXPECT_LE(largest_difference(rgb_rows(*ours), rgb_rows(*peer)), 1);

    zarn::set_keep_stored_orientation(true);
    const int kept = _Pic_Read(turned.c_str(), stored.get(), 0, 0);
    zarn::set_keep_stored_orientation(false);
    ASSERT_EQ(kept, 1);
    ASSERT_EQ(_Pic_Read(file.c_str(), plain.get(), 0, 0), 1);
    EXPECT_EQ(stored->width, 33);
    EXPECT_EQ(rgb_rows(*stored), rgb_rows(*plain));
}

TEST_F(HeifModule, FoundByContentAndDamageIsRefusedOrReadCleanly)
{
    const std::string file = heif_enc(png_source("source.png", 64, 48), "peer.heic", {"-q", "80"});
    ASSERT_FALSE(file.empty());
    const Bytes bytes = read_file(file);
    const std::string dat = temp_path("picture.dat");
    write_file(dat, bytes);
    EXPECT_EQ(_Pic_Valid(dat.c_str()), 14);
    ScopedPic whole;
    ASSERT_EQ(_Pic_Read(dat.c_str(), whole.get(), 0, 0), 1);

    // Cut anywhere, or with the coded picture overwritten, the file is
    // refused or gives a whole picture of the right size.
    for (std::size_t length :
         {std::size_t(12), std::size_t(40), bytes.size() / 3, bytes.size() / 2, bytes.size() - 30, bytes.size() - 1}) {
        const std::string cut = temp_path("cut.heic");
        write_file(cut, Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(length)));
        ScopedPic pic;
        const int read = _Pic_Read_HEIF(cut.c_str(), pic.get());
        if (read) {
            ASSERT_NE(pic->pixels, nullptr);
            EXPECT_EQ(pic->width, 64) << length;
        }
    }
    Bytes scrambled = bytes;
    for (std::size_t i = bytes.size() - 60; i < bytes.size(); ++i) scrambled[i] = std::uint8_t(i * 37);
    const std::string damaged = temp_path("damaged.heic");
    write_file(damaged, scrambled);
    ScopedPic pic;
    if (_Pic_Read_HEIF(damaged.c_str(), pic.get())) {
        EXPECT_EQ(pic->height, 48);
    }
}

// Tagged Display P3 by an ICC profile, a lossless file reads as lcms2 turns
// its stored pixels into sRGB, and says so; an untagged one, and kept
// colours, read as stored. (heif-enc writes no nclx box into HEIC files;
// the AVIF case below has one.)
TEST_F(HeifModule, TaggedColoursAreTurnedIntoSrgb)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick's convert not installed";
    const std::string source = png_source("source.png", 33, 17);
    const std::vector<std::uint8_t> p3 = zarn::profile_from_cicp(12, 13);
    const std::string icc = temp_path("p3.icc"), tagged_png = temp_path("tagged.png");
    write_file(icc, Bytes(p3.begin(), p3.end()));
    ASSERT_EQ(run_tool({"convert", source, "-profile", icc, tagged_png}).status, 0);
    for (const std::string& png : {tagged_png, source}) {
        SCOPED_TRACE(png);
        const std::string file = heif_enc(png, "tagged.heic", {"-L", "-p", "chroma=444", "--matrix_coefficients=0"});
        ASSERT_FALSE(file.empty());
        ScopedPic stored, ours;
        {
            ScopedEnv keep("ZARN_KEEP_COLOURS", "1");
            ASSERT_EQ(_Pic_Read_HEIF(file.c_str(), stored.get()), 1);
        }
        EXPECT_STREQ(stored->description, "HEIC : 33x17 8-bit");
        ASSERT_EQ(_Pic_Read_HEIF(file.c_str(), ours.get()), 1);
        const bool tagged = png == tagged_png;
        EXPECT_STREQ(ours->description, tagged ? "HEIC : 33x17 8-bit - Display P3" : "HEIC : 33x17 8-bit");
        EXPECT_LE(largest_difference(rgb_rows(*ours), tagged ? lcms_to_srgb(rgb_rows(*stored), p3) : rgb_rows(*stored)),
                  tagged ? 2 : 0);
    }
}

TEST_F(HeifModule, AvifReadsThroughTheHeifReader)
{
    heif_init(nullptr);
    const bool av1 = heif_have_decoder_for_format(heif_compression_AV1) != 0;
    heif_deinit();
    if (!av1) GTEST_SKIP() << "libheif has no AV1 decoder";
    if (!have_program("avifenc")) GTEST_SKIP() << "avifenc not installed";
    const std::string source = png_source("source.png", 33, 17);
    const std::string avif = temp_path("peer.avif");
    ASSERT_EQ(run_tool({"avifenc", "--min", "10", "--max", "20", source, avif}).status, 0);
    ScopedPic ours;
    ASSERT_EQ(_Pic_Read_HEIF(avif.c_str(), ours.get()), 1);
    EXPECT_EQ(std::strncmp(ours->description, "AVIF : 33x17 8-bit", 18), 0) << ours->description;
    ScopedPic peer;
    heif_convert(avif, peer);
    EXPECT_LE(largest_difference(rgb_rows(*ours), rgb_rows(*peer)), 1);

    // Colours named by nclx codes are turned into sRGB here as in the AVIF module.
    const std::string p3 = temp_path("p3.avif");
    ASSERT_EQ(run_tool({"avifenc", "-l", "--cicp", "12/13/0", source, p3}).status, 0);
    ScopedPic stored, turned;
    {
        ScopedEnv keep("ZARN_KEEP_COLOURS", "1");
        ASSERT_EQ(_Pic_Read_HEIF(p3.c_str(), stored.get()), 1);
    }
    ASSERT_EQ(_Pic_Read_HEIF(p3.c_str(), turned.get()), 1);
    EXPECT_STREQ(turned->description, "AVIF : 33x17 8-bit - Display P3");
    EXPECT_LE(largest_difference(rgb_rows(*turned), lcms_to_srgb(rgb_rows(*stored), zarn::profile_from_cicp(12, 13))),
              2);
}

}  // namespace
