// The TIFF module's embedded profiles, RGB, grey, palette and CMYK, against lcms2's own conversion.
#include "srgb_oracle.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <tiffio.h>

using namespace zarn::test;

namespace {

// An 8-bit TIFF of `samples` (`channels` a pixel, `width` pixels a row) with `icc` embedded when given.
std::string write_tiff(const std::string& name, std::uint16_t photometric, std::uint16_t channels, std::uint32_t width,
                       const Bytes& samples, const Bytes& icc, const Bytes& palette = {})
{
    const std::string path = temp_path(name);
    TIFF* out = TIFFOpen(path.c_str(), "w");
    const auto height = std::uint32_t(samples.size() / (std::size_t(width) * channels));
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, height);
    if (!icc.empty()) TIFFSetField(out, TIFFTAG_ICCPROFILE, std::uint32_t(icc.size()), icc.data());
    std::vector<std::uint16_t> map[3];
    if (!palette.empty()) {
        for (std::size_t i = 0; i < 256; ++i)
            for (std::size_t c = 0; c < 3; ++c)
                map[c].push_back(std::uint16_t(i * 3 < palette.size() ? palette[i * 3 + c] * 257 : 0));
        TIFFSetField(out, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
    }
    TIFFWriteEncodedStrip(out, 0, const_cast<std::uint8_t*>(samples.data()), tmsize_t(samples.size()));
    TIFFClose(out);
    return path;
}

struct Read {
    Bytes pixels;  // as RGB
    std::string description;
};

Read read(const std::string& path)
{
    ScopedPic pic;
    if (_Pic_Read(path.c_str(), pic.get(), 0, 0) != 1) return {};
    Bytes pixels;
    for (const Bytes& row : rgb_rows(*pic)) pixels.insert(pixels.end(), row.begin(), row.end());
    return {pixels, pic->description};
}

int gap(const Bytes& a, const Bytes& b)
{
    return largest_difference(Rows{a}, Rows{b});
}

const Bytes kRgb = noise_rows(48, 1, 1, 3)[0];  // 16 pixels of RGB

TEST(TiffColours, ProfilesOfEveryKindTurnIntoSrgb)
{
    const Bytes adobe = adobe_rgb_profile();
    const Read rgb = read(write_tiff("adobe.tif", PHOTOMETRIC_RGB, 3, 8, kRgb, adobe));
    EXPECT_LE(gap(rgb.pixels, lcms_to_srgb(adobe, kRgb)), 2);
    EXPECT_NE(rgb.pixels, kRgb);
    EXPECT_EQ(rgb.description, "TIFF : 8x2 - 24bit - Adobe RGB (1998)");

    const Bytes greys{0, 30, 90, 128, 200, 255};
    const Read grey = read(write_tiff("grey.tif", PHOTOMETRIC_MINISBLACK, 1, 6, greys, grey_profile()));
    EXPECT_LE(gap(grey.pixels, lcms_to_srgb(grey_profile(), greys, TYPE_GRAY_8)), 2);

    const Bytes palette{255, 0, 0, 0, 200, 0, 20, 40, 230};
    const Read indexed = read(write_tiff("palette.tif", PHOTOMETRIC_PALETTE, 1, 3, {0, 1, 2}, adobe, palette));
    EXPECT_LE(gap(indexed.pixels, lcms_to_srgb(adobe, palette)), 2);

    const Bytes cmyk = cmyk_profile();
    const Bytes inks = noise_rows(64, 1, 1, 5)[0];
    const Read printed = read(write_tiff("cmyk.tif", PHOTOMETRIC_SEPARATED, 4, 8, inks, cmyk));
    EXPECT_LE(gap(printed.pixels, lcms_to_srgb(cmyk, inks, TYPE_CMYK_8)), 2);
    EXPECT_EQ(printed.description, "TIFF : 8x2 - 24bit - Plain inks");
}

TEST(TiffColours, BrokenOrKeptProfilesLeaveThePixels)
{
    const Read broken_profile =
        read(write_tiff("broken.tif", PHOTOMETRIC_RGB, 3, 8, kRgb, broken(adobe_rgb_profile())));
    EXPECT_EQ(broken_profile.pixels, kRgb);
    EXPECT_EQ(broken_profile.description, "TIFF : 8x2 - 24bit");

    const std::string cmyk = write_tiff("cmyk.tif", PHOTOMETRIC_SEPARATED, 4, 1, {0, 0, 0, 128, 255, 0, 0, 64}, {});
    const Read untagged = read(cmyk);
    const ScopedEnv keep("ZARN_KEEP_COLOURS", "1");
    EXPECT_EQ(read(write_tiff("adobe.tif", PHOTOMETRIC_RGB, 3, 8, kRgb, adobe_rgb_profile())).pixels, kRgb);
    EXPECT_EQ(read(write_tiff("tagged.tif", PHOTOMETRIC_SEPARATED, 4, 1, {0, 0, 0, 128, 255, 0, 0, 64}, cmyk_profile()))
                  .pixels,
              untagged.pixels);
}

}  // namespace
