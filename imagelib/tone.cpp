// Tone, colour and effect processing of 24-bit images, and the numbered processing entry point.
#include "checked.h"
#include "operations.h"
#include "process_codes.h"
#include "record.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace zarn {
namespace {

using ChannelTable = std::array<std::uint8_t, 256>;

std::size_t row_length(const PicImage* pic)
{
    return 3 * static_cast<std::size_t>(pic->width);
}

// (value - 127) × (contrast + 100) / 100 + 127, clamped. A product beyond 64
// bits is so far out of range that only its sign decides the clamp.
std::uint8_t apply_contrast(std::int64_t value, std::int64_t contrast)
{
    const std::int64_t factor = contrast + 100;
    std::int64_t product = 0;
    if (__builtin_mul_overflow(value - 127, factor, &product)) return ((value - 127 < 0) != (factor < 0)) ? 0 : 255;
    return clamp_channel(product / 100 + 127);
}

// The whole adjustment of one channel as a table of its 256 values; the
// percentages are widened to 64 bits first, so no sum or product of them
// can overflow.
ChannelTable tone_table(int percent, int brightness, int contrast, int low, int high)
{
    ChannelTable table{};
    const std::int64_t change = std::int64_t(percent) + brightness;
    for (int v = 0; v < 256; ++v) {
        if (v < low || v > high) {
            table[std::size_t(v)] = static_cast<std::uint8_t>(v);
            continue;
        }
        const std::int64_t changed = v + v * change / 100;
        table[std::size_t(v)] = contrast ? apply_contrast(changed, contrast) : clamp_channel(changed);
    }
    return table;
}

// Both passes read `in` and write `out`; rows and bytes outside their ranges
// keep the copy's values.
void sharpen_rows(const PicImage* pic, const unsigned char* in, unsigned char* out, double s)
{
    const std::size_t stride = row_length(pic);
    const auto height = static_cast<std::size_t>(pic->height);
    const double k = 0.1 * s;
    const double d = 1.0 - k;
    for (std::size_t row = 1; row + 1 < height; ++row) {
        report_progress(pic, std::int64_t(row), pic->height);
        const unsigned char* above = in + (row - 1) * stride;
        const unsigned char* centre = above + stride;
        const unsigned char* below = centre + stride;
        unsigned char* result = out + row * stride;
        for (std::size_t x = 3; x + 3 < stride; ++x) {
            const int n = above[x - 3] + above[x] + above[x + 3] + centre[x - 3] + centre[x] + centre[x + 3] +
                          below[x - 3] + below[x] + below[x + 3];
            result[x] = clamp_channel(std::trunc((double(centre[x]) - double(n) * k / 9.0) / d + 0.5));
        }
    }
}

// Softening looks two pixels left and right and two rows up and down; at a
// row's ends the left and right neighbours come from the adjacent rows, as
// the block is one unpadded sequence.
void soften_rows(const PicImage* pic, const unsigned char* in, unsigned char* out, double s)
{
    const std::size_t stride = row_length(pic);
    const auto height = static_cast<std::size_t>(pic->height);
    const double d = 32.0 - 4.0 * s;
    for (std::size_t row = 1; row + 1 < height; ++row) {
        report_progress(pic, std::int64_t(row), pic->height);
        if (row < 2 || row + 2 >= height) continue;
        // Indexes count from the start of the row two above, so none is
        // negative: that row starts 2 × stride before this one.
        const unsigned char* from = in + (row - 2) * stride;
        const std::size_t here = 2 * stride;
        unsigned char* result = out + row * stride;
        for (std::size_t x = 3; x + 3 < stride; ++x) {
            const std::size_t p = here + x;
            const unsigned char* centre = from + p;
            const int n = from[p - 2 * stride] + from[p + 2 * stride] + from[p - 6] + from[p + 6];
            result[x] = clamp_channel(std::trunc((32.0 * double(*centre) - double(n) * s) / d + 0.5));
        }
    }
}

bool gradient(PicImage* pic)
{
    const std::size_t stride = row_length(pic);
    const std::int64_t height = pic->height;
    for (std::int64_t row = 0; row < height; ++row) {
        report_progress(pic, row, height);
        const std::int64_t gain = (height - row) * 6400 / (height * 100);
        unsigned char* v = pic->pixels + std::size_t(row) * stride;
        for (std::size_t x = 0; x < stride; ++x) v[x] = clamp_channel(v[x] + gain);
    }
    return true;
}

// Spreads the levels between the darkest and the lightest well-populated
// ones (more than 50 pixels) towards both ends. With no such levels, or
// only one, there is no range to stretch and the image stays as it is.
Outcome stretch_histogram(PicImage* pic)
{
    const std::size_t count = static_cast<std::size_t>(pic->width) * static_cast<std::size_t>(pic->height);
    std::array<std::uint64_t, 256> levels{};
    const unsigned char* rgb = pic->pixels;
    for (std::size_t i = 0; i < count; ++i, rgb += 3) ++levels[(rgb[0] + rgb[1] + rgb[2]) / 3u];

    int low = 255, high = 0;
    for (int level = 0; level <= 254; ++level)
        if (levels[std::size_t(level)] > 50) {
            low = level;
            break;
        }
    for (int level = 255; level >= 1; --level)
        if (levels[std::size_t(level)] > 50) {
            high = level;
            break;
        }
    if (low >= high) return Outcome::kUnchanged;

    const int low2 = low / 2;
    const int high2 = high + (255 - high) / 2;
    const double scale = double(high2 - low2) / double(high - low);
    const double offset = double(low2 - low);
    ChannelTable table{};
    for (int v = 0; v < 256; ++v) table[std::size_t(v)] = clamp_channel(std::trunc((double(v) - offset) * scale));

    const std::size_t stride = row_length(pic);
    for (std::size_t row = 0; row < std::size_t(pic->height); ++row) {
        report_progress(pic, std::int64_t(row), pic->height);
        unsigned char* v = pic->pixels + row * stride;
        for (std::size_t x = 0; x < stride; ++x) v[x] = table[v[x]];
    }
    return Outcome::kChanged;
}

bool sepia(PicImage* pic)
{
    const std::size_t width = static_cast<std::size_t>(pic->width);
    for (std::size_t row = 0; row < std::size_t(pic->height); ++row) {
        report_progress(pic, std::int64_t(row), pic->height);
        unsigned char* rgb = pic->pixels + row * 3 * width;
        for (std::size_t x = 0; x < width; ++x, rgb += 3) {
            const std::uint8_t red = clamp_channel((rgb[0] + rgb[1] + rgb[2]) / 3);
            rgb[0] = red;
            rgb[1] = clamp_channel(red * 80 / 100);
            rgb[2] = clamp_channel(red / 2);
        }
    }
    return true;
}

// Emboss and cross relief read neighbours from the untouched picture, so
// they write into a second block. A byte whose neighbours would lie outside
// the block keeps its value.
bool relief(PicImage* pic, bool cross)
{
    const std::size_t stride = row_length(pic);
    const std::size_t total = stride * static_cast<std::size_t>(pic->height);
    PixelBlock out = allocate_pixels(total);
    if (!out) return false;
    const unsigned char* in = pic->pixels;
    unsigned char* result = out.get();
    std::memcpy(result, in, total);

    const std::size_t reach = 2 * stride;
    for (std::size_t row = 0; row < std::size_t(pic->height); ++row) {
        report_progress(pic, std::int64_t(row), pic->height);
        if (!cross && row < 2) continue;
        for (std::size_t p = row * stride; p < (row + 1) * stride; ++p) {
            if (!cross) {
                if (p >= reach + 6) result[p] = clamp_channel(int(in[p]) - in[p - reach - 6] + 127);
            } else if (p >= reach && p + reach < total) {
                result[p] = clamp_channel(int(in[p]) - in[p - 6] + in[p - reach] - in[p + 6] + in[p + reach]);
            }
        }
    }
    replace_pixels(pic, std::move(out));
    return true;
}

bool tone_effect(PicImage* pic, int red, int green, int blue, int brightness, int contrast, int low = 0, int high = 255)
{
    return adjust_tone(pic, red, green, blue, brightness, contrast, low, high);
}

}  // namespace

