// Embedded colour profiles turned into sRGB as a picture is read, through lcms2.
#pragma once

#include "record.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zarn {

// Reads convert tagged pictures to sRGB unless this is set; it holds for the
// whole process, outside modules included (through ZARN_KEEP_COLOURS).
// zarnconv sets it for --keep-colours; the shared library's hosts never do.
void set_keep_stored_colours(bool keep);
bool keep_stored_colours();

// What the pixels handed to a transform are.
enum class ProfileInput {
    Rgb,           // 3 bytes: red, green, blue
    Grey,          // 1 byte; the result is grey too (1 byte)
    Cmyk,          // 4 bytes, 0 is no ink
    InvertedCmyk,  // 4 bytes, 255 is no ink (Adobe's CMYK JPEG files)
};

struct RgbShortcut;

// A transform from an embedded profile to sRGB (for Grey, to grey with
// sRGB's tone curve). Empty when the profile is broken, describes another
// kind of pixel than `input`, or is sRGB already (nothing to do, and nothing
// to say). Safe to use from several threads at once.
class SrgbTransform {
public:
    SrgbTransform() = default;
    static SrgbTransform from_icc(std::span<const std::uint8_t> icc, ProfileInput input);

    explicit operator bool() const { return transform_ != nullptr; }
    ProfileInput input() const { return input_; }
    // `pixels` pixels at `in` to `out`: 3 bytes each (1 for Grey). `in` and
    // `out` may be the same block when the pixel sizes are.
    void convert(const unsigned char* in, unsigned char* out, std::size_t pixels) const;
    // The profile's own description ("Display P3"), empty when it has none.
    const std::string& name() const { return name_; }

private:
    std::shared_ptr<void> transform_;
    // Tables and a matrix doing the transform's work for an RGB profile of
    // primaries and tone curves, quicker than lcms2; null otherwise.
    std::shared_ptr<const RgbShortcut> shortcut_;
    ProfileInput input_ = ProfileInput::Rgb;
    std::string name_;
};

// Chromaticities of a colour space: white point and primaries (CIE xy).
struct Chromaticities {
    double white_x, white_y, red_x, red_y, green_x, green_y, blue_x, blue_y;
};

// An RGB profile of the primaries with a pure power transfer: PNG's cHRM and
// gAMA, `gamma` the decoding exponent (2.2 for a file's 45455). Empty when
// the values make no colour space.
std::vector<std::uint8_t> profile_from_gamma(const Chromaticities& space, double gamma, const char* name);
// An RGB profile from ITU-T H.273 codes (an nclx box): colour primaries 1
// (BT.709), 9 (BT.2020), 11 (DCI-P3), 12 (Display P3), 22 (EBU 3213) and
// transfer characteristics 1, 6, 14, 15 (BT.709 family), 4 (gamma 2.2), 5
// (gamma 2.8), 8 (linear), 13 (sRGB). Empty when the codes are sRGB's own
// (1 and 13, or 2 unspecified), or not among these.
std::vector<std::uint8_t> profile_from_cicp(int primaries, int transfer);

// Converts the record in place from `icc` to sRGB: a 24-bit record's
// pixels, a palette record's palette (a grey palette through a grey
// profile stays grey). The profile's name when something was converted;
// empty otherwise: no profile, a broken or unsuitable one, sRGB, or
// keep_stored_colours(). Pixels are never left half converted.
std::string convert_record_to_srgb(PicImage* pic, std::span<const std::uint8_t> icc);

// Converts a palette record's palette through `transform` (Grey: the grey
// palette through its first channel, so it stays grey) and returns its name.
std::string convert_palette_to_srgb(PicImage* pic, const SrgbTransform& transform);

// Appends " - NAME" to the record's description when `name` is not empty
// and there is room for all of it ("Jpeg : 4032x3024 - 24bit - Display P3").
void describe_colours(PicImage* pic, const std::string& name);

}  // namespace zarn
