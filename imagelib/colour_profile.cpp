// Colour profiles through lcms2: a transform from an embedded profile to sRGB, profiles built from
// chromaticities, and the conversion of a whole record.
#include "colour_profile.h"

#include "shared_rules.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace zarn {

// An RGB profile's primaries and tone curves against sRGB's: each channel to
// linear light by a table, the matrix to sRGB's linear light, clipped, and
// sRGB's curve by a table of kSteps + 1 entries, as lcms2 does it for such
// profiles but without its per-pixel calls.
struct RgbShortcut {
    static constexpr float kSteps = 16383.0f;
    std::array<std::array<float, 256>, 3> linear;
    std::array<float, 9> matrix;
    std::array<unsigned char, 16384> encoded;

    // Branch-free, with everything it reads in locals: `out` may alias them.
    void run(const unsigned char* in, unsigned char* out, std::size_t pixels) const
    {
        const float* red = linear[0].data();
        const float* green = linear[1].data();
        const float* blue = linear[2].data();
        const std::array<float, 9> m = matrix;
        const unsigned char* table = encoded.data();
        // Clipped as a whole number, which compiles to conditional moves;
        // the matrix keeps a value within a few times 0..1.
        const auto encode = [table](float v) {
            const int step = static_cast<int>(v * kSteps + 0.5f);
            return table[static_cast<unsigned>(std::clamp(step, 0, static_cast<int>(kSteps)))];
        };
        for (std::size_t i = 0; i < pixels; ++i, in += 3, out += 3) {
            const float r = red[in[0]], g = green[in[1]], b = blue[in[2]];
            const unsigned char r_out = encode(m[0] * r + m[1] * g + m[2] * b);
            const unsigned char g_out = encode(m[3] * r + m[4] * g + m[5] * b);
            const unsigned char b_out = encode(m[6] * r + m[7] * g + m[8] * b);
            out[0] = r_out;
            out[1] = g_out;
            out[2] = b_out;
        }
    }
};