bool adjust_tone(PicImage* pic, int red, int green, int blue, int brightness, int contrast, int low, int high)
{
    if (!takes(pic, kTrueColourKind) || !pixel_block_bytes(pic)) return false;
    const std::array<ChannelTable, 3> tables{tone_table(red, brightness, contrast, low, high),
                                             tone_table(green, brightness, contrast, low, high),
                                             tone_table(blue, brightness, contrast, low, high)};
    const std::size_t width = static_cast<std::size_t>(pic->width);
    for (std::size_t row = 0; row < std::size_t(pic->height); ++row) {
        report_progress(pic, std::int64_t(row), pic->height);
        unsigned char* rgb = pic->pixels + row * 3 * width;
        for (std::size_t x = 0; x < width; ++x, rgb += 3) {
            rgb[0] = tables[0][rgb[0]];
            rgb[1] = tables[1][rgb[1]];
            rgb[2] = tables[2][rgb[2]];
        }
    }
    return true;
}

// A positive amount sharpens (each byte moves away from the mean of its 3 by
// 3 neighbourhood), a negative one softens; the amount is held to -9..9.
bool sharpen_image(PicImage* pic, double amount)
{
    if (!takes(pic, kTrueColourKind) || !(amount > 0 || amount < 0)) return false;  // 0 and NaN change nothing
    const auto block = pixel_block_bytes(pic);
    if (!block) return false;
    const double s = std::clamp(amount, -9.0, 9.0);
    PixelBlock out = allocate_pixels(*block);
    if (!out) return false;
    std::memcpy(out.get(), pic->pixels, *block);
    if (s > 0) sharpen_rows(pic, pic->pixels, out.get(), s);
    else soften_rows(pic, pic->pixels, out.get(), s);
    replace_pixels(pic, std::move(out));
    return true;
}

