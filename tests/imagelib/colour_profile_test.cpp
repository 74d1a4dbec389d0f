// Embedded colour profiles: which transforms are made, and JPEG pictures turned into sRGB as lcms2 turns them.
#include "codecs.h"
#include "colour_profile.h"
#include "record.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <lcms2.h>
#include <string>
#include <vector>

#include <jpeglib.h>

using namespace zarn::test;
using zarn::ProfileInput;
using zarn::SrgbTransform;

namespace {

Bytes saved(cmsHPROFILE profile, const char* name = nullptr)
{
    if (name) {
        cmsMLU* text = cmsMLUalloc(nullptr, 1);
        cmsMLUsetASCII(text, "en", "US", name);
        cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
        cmsMLUfree(text);
    }
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

Bytes adobe_rgb()
{
    return zarn::profile_from_gamma({.3127, .3290, .64, .33, .21, .71, .15, .06}, 2.2, "Adobe RGB (1998)");
}

Bytes grey_profile(double gamma)
{
    cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
    const Bytes bytes = saved(cmsCreateGrayProfile(cmsD50_xyY(), curve), "Grey gamma");
    cmsFreeToneCurve(curve);
    return bytes;
}

// A printer-like CMYK profile: a grid from ink to Lab, each ink taking away
// its share of red, green or blue, with dot gain. At 11 points a side it is
// too big for one JPEG segment.
Bytes cmyk_profile()
{
    static cmsHTRANSFORM to_lab = [] {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
        cmsHTRANSFORM transform =
            cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
        cmsCloseProfile(srgb);
        cmsCloseProfile(lab);
        return transform;
    }();
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 11, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        grid,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void*) -> cmsInt32Number {
            double rgb[3], ink[4];
            for (int i = 0; i < 4; ++i) ink[i] = std::pow(in[i] / 65535.0, 0.8);
            for (int i = 0; i < 3; ++i) rgb[i] = (1 - ink[i]) * (1 - ink[3]);
            cmsCIELab lab;
            cmsDoTransform(to_lab, rgb, &lab, 1);
            cmsFloat2LabEncodedV2(out, &lab);
            return 1;
        },
        nullptr, 0);
    cmsPipelineInsertStage(lut, cmsAT_BEGIN, grid);
    cmsWriteTag(profile, cmsSigAToB0Tag, lut);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(lut);
    return saved(profile, "Test press");
}

// `pixels` bytes through lcms2 from `icc` to sRGB (grey: to grey with sRGB's tone curve), perceptual.
Bytes lcms_to_srgb(const Bytes& icc, cmsUInt32Number in_format, const Bytes& pixels, std::size_t count)
{
    cmsHPROFILE source = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    const bool grey = in_format == TYPE_GRAY_8;
    const cmsFloat64Number srgb_tone[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, srgb_tone);
    cmsHPROFILE target = grey ? cmsCreateGrayProfile(cmsD50_xyY(), tone) : cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform =
        cmsCreateTransform(source, in_format, target, grey ? TYPE_GRAY_8 : TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    Bytes out(count * (grey ? 1 : 3));
    cmsDoTransform(transform, pixels.data(), out.data(), cmsUInt32Number(count));
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(target);
    cmsFreeToneCurve(tone);
    return out;
}

// A JPEG of raw components (1 grey, 3 RGB, 4 CMYK with Adobe's marker, as
// libjpeg writes it) carrying `icc`, which libjpeg splits into segments.
std::string write_tagged(const std::string& name, int width, int height, int components, const Bytes& pixels,
                         const Bytes& icc)
{
    const std::string path = temp_path(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 92, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (!icc.empty()) jpeg_write_icc_profile(&cinfo, icc.data(), unsigned(icc.size()));
    for (int y = 0; y < height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + std::size_t(y) * std::size_t(width * components));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
    return path;
}

// The components as libjpeg decodes them, at 1/denominator of the size.
Bytes decode_raw(const std::string& path, unsigned denominator = 1)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.num_components == 4) cinfo.out_color_space = JCS_CMYK;
    cinfo.scale_denom = denominator;
    jpeg_start_decompress(&cinfo);
    const std::size_t row = std::size_t(cinfo.output_width) * std::size_t(cinfo.output_components);
    Bytes out(row * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW at = out.data() + row * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &at, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return out;
}

Bytes record_bytes(const PicImage& pic)
{
    const std::size_t bytes = std::size_t(pic.width) * std::size_t(pic.height) * (pic.bits == 24 ? 3 : 1);
    return Bytes(pic.pixels, pic.pixels + bytes);
}

int largest_gap(const Bytes& a, const Bytes& b)
{
    if (a.size() != b.size()) return 1000;
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i) largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    return largest;
}

// Saturated colours in every corner, with seeded grain between.
Bytes photo(int width, int height, int components)
{
    Bytes out(std::size_t(width) * std::size_t(height) * std::size_t(components));
    unsigned seed = 7;
    for (std::size_t i = 0; i < out.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t pixel = i / std::size_t(components), c = i % std::size_t(components);
        const std::size_t x = pixel % std::size_t(width), y = pixel / std::size_t(width);
        const std::size_t ramp = c % 2 ? x * 255 / std::size_t(width) : y * 255 / std::size_t(height);
        out[i] = std::uint8_t(std::min<std::size_t>(255, ramp + (seed >> 28)));
    }
    return out;
}