namespace {

std::atomic<bool> keep_colours{false};

// Below this many pixels a conversion runs on the calling thread alone; the
// slower ones through lcms2 (CMYK, profiles of tables) share out smaller parts.
constexpr std::size_t kPixelsPerThread = 1u << 19;
constexpr std::size_t kLcmsPixelsPerThread = 1u << 16;

struct ProfileCloser {
    void operator()(void* profile) const
    {
        if (profile) cmsCloseProfile(profile);
    }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;

struct CurveFreer {
    void operator()(cmsToneCurve* curve) const
    {
        if (curve) cmsFreeToneCurve(curve);
    }
};
using CurvePtr = std::unique_ptr<cmsToneCurve, CurveFreer>;

// sRGB's piecewise tone curve, lcms2's parametric type 4.
CurvePtr srgb_curve()
{
    const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    return CurvePtr(cmsBuildParametricToneCurve(nullptr, 4, parameters));
}

// The destination for `input`: sRGB, or for grey pixels a grey space with sRGB's curve.
ProfilePtr destination_for(ProfileInput input)
{
    if (input != ProfileInput::Grey) return ProfilePtr(cmsCreate_sRGBProfile());
    const CurvePtr curve = srgb_curve();
    return curve ? ProfilePtr(cmsCreateGrayProfile(cmsD50_xyY(), curve.get())) : nullptr;
}

cmsUInt32Number lcms_format(ProfileInput input)
{
    switch (input) {
    case ProfileInput::Rgb: return TYPE_RGB_8;
    case ProfileInput::Grey: return TYPE_GRAY_8;
    case ProfileInput::Cmyk: return TYPE_CMYK_8;
    case ProfileInput::InvertedCmyk: return TYPE_CMYK_8_REV;
    }
    return TYPE_RGB_8;
}

// The signatures are whatever four bytes the file holds, most of them no
// value of lcms2's enumerations, so they are compared as numbers.
bool profile_suits(cmsHPROFILE profile, ProfileInput input)
{
    const auto kind = static_cast<std::uint32_t>(cmsGetDeviceClass(profile));
    for (const cmsProfileClassSignature unusable : {cmsSigLinkClass, cmsSigAbstractClass, cmsSigNamedColorClass})
        if (kind == static_cast<std::uint32_t>(unusable)) return false;
    const auto space = static_cast<std::uint32_t>(cmsGetColorSpace(profile));
    switch (input) {
    case ProfileInput::Rgb: return space == static_cast<std::uint32_t>(cmsSigRgbData);
    case ProfileInput::Grey: return space == static_cast<std::uint32_t>(cmsSigGrayData);
    case ProfileInput::Cmyk:
    case ProfileInput::InvertedCmyk: return space == static_cast<std::uint32_t>(cmsSigCmykData);
    }
    return false;
}

std::string description_of(cmsHPROFILE profile)
{
    char text[64] = {};
    if (cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text) == 0) return {};
    std::string name(text, strnlen(text, sizeof text));
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
    return name;
}

// Whether an RGB or grey transform leaves every probe where it was, to one
// level: the profile is sRGB's (or as good as), and nothing need be done.
bool changes_nothing(cmsHTRANSFORM transform, ProfileInput input)
{
    if (input == ProfileInput::Grey) {
        const std::array<unsigned char, 6> probes{0, 32, 96, 160, 224, 255};
        std::array<unsigned char, 6> out{};
        cmsDoTransform(transform, probes.data(), out.data(), probes.size());
        for (std::size_t i = 0; i < probes.size(); ++i)
            if (std::abs(int(out[i]) - int(probes[i])) > 1) return false;
        return true;
    }
    if (input != ProfileInput::Rgb) return false;
    const std::array<unsigned char, 24> probes{0, 0, 0,   255, 255, 255, 255, 0,   0,  0,   255, 0,
                                               0, 0, 255, 200, 120, 40,  30,  160, 90, 128, 128, 128};
    std::array<unsigned char, 24> out{};
    cmsDoTransform(transform, probes.data(), out.data(), probes.size() / 3);
    for (std::size_t i = 0; i < probes.size(); ++i)
        if (std::abs(int(out[i]) - int(probes[i])) > 1) return false;
    return true;
}

// The columns of a matrix-shaper profile's colorants: its RGB to XYZ.
bool colorants(cmsHPROFILE profile, std::array<double, 9>& matrix)
{
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    for (std::size_t c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (!xyz) return false;
        matrix[c] = xyz->X;
        matrix[3 + c] = xyz->Y;
        matrix[6 + c] = xyz->Z;
    }
    return true;
}

bool inverted(const std::array<double, 9>& m, std::array<double, 9>& out)
{
    const double det =
        m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (!(std::abs(det) > 1e-9)) return false;
    out = {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det, (m[1] * m[5] - m[2] * m[4]) / det,
           (m[5] * m[6] - m[3] * m[8]) / det, (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
           (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det, (m[0] * m[4] - m[1] * m[3]) / det};
    return true;
}

// The shortcut for a profile that is nothing but primaries and curves, once
// it has given lcms2's own results, to one level, on a grid of colours;
// null for any other profile.
std::shared_ptr<const RgbShortcut> shortcut_for(cmsHPROFILE source, cmsHTRANSFORM transform)
{
    const cmsTagSignature tables[] = {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag,
                                      cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag};
    if (!cmsIsMatrixShaper(source)) return nullptr;
    for (const cmsTagSignature table : tables)
        if (cmsIsTag(source, table)) return nullptr;
    const ProfilePtr srgb(cmsCreate_sRGBProfile());
    std::array<double, 9> from{}, to{}, to_inverse{};
    if (!srgb || !colorants(source, from) || !colorants(srgb.get(), to) || !inverted(to, to_inverse)) return nullptr;
    auto shortcut = std::make_shared<RgbShortcut>();
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t column = 0; column < 3; ++column) {
            double sum = 0;
            for (std::size_t k = 0; k < 3; ++k) sum += to_inverse[3 * row + k] * from[3 * k + column];
            // Bounded so that a whole number always holds the result.
            if (!(std::abs(sum) < 100.0)) return nullptr;
            shortcut->matrix[3 * row + column] = static_cast<float>(sum);
        }
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (std::size_t c = 0; c < 3; ++c) {
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, curves[c]));
        if (!curve) return nullptr;
        for (std::size_t i = 0; i < 256; ++i) {
            const float value = cmsEvalToneCurveFloat(curve, static_cast<float>(i) / 255.0f);
            if (!std::isfinite(value)) return nullptr;
            shortcut->linear[c][i] = std::clamp(value, 0.0f, 1.0f);
        }
    }
    for (std::size_t i = 0; i < shortcut->encoded.size(); ++i) {
        const double v = double(i) / double(RgbShortcut::kSteps);
        const double encoded = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
        shortcut->encoded[i] = static_cast<unsigned char>(std::lround(std::clamp(encoded, 0.0, 1.0) * 255.0));
    }
    // Every 15th level in each channel, ends included: 18 ^ 3 colours.
    std::vector<unsigned char> probes;
    probes.reserve(18 * 18 * 18 * 3);
    for (unsigned r = 0; r < 256; r += 15)
        for (unsigned g = 0; g < 256; g += 15)
            for (unsigned b = 0; b < 256; b += 15)
                for (const unsigned v : {r, g, b}) probes.push_back(static_cast<unsigned char>(v));
    std::vector<unsigned char> ours(probes.size()), theirs(probes.size());
    shortcut->run(probes.data(), ours.data(), probes.size() / 3);
    cmsDoTransform(transform, probes.data(), theirs.data(), static_cast<cmsUInt32Number>(probes.size() / 3));
    for (std::size_t i = 0; i < probes.size(); ++i)
        if (std::abs(int(ours[i]) - int(theirs[i])) > 1) return nullptr;
    return shortcut;
}

