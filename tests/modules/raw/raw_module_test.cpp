// DNG files written here read as LibRaw's dcraw_emu develops them, upright; the embedded preview; detection; damage.
#include "dng_builder.h"
#include "exif.h"
#include "test_support.h"
#include "zarnraw.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zarn::test;

namespace {

// A preview whose quarters are red, green, blue and white, so a turn shows.
Bytes quarters(int width, int height)
{
    Bytes rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int quarter = (y >= height / 2) * 2 + (x >= width / 2);
            static const std::uint8_t colours[4][3] = {{250, 0, 0}, {0, 250, 0}, {0, 0, 250}, {250, 250, 250}};
            rgb.insert(rgb.end(), colours[quarter], colours[quarter] + 3);
        }
    return rgb;
}

std::string write_dng(const std::string& name, DngPicture picture)
{
    const std::string path = temp_path(name);
    write_file(path, make_dng(picture));
    return path;
}

DngPicture with_preview(int orientation = 1)
{
    DngPicture picture;
    picture.orientation = orientation;
    picture.preview_rgb = quarters(picture.preview_width, picture.preview_height);
    return picture;
}

// The pixel at (x, y) of a 24-bit record.
Bytes pixel(const PicImage& pic, int x, int y)
{
    const unsigned char* at = pic.pixels + (std::size_t(y) * std::size_t(pic.width) + std::size_t(x)) * 3;
    return Bytes(at, at + 3);
}

// What dcraw_emu with the camera's white balance makes of `dng`, read back
// through our own PPM reader; false when it failed.
bool dcraw_emu(const std::string& dng, ScopedPic& pic)
{
    const std::string out = temp_path("peer.ppm");
    return run_tool({"dcraw_emu", "-w", "-Z", out, dng}).status == 0 && _Pic_Read(out.c_str(), pic.get(), 0, 0) == 1;
}

class RawModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_program("dcraw_emu")) GTEST_SKIP() << "dcraw_emu not installed";
    }
};

TEST_F(RawModule, DemosaicMatchesDcrawEmuUprightOnce)
{
    for (const int orientation : {1, 6, 3}) {
        SCOPED_TRACE(orientation);
        const std::string dng = write_dng("scene.dng", with_preview(orientation));
        ASSERT_EQ(_Pic_Valid(dng.c_str()), 16);
        ScopedPic ours, peer;
        ASSERT_EQ(_Pic_Read(dng.c_str(), ours.get(), 0, 0), 1);
        ASSERT_TRUE(dcraw_emu(dng, peer));
        EXPECT_EQ(ours->bits, 24);
        const bool turned = zarn::orientation_swaps_sides(orientation);
        EXPECT_EQ(ours->width, turned ? 48 : 64);
        EXPECT_EQ(ours->height, turned ? 64 : 48);
        EXPECT_LE(largest_difference(rgb_rows(*ours), rgb_rows(*peer)), 1);
        EXPECT_STREQ(ours->description, turned ? "RAW : 48x64 Zarn Test Camera" : "RAW : 64x48 Zarn Test Camera");
    }

    // Kept as stored, the turned file comes out as the mosaic lies.
    zarn::set_keep_stored_orientation(true);
    const std::string dng = write_dng("kept.dng", with_preview(6));
    ScopedPic kept, peer;
    const int read = _Pic_Read(dng.c_str(), kept.get(), 0, 0);
    zarn::set_keep_stored_orientation(false);
    ASSERT_EQ(read, 1);
    EXPECT_EQ(kept->width, 64);
    EXPECT_EQ(kept->height, 48);
}

