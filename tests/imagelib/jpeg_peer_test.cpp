// JPEG files checked against cjpeg, djpeg and ImageMagick, in both directions.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

using namespace zarn::test;
using zarn::read_jpeg;

namespace {

// Circles of colour: edges and flat areas both.
Rows picture(int width, int height)
{
    Rows rows(std::size_t(height), Bytes(std::size_t(width) * 3));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            auto* p = &rows[std::size_t(y)][std::size_t(x) * 3];
            const int d = ((x - width / 2) * (x - width / 2) + (y - height / 3) * (y - height / 3)) / 40;
            p[0] = std::uint8_t(d * 13);
            p[1] = std::uint8_t(x * 2 + y);
            p[2] = std::uint8_t(d % 2 ? 230 : 20);
        }
    return rows;
}

std::optional<Pnm> djpeg(const std::string& path)
{
    const ToolRun run = run_tool({"djpeg", "-pnm", path});
    return run.status == 0 ? parse_pnm(run.output) : std::nullopt;
}

class JpegPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_program("cjpeg") || !have_program("djpeg")) GTEST_SKIP() << "cjpeg and djpeg not installed";
        source_ = temp_path("source.ppm");
        write_file(source_, ppm(picture(75, 41), 75));
    }
    std::string source_;
};

TEST_F(JpegPeer, CjpegFilesReadToDjpegPixels)
{
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-quality", "85"}, {"-progressive"}, {"-grayscale"}, {"-sample", "1x1"}}) {
        const std::string path = temp_path("peer.jpg");
        std::vector<std::string> argv{"cjpeg"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {"-outfile", path, source_});
        ASSERT_EQ(run_tool(argv).status, 0);
        const auto expected = djpeg(path);
        ASSERT_TRUE(expected);
        ScopedPic pic;
        ASSERT_EQ(read_jpeg(path.c_str(), pic.get(), 0), 1) << options[0];
        EXPECT_EQ(pic->width, 75);
        EXPECT_EQ(pic->height, 41);
        EXPECT_LE(largest_difference(rgb_rows(*pic), expected->rgb), 1) << options[0];
    }
}

TEST_F(JpegPeer, ScaledReadMatchesDjpegScale)
{
    const std::string path = temp_path("scaled.jpg");
    ASSERT_EQ(run_tool({"cjpeg", "-outfile", path, source_}).status, 0);
    const ToolRun run = run_tool({"djpeg", "-scale", "1/4", "-pnm", path});
    const auto expected = parse_pnm(run.output);
    ASSERT_TRUE(expected);
    ScopedPic pic;
    ASSERT_EQ(read_jpeg(path.c_str(), pic.get(), 25), 1);
    EXPECT_EQ(pic->width, expected->width);
    EXPECT_LE(largest_difference(rgb_rows(*pic), expected->rgb), 1);
}

TEST_F(JpegPeer, ImageMagickFilesReadToDjpegPixels)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick not installed";
    const std::string path = temp_path("magick.jpg");
    ASSERT_EQ(run_tool({"convert", source_, "-quality", "70", path}).status, 0);
    const auto expected = djpeg(path);
    ASSERT_TRUE(expected);
    ScopedPic pic;
    ASSERT_EQ(read_jpeg(path.c_str(), pic.get(), 0), 1);
    EXPECT_LE(largest_difference(rgb_rows(*pic), expected->rgb), 1);
}

// Four channels written straight through libjpeg, as print software does:
// with Adobe's marker the samples are stored inverted (255 is no ink).
void write_cmyk(const std::string& path, const Rows& cmyk, int width, bool adobe)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(cmyk.size());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    for (const Bytes& row : cmyk) {
        JSAMPROW line = const_cast<JSAMPLE*>(row.data());
        jpeg_write_scanlines(&cinfo, &line, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(out);
}

TEST_F(JpegPeer, CmykAndYcckReadAsRgb)
{
    // djpeg makes RGB of the inverted samples of Adobe files.
    Rows inverted, plain;
    for (const Bytes& row : picture(40, 24)) {
        Bytes adobe, ink;
        for (std::size_t x = 0; x < row.size(); x += 3) {
            const std::uint8_t k = std::uint8_t(std::max({row[x], row[x + 1], row[x + 2]}));
            adobe.insert(adobe.end(), {row[x], row[x + 1], row[x + 2], std::uint8_t(k | 0x40)});
        }
        for (const std::uint8_t v : adobe) ink.push_back(std::uint8_t(255 - v));
        inverted.push_back(adobe);
        plain.push_back(ink);
    }
    const std::string adobe = temp_path("adobe.jpg"), bare = temp_path("bare.jpg");
    write_cmyk(adobe, inverted, 40, true);
    write_cmyk(bare, plain, 40, false);
    const auto expected = djpeg(adobe);
    ASSERT_TRUE(expected);
    for (const std::string& path : {adobe, bare}) {
        SCOPED_TRACE(path);
        ScopedPic pic;
        ASSERT_EQ(read_jpeg(path.c_str(), pic.get(), 0), 1);
        EXPECT_EQ(pic->bits, 24);
        EXPECT_STREQ(pic->description, "Jpeg : 40x24 (100%) - 24bit");
        EXPECT_LE(largest_difference(rgb_rows(*pic), expected->rgb), path == adobe ? 0 : 2);
    }

    // ImageMagick writes CMYK as YCCK, which libjpeg turns back into CMYK.
    if (!have_image_magick()) return;
    const std::string ycck = temp_path("ycck.jpg");
    ASSERT_EQ(run_tool({"convert", source_, "-colorspace", "CMYK", ycck}).status, 0);
    const auto magick = djpeg(ycck);
    ASSERT_TRUE(magick);
    ScopedPic pic;
    ASSERT_EQ(read_jpeg(ycck.c_str(), pic.get(), 2), 1);
    ASSERT_EQ(read_jpeg(ycck.c_str(), pic.get(), 0), 1);
    EXPECT_EQ(largest_difference(rgb_rows(*pic), magick->rgb), 0);
}

TEST_F(JpegPeer, OurFilesDecodeInDjpegToOurPixels)
{
    ScopedPic pic;
    pic.set(75, 41, 24, picture(75, 41));
    for (int save_type : {2, 3}) {
        char path[512];
        std::snprintf(path, sizeof path, "%s", temp_path("ours.jpg").c_str());
        ASSERT_EQ(_Pic_Write(path, pic.get(), save_type, 80), 1);
        const auto theirs = djpeg(path);
        ASSERT_TRUE(theirs) << save_type;
        ScopedPic back;
        ASSERT_EQ(read_jpeg(path, back.get(), 0), 1);
        EXPECT_LE(largest_difference(rgb_rows(*back), theirs->rgb), 1) << save_type;
    }
}

}  // namespace