// lcms2's one-pixel cache is off so that threads can share a transform; this
// does its work, which halves the time of a CMYK picture with even areas:
// a run of equal pixels goes through the transform once. Each block of the
// input is read whole before its output is written, so `in` may be `out`
// when the pixel sizes are the same.
void transform_runs(cmsHTRANSFORM transform, const unsigned char* in, unsigned char* out, std::size_t pixels,
                    std::size_t in_size, std::size_t out_size)
{
    constexpr std::size_t kBlock = 2048;
    std::array<unsigned char, kBlock * 4> firsts;
    std::array<unsigned char, kBlock * 3> results;
    std::array<std::uint16_t, kBlock> lengths;
    for (std::size_t done = 0; done < pixels;) {
        const std::size_t count = std::min(kBlock, pixels - done);
        const unsigned char* pixel = in + done * in_size;
        std::size_t runs = 0;
        for (std::size_t i = 0; i < count; ++i, pixel += in_size) {
            if (runs > 0 && std::memcmp(pixel, firsts.data() + (runs - 1) * in_size, in_size) == 0) {
                ++lengths[runs - 1];
                continue;
            }
            std::memcpy(firsts.data() + runs * in_size, pixel, in_size);
            lengths[runs++] = 1;
        }
        cmsDoTransform(transform, firsts.data(), results.data(), static_cast<cmsUInt32Number>(runs));
        unsigned char* to = out + done * out_size;
        for (std::size_t r = 0; r < runs; ++r)
            for (std::size_t k = 0; k < lengths[r]; ++k, to += out_size)
                std::memcpy(to, results.data() + r * out_size, out_size);
        done += count;
    }
}

std::vector<std::uint8_t> saved(cmsHPROFILE profile, const char* name)
{
    if (!profile) return {};
    if (name) {
        cmsMLU* text = cmsMLUalloc(nullptr, 1);
        if (text) {
            cmsMLUsetASCII(text, "en", "US", name);
            cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
            cmsMLUfree(text);
        }
    }
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile, nullptr, &size) || size == 0) return {};
    std::vector<std::uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return {};
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> rgb_profile(const Chromaticities& space, cmsToneCurve* curve, const char* name)
{
    if (!curve || space.white_y <= 0 || space.red_y <= 0 || space.green_y <= 0 || space.blue_y <= 0) return {};
    const cmsCIExyY white{space.white_x, space.white_y, 1.0};
    const cmsCIExyYTRIPLE primaries{
        {space.red_x, space.red_y, 1.0}, {space.green_x, space.green_y, 1.0}, {space.blue_x, space.blue_y, 1.0}};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const ProfilePtr profile(cmsCreateRGBProfile(&white, &primaries, curves));
    return saved(profile.get(), name);
}

