// JPEG files with an Exif orientation read upright, as ImageMagick's -auto-orient turns them.
#include "codecs.h"
#include "exif.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace zarn::test;
using zarn::exif_orientation;
using zarn::read_jpeg;

namespace {

constexpr int kWidth = 40, kHeight = 24;

// The TIFF part of an Exif segment: header, then IFD0 with the one
// orientation entry at offset 8, in either byte order.
Bytes tiff_with_orientation(int orientation, bool big_endian, std::uint16_t type = 3, std::uint32_t count = 1)
{
    Bytes tiff = big_endian ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
    auto u16 = [&](unsigned v) {
        tiff.push_back(std::uint8_t(big_endian ? v >> 8 : v));
        tiff.push_back(std::uint8_t(big_endian ? v : v >> 8));
    };
    auto u32 = [&](std::uint32_t v) {
        u16(big_endian ? v >> 16 : v & 0xFFFF);
        u16(big_endian ? v & 0xFFFF : v >> 16);
    };
    u16(42);
    u32(8);  // IFD0
    u16(1);  // one entry
    u16(0x0112), u16(type), u32(count), u16(unsigned(orientation)), u16(0);
    u32(0);  // no next IFD
    return tiff;
}

Bytes exif_data(const Bytes& tiff)
{
    Bytes data{'E', 'x', 'i', 'f', 0, 0};
    data.insert(data.end(), tiff.begin(), tiff.end());
    return data;
}

// `jpeg` with an APP1 segment of `data` right after its start marker.
Bytes with_app1(Bytes jpeg, const Bytes& data)
{
    const std::size_t length = data.size() + 2;
    Bytes segment{0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length)};
    segment.insert(segment.end(), data.begin(), data.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

// Smooth, and different along each axis and in each direction.
Rows picture()
{
    Rows rows(kHeight, Bytes(kWidth * 3));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            auto* p = &rows[std::size_t(y)][std::size_t(x) * 3];
            p[0] = std::uint8_t(x * 6);
            p[1] = std::uint8_t(y * 10);
            p[2] = std::uint8_t(250 - x * 2 - y * 3);
        }
    return rows;
}

class JpegOrientation : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_image_magick()) GTEST_SKIP() << "ImageMagick not installed";
        const std::string source = temp_path("source.ppm");
        write_file(source, ppm(picture(), kWidth));
        for (const bool grey : {false, true}) {
            const std::string path = temp_path(grey ? "grey.jpg" : "colour.jpg");
            const char* space = grey ? "Gray" : "sRGB";
            ASSERT_EQ(run_tool({"convert", source, "-quality", "90", "-colorspace", space, path}).status, 0);
            plain_[grey] = read_file(path);
        }
    }
    Bytes plain_[2];  // colour, grey
};

TEST_F(JpegOrientation, EveryOrientationReadsAsImageMagickTurnsIt)
{
    const char* const names[] = {"TopLeft", "TopRight", "BottomRight", "BottomLeft",
                                 "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
    for (const bool grey : {false, true})
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const std::string label = (grey ? "grey " : "colour ") + std::to_string(orientation);
            const std::string path = temp_path("oriented.jpg");
            const bool big_endian = orientation % 2 == 0;
            write_file(path, with_app1(plain_[grey], exif_data(tiff_with_orientation(orientation, big_endian))));
            const ToolRun seen = run_tool({"identify", "-format", "%[orientation]", path});
            ASSERT_EQ(std::string(seen.output.begin(), seen.output.end()), names[orientation - 1]) << label;
            const auto expected = decode({"convert", path, "-auto-orient", "ppm:-"});
            ASSERT_TRUE(expected) << label;

            ScopedPic pic;
            ASSERT_EQ(read_jpeg(path.c_str(), pic.get(), 0), 1) << label;
            const bool sideways = orientation >= 5;
            EXPECT_EQ(pic->width, sideways ? kHeight : kWidth) << label;
            EXPECT_EQ(pic->height, sideways ? kWidth : kHeight) << label;
            EXPECT_EQ(pic->bits, grey ? 8 : 24) << label;
            EXPECT_LE(largest_difference(rgb_rows(*pic), expected->rgb), 1) << label;
            const std::string size = sideways ? "24x40" : "40x24";
            EXPECT_EQ(std::string(pic->description).find("Jpeg : " + size + " (100%)"), 0u) << pic->description;
        }
}

TEST_F(JpegOrientation, KeptOrientationReadsTheStoredPixels)
{
    const std::string plain = temp_path("plain.jpg"), turned = temp_path("turned.jpg");
    write_file(plain, plain_[false]);
    write_file(turned, with_app1(plain_[false], exif_data(tiff_with_orientation(7, false))));
    ScopedPic stored, kept;
    ASSERT_EQ(read_jpeg(plain.c_str(), stored.get(), 0), 1);
    zarn::set_keep_stored_orientation(true);
    const int result = read_jpeg(turned.c_str(), kept.get(), 0);
    zarn::set_keep_stored_orientation(false);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(kept->width, kWidth);
    EXPECT_EQ(pixel_rows(*kept), pixel_rows(*stored));
}

// Anything that does not add up is orientation 1: the picture as stored.
TEST_F(JpegOrientation, InconsistentExifReadsAsStored)
{
    Bytes outside = tiff_with_orientation(6, false);
    put_u32(outside, 4, 0xFFFFFFF0u);  // IFD0 far past the segment
    Bytes too_many = tiff_with_orientation(6, false);
    put_u16(too_many, 8, 2);  // a second entry the segment does not hold
    Bytes truncated = tiff_with_orientation(6, true);
    truncated.resize(14);  // the entry cut off mid-way
    const Bytes hostile[] = {outside,
                             too_many,
                             truncated,
                             tiff_with_orientation(6, false, 4),    // a LONG
                             tiff_with_orientation(6, true, 3, 2),  // two values
                             tiff_with_orientation(9, false),       // no such orientation
                             Bytes{'I', 'I', 42}};                  // no room for the header
    for (const Bytes& tiff : hostile) EXPECT_EQ(exif_orientation(exif_data(tiff)), 1);
    EXPECT_EQ(exif_orientation(tiff_with_orientation(6, false)), 1) << "no Exif header";

    const std::string plain = temp_path("plain.jpg"), path = temp_path("hostile.jpg");
    write_file(plain, plain_[false]);
    write_file(path, with_app1(plain_[false], exif_data(outside)));
    ScopedPic stored, pic;
    ASSERT_EQ(read_jpeg(plain.c_str(), stored.get(), 0), 1);
    ASSERT_EQ(read_jpeg(path.c_str(), pic.get(), 0), 1);
    EXPECT_EQ(pixel_rows(*pic), pixel_rows(*stored));

    // Another APP1 segment (XMP) ahead of the Exif one does not hide it.
    const Bytes xmp{'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd', 'o', 'b', 'e', '.', 'c', 'o', 'm', 0};
    write_file(path, with_app1(with_app1(plain_[false], exif_data(tiff_with_orientation(6, true))), xmp));
    ScopedPic turned;
    ASSERT_EQ(read_jpeg(path.c_str(), turned.get(), 0), 1);
    EXPECT_EQ(turned->width, kHeight);
}

}  // namespace