TEST_F(RawModule, PreviewIsTheEmbeddedPictureUpright)
{
    // Stored red top left: turned a quarter clockwise, red is top right.
    int32_t full_width = 0, full_height = 0;
    const std::string turned = write_dng("turned.dng", with_preview(6));
    ScopedPic preview;
    ASSERT_EQ(_Pic_ReadPreview(turned.c_str(), preview.get(), &full_width, &full_height), 1);
    EXPECT_EQ(full_width, 48);
    EXPECT_EQ(full_height, 64);
    ASSERT_EQ(preview->bits, 24);
    ASSERT_EQ(preview->width, 12);
    ASSERT_EQ(preview->height, 16);
    EXPECT_EQ(pixel(*preview, 11, 0), (Bytes{250, 0, 0}));
    EXPECT_EQ(pixel(*preview, 0, 0), (Bytes{0, 0, 250}));
    EXPECT_EQ(pixel(*preview, 0, 15), (Bytes{250, 250, 250}));
    EXPECT_STREQ(preview->description, "RAW : 48x64 Zarn Test Camera");

    // A JPEG preview, written by our own JPEG writer, read by our reader.
    ScopedPic source;
    source.set(16, 12, 24, solid(16, 12, {30, 200, 90}));
    std::string jpeg_name = temp_path("preview.jpg");
    jpeg_name.resize(jpeg_name.size() + 8, '\0');
    ASSERT_NE(_Pic_Write(jpeg_name.data(), source.get(), 2, 95), 0);
    DngPicture with_jpeg;
    with_jpeg.preview_jpeg = read_file(jpeg_name.c_str());
    const std::string dng = write_dng("jpeg.dng", with_jpeg);
    ScopedPic from_jpeg;
    ASSERT_EQ(_Pic_ReadPreview(dng.c_str(), from_jpeg.get(), &full_width, &full_height), 1);
    EXPECT_EQ(full_width, 64);
    EXPECT_EQ(full_height, 48);
    ASSERT_EQ(from_jpeg->width, 16);
    EXPECT_LE(largest_difference(rgb_rows(*from_jpeg), solid(16, 12, {30, 200, 90})), 4);

    // No preview, and no RAW file at all: nothing.
    const std::string bare = write_dng("bare.dng", DngPicture{});
    ScopedPic none;
    EXPECT_EQ(_Pic_ReadPreview(bare.c_str(), none.get(), &full_width, &full_height), 0);
    EXPECT_EQ(none->pixels, nullptr);
    const std::string bmp = write_picture("plain.bmp", 8, 8);
    EXPECT_EQ(_Pic_ReadPreview(bmp.c_str(), none.get(), &full_width, &full_height), 0);
}

TEST_F(RawModule, DetectionAndDamage)
{
    const std::string raf = temp_path("camera.raf");
    Bytes fuji(4096, 0);
    std::memcpy(fuji.data(), "FUJIFILMCCD-RAW 0201", 20);
    write_file(raf, fuji);
    EXPECT_EQ(_Pic_Valid(raf.c_str()), 16);
    const std::string texture = temp_path("floor.raf");
    write_file(texture, Bytes(65536, 7));
    EXPECT_EQ(_Pic_Valid(texture.c_str()), 11);
    ScopedPic not_raw;
    EXPECT_EQ(_Pic_Read(raf.c_str(), not_raw.get(), 0, 0), 0);

    // Cut anywhere, or with bytes spoilt, a file is refused or read whole:
    // never a crash, never a picture without pixels.
    const Bytes whole = make_dng(with_preview(6));
    for (std::size_t length :
         {std::size_t(8), std::size_t(60), std::size_t(300), std::size_t(900), whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(length);
        const std::string path = temp_path("cut.dng");
        write_file(path, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(length)));
        ScopedPic pic, preview;
        int32_t full_width = 0, full_height = 0;
        const int read = _Pic_Read(path.c_str(), pic.get(), 0, 0);
        EXPECT_EQ(pic->pixels != nullptr, read == 1);
        const int previewed = _Pic_ReadPreview(path.c_str(), preview.get(), &full_width, &full_height);
        EXPECT_EQ(preview->pixels != nullptr, previewed == 1);
    }
    // The stream reader the fuzz target drives, on a spoilt header.
    Bytes spoilt = whole;
    for (std::size_t at = 10; at < 200; at += 7) spoilt[at] = 0xFF;
    const std::string path = temp_path("spoilt.dng");
    write_file(path, spoilt);
    const zarn::FilePtr stream{std::fopen(path.c_str(), "rb")};
    ScopedPic pic;
    const int read = zarn::raw::read_raw_stream(stream.get(), pic.get());
    EXPECT_EQ(pic->pixels != nullptr, read == 1);
}

}  // namespace