// lcms2's parametric type 4 curve for a BT.709-style transfer.
CurvePtr bt709_curve()
{
    const cmsFloat64Number parameters[5] = {1.0 / 0.45, 1.0 / 1.099, 0.099 / 1.099, 1.0 / 4.5, 0.081};
    return CurvePtr(cmsBuildParametricToneCurve(nullptr, 4, parameters));
}

}  // namespace

void set_keep_stored_colours(bool keep)
{
    keep_colours.store(keep, std::memory_order_relaxed);
    if (keep) ::setenv("ZARN_KEEP_COLOURS", "1", 1);
    else ::unsetenv("ZARN_KEEP_COLOURS");
}

bool keep_stored_colours()
{
    if (keep_colours.load(std::memory_order_relaxed)) return true;
    const char* text = std::getenv("ZARN_KEEP_COLOURS");
    return text && text[0] == '1';
}

SrgbTransform SrgbTransform::from_icc(std::span<const std::uint8_t> icc, ProfileInput input)
{
    SrgbTransform result;
    if (icc.size() < 132 || icc.size() > (64u << 20)) return result;
    const ProfilePtr source(cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())));
    if (!source || !profile_suits(source.get(), input)) return result;
    const ProfilePtr destination = destination_for(input);
    if (!destination) return result;
    const cmsUInt32Number out_format = input == ProfileInput::Grey ? TYPE_GRAY_8 : TYPE_RGB_8;
    cmsHTRANSFORM transform = cmsCreateTransform(source.get(), lcms_format(input), destination.get(), out_format,
                                                 INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    if (!transform) return result;
    std::shared_ptr<void> owned(transform, [](void* t) { cmsDeleteTransform(t); });
    if (changes_nothing(transform, input)) return result;
    if (input == ProfileInput::Rgb) result.shortcut_ = shortcut_for(source.get(), transform);
    result.transform_ = std::move(owned);
    result.input_ = input;
    result.name_ = description_of(source.get());
    return result;
}

void SrgbTransform::convert(const unsigned char* in, unsigned char* out, std::size_t pixels) const
{
    if (!transform_ || pixels == 0) return;
    const std::size_t in_size = input_ == ProfileInput::Rgb ? 3 : input_ == ProfileInput::Grey ? 1 : 4;
    const std::size_t out_size = input_ == ProfileInput::Grey ? 1 : 3;
    const std::size_t threads = std::min<std::size_t>(static_cast<std::size_t>(codec_threads()),
                                                      pixels / (shortcut_ ? kPixelsPerThread : kLcmsPixelsPerThread));
    const auto run = [this, in_size, out_size](const unsigned char* from, unsigned char* to, std::size_t count) {
        if (shortcut_) shortcut_->run(from, to, count);
        else transform_runs(transform_.get(), from, to, count, in_size, out_size);
    };
    if (threads <= 1) {
        run(in, out, pixels);
        return;
    }
    const std::size_t share = (pixels + threads - 1) / threads;
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (std::size_t start = 0; start < pixels; start += share) {
        const std::size_t count = std::min(share, pixels - start);
        workers.emplace_back([&run, in, out, start, count, in_size, out_size] {
            run(in + start * in_size, out + start * out_size, count);
        });
    }
    for (std::thread& worker : workers) worker.join();
}

std::vector<std::uint8_t> profile_from_gamma(const Chromaticities& space, double gamma, const char* name)
{
    if (!(gamma > 0.1 && gamma < 10.0)) return {};
    const CurvePtr curve(cmsBuildGamma(nullptr, gamma));
    return rgb_profile(space, curve.get(), name);
}