bool ends_with(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(ColourProfile, TransformsOnlyForUsableProfilesThatChangeSomething)
{
    const Bytes adobe = adobe_rgb();
    const SrgbTransform wide = SrgbTransform::from_icc(adobe, ProfileInput::Rgb);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide.name(), "Adobe RGB (1998)");
    EXPECT_FALSE(SrgbTransform::from_icc(saved(cmsCreate_sRGBProfile()), ProfileInput::Rgb));
    EXPECT_FALSE(SrgbTransform::from_icc(adobe, ProfileInput::Cmyk));
    EXPECT_FALSE(SrgbTransform::from_icc(adobe, ProfileInput::Grey));
    EXPECT_TRUE(zarn::profile_from_cicp(1, 13).empty());
    EXPECT_TRUE(SrgbTransform::from_icc(zarn::profile_from_cicp(12, 13), ProfileInput::Rgb));
    EXPECT_TRUE(SrgbTransform::from_icc(cmyk_profile(), ProfileInput::InvertedCmyk));
}

// Whole reads, scaled reads, and a picture big enough to convert on several threads.
TEST(ColourProfile, WideGamutJpegReadsAsLcmsConvertsIt)
{
    const Bytes adobe = adobe_rgb();
    struct Case {
        int width, height, scale;
        unsigned denominator;
        const char* threads;
    };
    for (const Case c : {Case{64, 48, 0, 1, "1"}, Case{64, 48, 2, 4, "1"}, Case{1024, 1040, 0, 1, "2"}}) {
        const ScopedEnv threads("ZARN_THREADS", c.threads);
        const std::string path = write_tagged("adobe.jpg", c.width, c.height, 3, photo(c.width, c.height, 3), adobe);
        ScopedPic pic;
        ASSERT_EQ(zarn::read_jpeg(path.c_str(), pic.get(), c.scale), 1);
        ASSERT_EQ(pic->bits, 24);
        const std::size_t pixels = std::size_t(pic->width) * std::size_t(pic->height);
        const Bytes expected = lcms_to_srgb(adobe, TYPE_RGB_8, decode_raw(path, c.denominator), pixels);
        EXPECT_LE(largest_gap(record_bytes(*pic), expected), 2) << c.width << " scale " << c.scale;
        EXPECT_TRUE(ends_with(pic->description, "- 24bit - Adobe RGB (1998)")) << pic->description;
    }
}

// An sRGB profile, and every profile that cannot be used, leave the file read as if untagged.
TEST(ColourProfile, UselessProfilesReadAsUntagged)
{
    const Bytes pixels = photo(40, 30, 3);
    ScopedPic untagged;
    ASSERT_EQ(zarn::read_jpeg(write_tagged("plain.jpg", 40, 30, 3, pixels, {}).c_str(), untagged.get(), 0), 1);
    Bytes garbage(3000);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = std::uint8_t(i * 131 + 7);
    const Bytes adobe = adobe_rgb();
    const std::vector<Bytes> profiles{saved(cmsCreate_sRGBProfile()), garbage, Bytes(adobe.begin(), adobe.end() - 40),
                                      cmyk_profile(), grey_profile(1.0)};
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        ScopedPic tagged;
        ASSERT_EQ(zarn::read_jpeg(write_tagged("tagged.jpg", 40, 30, 3, pixels, profiles[i]).c_str(), tagged.get(), 0),
                  1);
        EXPECT_EQ(record_bytes(*tagged), record_bytes(*untagged)) << i;
        EXPECT_STREQ(tagged->description, untagged->description) << i;
    }
}

TEST(ColourProfile, KeepingStoredColoursLeavesPixelsAlone)
{
    const std::string path = write_tagged("adobe.jpg", 40, 30, 3, photo(40, 30, 3), adobe_rgb());
    zarn::set_keep_stored_colours(true);
    ScopedPic pic;
    const int result = zarn::read_jpeg(path.c_str(), pic.get(), 0);
    zarn::set_keep_stored_colours(false);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(record_bytes(*pic), decode_raw(path));
    EXPECT_STREQ(pic->description, "Jpeg : 40x30 (100%) - 24bit");
}

TEST(ColourProfile, GreyJpegStaysAGreyPaletteThroughItsProfile)
{
    const Bytes linear = grey_profile(1.0);
    const std::string path = write_tagged("grey.jpg", 40, 30, 1, photo(40, 30, 1), linear);
    ScopedPic pic;
    ASSERT_EQ(zarn::read_jpeg(path.c_str(), pic.get(), 0), 1);
    ASSERT_EQ(pic->bits, 8);
    EXPECT_TRUE(zarn::record_is_grey(pic.get()));
    EXPECT_EQ(record_bytes(*pic), decode_raw(path));
    Bytes levels(256), palette(256);
    for (std::size_t i = 0; i < 256; ++i) levels[i] = std::uint8_t(i), palette[i] = pic->palette[3 * i];
    EXPECT_LE(largest_gap(palette, lcms_to_srgb(linear, TYPE_GRAY_8, levels, 256)), 2);
    EXPECT_GT(palette[64], 120) << "linear light comes out brighter";
    EXPECT_TRUE(ends_with(pic->description, "- 256 Greyscale - Grey gamma")) << pic->description;
}

TEST(ColourProfile, CmykJpegGoesThroughItsProfile)
{
    const Bytes press = cmyk_profile();
    const std::string path = write_tagged("cmyk.jpg", 40, 30, 4, photo(40, 30, 4), press);
    ScopedPic pic;
    ASSERT_EQ(zarn::read_jpeg(path.c_str(), pic.get(), 0), 1);
    ASSERT_EQ(pic->bits, 24);
    EXPECT_LE(largest_gap(record_bytes(*pic), lcms_to_srgb(press, TYPE_CMYK_8_REV, decode_raw(path), 40 * 30)), 2);
    EXPECT_TRUE(ends_with(pic->description, "- 24bit - Test press")) << pic->description;
}

}  // namespace
