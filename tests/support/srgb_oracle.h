// Test profiles and lcms2's own conversion to sRGB, the oracle for readers that honour embedded profiles.
#pragma once

#include "colour_profile.h"
#include "test_support.h"

#include <lcms2.h>

namespace zarn::test {

inline Bytes adobe_rgb_profile()
{
    return zarn::profile_from_gamma({0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06}, 2.2, "Adobe RGB (1998)");
}

// A grey profile with a pure 1.8 curve.
inline Bytes grey_profile()
{
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8);
    cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsFreeToneCurve(curve);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// A CMYK profile whose inks are the complements of sRGB, black darkening twice as fast as a naive reading has it.
inline Bytes cmyk_profile()
{
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM to_lab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_PERCEPTUAL, 0);
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        table,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* transform) -> cmsInt32Number {
            const double black = (1.0 - in[3] / 65535.0) * (1.0 - in[3] / 65535.0);
            const double rgb[3] = {(1.0 - in[0] / 65535.0) * black, (1.0 - in[1] / 65535.0) * black,
                                   (1.0 - in[2] / 65535.0) * black};
            cmsCIELab lab_value;
            cmsDoTransform(transform, rgb, &lab_value, 1);
            cmsFloat2LabEncoded(out, &lab_value);
            return 1;
        },
        to_lab, 0);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, table);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsMLU* name = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(name, "en", "US", "Plain inks");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, name);
    cmsMLUfree(name);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsPipelineFree(pipeline);
    cmsCloseProfile(profile);
    cmsDeleteTransform(to_lab);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    return bytes;
}

// `pixels` (3 bytes each for RGB, 1 for grey, 4 for CMYK with 0 no ink)
// from `icc` to 8-bit sRGB, perceptual, by lcms2 alone.
inline Bytes lcms_to_srgb(const Bytes& icc, const Bytes& pixels, cmsUInt32Number format = TYPE_RGB_8)
{
    cmsHPROFILE source = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(source, format, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    const std::size_t count = pixels.size() / T_BYTES(format) / (T_CHANNELS(format) + T_EXTRA(format));
    Bytes out(3 * count);
    if (transform) cmsDoTransform(transform, pixels.data(), out.data(), cmsUInt32Number(count));
    if (transform) cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    if (source) cmsCloseProfile(source);
    return out;
}

// `rows` of RGB pixels the same way; the rows unchanged when the profile
// cannot be opened.
inline Rows lcms_to_srgb(const Rows& rows, const Bytes& icc)
{
    cmsHPROFILE source = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    if (!source) return rows;
    cmsCloseProfile(source);
    Bytes pixels;
    for (const Bytes& row : rows) pixels.insert(pixels.end(), row.begin(), row.end());
    const Bytes converted = lcms_to_srgb(icc, pixels);
    Rows out;
    std::size_t at = 0;
    for (const Bytes& row : rows) {
        out.emplace_back(converted.begin() + std::ptrdiff_t(at), converted.begin() + std::ptrdiff_t(at + row.size()));
        at += row.size();
    }
    return out;
}

// A profile whose header and tag table hold but whose tags are garbage:
// containers take it, lcms2 can make nothing of it.
inline Bytes broken(Bytes icc)
{
    const std::size_t tags = icc.size() >= 132 ? (std::size_t(icc[130]) << 8 | icc[131]) : 0;
    for (std::size_t i = 132 + 12 * tags; i < icc.size(); ++i) icc[i] = std::uint8_t(0xA5 ^ i);
    return icc;
}

}  // namespace zarn::test