std::vector<std::uint8_t> profile_from_cicp(int primaries, int transfer)
{
    constexpr double kD65x = 0.3127, kD65y = 0.3290;
    struct Primaries {
        int code;
        Chromaticities space;
        const char* name;
    };
    static constexpr Primaries kPrimaries[] = {
        {1, {kD65x, kD65y, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06}, "sRGB"},
        {2, {kD65x, kD65y, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06}, "sRGB"},
        {9, {kD65x, kD65y, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046}, "BT.2020"},
        {11, {0.314, 0.351, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060}, "DCI-P3"},
        {12, {kD65x, kD65y, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060}, "Display P3"},
        {22, {kD65x, kD65y, 0.630, 0.340, 0.295, 0.605, 0.155, 0.077}, "EBU 3213"},
    };
    const auto* found = std::find_if(std::begin(kPrimaries), std::end(kPrimaries),
                                     [primaries](const Primaries& each) { return each.code == primaries; });
    if (found == std::end(kPrimaries)) return {};
    const Chromaticities space = found->space;
    const char* primaries_name = found->name;
    CurvePtr curve;
    bool srgb_curve_too = false;
    switch (transfer) {
    case 1:
    case 6:
    case 14:
    case 15: curve = bt709_curve(); break;
    case 2:
    case 13:
        curve = srgb_curve();
        srgb_curve_too = true;
        break;
    case 4: curve.reset(cmsBuildGamma(nullptr, 2.2)); break;
    case 5: curve.reset(cmsBuildGamma(nullptr, 2.8)); break;
    case 8: curve.reset(cmsBuildGamma(nullptr, 1.0)); break;
    default: return {};
    }
    if (srgb_curve_too && (primaries == 1 || primaries == 2)) return {};
    return rgb_profile(space, curve.get(), primaries_name);
}

std::string convert_record_to_srgb(PicImage* pic, std::span<const std::uint8_t> icc)
{
    if (!pic || icc.empty() || keep_stored_colours()) return {};
    if (pic->bits == 24) {
        const SrgbTransform transform = SrgbTransform::from_icc(icc, ProfileInput::Rgb);
        if (!transform || !pic->pixels || pic->width <= 0 || pic->height <= 0) return {};
        const std::size_t pixels = std::size_t(pic->width) * std::size_t(pic->height);
        transform.convert(pic->pixels, pic->pixels, pixels);
        return transform.name();
    }
    if (pic->colours <= 0) return {};
    const SrgbTransform grey = record_is_grey(pic) ? SrgbTransform::from_icc(icc, ProfileInput::Grey) : SrgbTransform();
    if (grey) return convert_palette_to_srgb(pic, grey);
    return convert_palette_to_srgb(pic, SrgbTransform::from_icc(icc, ProfileInput::Rgb));
}

std::string convert_palette_to_srgb(PicImage* pic, const SrgbTransform& transform)
{
    const std::size_t entries = pic ? static_cast<std::size_t>(std::clamp(pic->colours, 0, 256)) : 0;
    if (entries == 0 || !transform) return {};
    if (transform.input() == ProfileInput::Grey) {
        std::array<unsigned char, 256> levels{};
        for (std::size_t i = 0; i < entries; ++i) levels[i] = pic->palette[3 * i];
        transform.convert(levels.data(), levels.data(), entries);
        for (std::size_t i = 0; i < entries; ++i) std::memset(pic->palette + 3 * i, levels[i], 3);
    } else if (transform.input() == ProfileInput::Rgb) {
        transform.convert(pic->palette, pic->palette, entries);
    } else {
        return {};
    }
    return transform.name();
}

void describe_colours(PicImage* pic, const std::string& name)
{
    if (!pic || name.empty()) return;
    const std::size_t used = strnlen(pic->description, sizeof pic->description);
    if (used + 3 + name.size() >= sizeof pic->description) return;
    std::memcpy(pic->description + used, " - ", 3);
    std::memcpy(pic->description + used + 3, name.data(), name.size());
    pic->description[used + 3 + name.size()] = '\0';
}

}  // namespace zarn