namespace {

// The effects: the codes from Sharpen on, in order.
Outcome run_effect(PicImage* pic, ProcessCode effect)
{
    switch (effect) {
    case ProcessCode::Sharpen: return carried_out(sharpen_image(pic, 2.5));
    case ProcessCode::Soften: return carried_out(sharpen_image(pic, -2.5));
    case ProcessCode::MoreContrast: return carried_out(tone_effect(pic, 0, 0, 0, 0, 5));
    case ProcessCode::LessContrast: return carried_out(tone_effect(pic, 0, 0, 0, 0, -5));
    case ProcessCode::Brighter: return carried_out(tone_effect(pic, 0, 0, 0, 5, 0));
    case ProcessCode::Darker: return carried_out(tone_effect(pic, 0, 0, 0, -5, 0));
    case ProcessCode::LightenTop: return carried_out(gradient(pic));
    case ProcessCode::MoreRed: return carried_out(tone_effect(pic, 5, 0, 0, 0, 0));
    case ProcessCode::MoreGreen: return carried_out(tone_effect(pic, 0, 5, 0, 0, 0));
    case ProcessCode::MoreBlue: return carried_out(tone_effect(pic, 0, 0, 5, 0, 0));
    case ProcessCode::LessRed: return carried_out(tone_effect(pic, -10, 0, 0, 0, 0));
    case ProcessCode::LessGreen: return carried_out(tone_effect(pic, 0, -5, 0, 0, 0));
    case ProcessCode::LessBlue: return carried_out(tone_effect(pic, 0, 0, -5, 0, 0));
    case ProcessCode::BrighterMoreContrast: return carried_out(tone_effect(pic, 0, 0, 0, 5, 5));
    case ProcessCode::DarkerLessContrast: return carried_out(tone_effect(pic, 0, 0, 0, -5, -5));
    case ProcessCode::StretchLevels: return stretch_histogram(pic);
    case ProcessCode::Sepia: return carried_out(sepia(pic));
    case ProcessCode::Emboss: return carried_out(relief(pic, false));
    case ProcessCode::CrossRelief: return carried_out(relief(pic, true));
    case ProcessCode::Warmer: return carried_out(tone_effect(pic, 5, 0, -5, 0, 0));
    case ProcessCode::Cooler: return carried_out(tone_effect(pic, -5, 0, 5, 0, 0));
    case ProcessCode::ContrastHighlights: return carried_out(tone_effect(pic, 0, 0, 0, 0, 5, 128, 255));
    case ProcessCode::ContrastShadows: return carried_out(tone_effect(pic, 0, 0, 0, 0, 5, 0, 128));
    case ProcessCode::ContrastMidtones: return carried_out(tone_effect(pic, 0, 0, 0, 0, 5, 64, 196));
    default: return Outcome::kRefused;  // the picture goes out as it came
    }
}

constexpr unsigned kEffectCount = +ProcessCode::ContrastMidtones - +ProcessCode::Sharpen + 1;

// Effects are numbered from Sharpen; codes below it that are not named in
// process_code wrap to huge effect numbers, which reach no effect.
unsigned effect_of_code(int code)
{
    return static_cast<unsigned>(std::int64_t(code) - +ProcessCode::Sharpen);
}

}  // namespace

