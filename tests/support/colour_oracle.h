// lcms2's own conversion of stored pixels to sRGB, the oracle readers' colour conversions are held to.
#pragma once

#include "test_support.h"

#include <lcms2.h>

#include <cstdint>
#include <vector>

namespace zarn::test {

// `rows` of 3-byte RGB pixels from the profile `icc` to sRGB, perceptual, as
// lcms2 does it alone; the rows unchanged when the profile cannot be opened.
inline Rows lcms_to_srgb(const Rows& rows, const std::vector<std::uint8_t>& icc)
{
    cmsHPROFILE source = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform =
        source && srgb ? cmsCreateTransform(source, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0) : nullptr;
    Rows out = rows;
    if (transform)
        for (Bytes& row : out)
            cmsDoTransform(transform, row.data(), row.data(), static_cast<cmsUInt32Number>(row.size() / 3));
    if (transform) cmsDeleteTransform(transform);
    if (source) cmsCloseProfile(source);
    if (srgb) cmsCloseProfile(srgb);
    return out;
}

}  // namespace zarn::test