Outcome apply_effect(PicImage* pic, unsigned effect)
{
    if (effect >= kEffectCount || !takes(pic, kTrueColourKind) || !pixel_block_bytes(pic)) return Outcome::kRefused;
    return run_effect(pic, ProcessCode(int(effect) + +ProcessCode::Sharpen));
}

std::uint32_t process_code_kinds(int code)
{
    switch (ProcessCode(code)) {
    case ProcessCode::Rotate:
    case ProcessCode::RotateAlso: return kRotateKinds;
    case ProcessCode::Expand24:
    case ProcessCode::Expand24Also: return kExpandKinds;
    case ProcessCode::Grey:
    case ProcessCode::GreyAlso:
    case ProcessCode::Mono: return kGreyKinds;
    case ProcessCode::InvertMono: return kInvertKinds;
    case ProcessCode::OrderedDither:
    case ProcessCode::Reduce256:
    case ProcessCode::BrighterMoreContrastTwice:
    case ProcessCode::BrighterMoreContrastThrice: return kTrueColourKind;
    default: return effect_of_code(code) < kEffectCount ? kTrueColourKind : 0;
    }
}

Outcome process_code(PicImage* pic, int code)
{
    if (!takes(pic, process_code_kinds(code))) return Outcome::kRefused;
    switch (ProcessCode(code)) {
    case ProcessCode::Rotate:
    case ProcessCode::RotateAlso: return carried_out(rotate_quarter(pic));
    case ProcessCode::Expand24:
    case ProcessCode::Expand24Also: return carried_out(expand_to_rgb(pic));
    case ProcessCode::OrderedDither: return carried_out(ordered_dither(pic));
    case ProcessCode::Grey:
    case ProcessCode::GreyAlso: return carried_out(make_grey(pic));
    case ProcessCode::Reduce256: return carried_out(reduce_diffused(pic));
    case ProcessCode::Mono:
        // Greyscale, then two levels: a picture already grey or monochrome
        // only takes the second step.
        make_grey(pic);
        return carried_out(make_mono(pic));
    case ProcessCode::InvertMono: return carried_out(invert_mono(pic));
    case ProcessCode::BrighterMoreContrastTwice:
    case ProcessCode::BrighterMoreContrastThrice: {
        const int passes = code == +ProcessCode::BrighterMoreContrastTwice ? 2 : 3;
        const unsigned effect = effect_of_code(+ProcessCode::BrighterMoreContrast);
        for (int pass = 0; pass < passes; ++pass)
            if (apply_effect(pic, effect) == Outcome::kRefused) return Outcome::kRefused;
        return Outcome::kChanged;
    }
    default: return apply_effect(pic, effect_of_code(code));
    }
}

}  // namespace zarn

using namespace zarn;

extern "C" {

ZARNGFX_EXPORT PicImage* _bmpprocess(const char* source, const char* destination, PicImage* pic, int red, int green,
                                     int blue, int brightness, int contrast)
{
    return process_bmp_file(source, destination, pic, [&](PicImage* image) {
        adjust_tone(image, red, green, blue, brightness, contrast, 0, 255);
    });
}

ZARNGFX_EXPORT PicImage* _bmpsharpen(const char* source, const char* destination, PicImage* pic, double amount)
{
    return process_bmp_file(source, destination, pic, [&](PicImage* image) { sharpen_image(image, amount); });
}

ZARNGFX_EXPORT PicImage* _bmprocess(const char* source, const char* destination, PicImage* pic, int code)
{
    return process_bmp_file(source, destination, pic, [&](PicImage* image) { process_code(image, code); });
}

}  // extern "C"
