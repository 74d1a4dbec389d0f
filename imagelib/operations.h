// The library's pixel operations on the working record: colour depth, geometry, tone and effects.
#pragma once

#include "progress.h"
#include "record.h"
#include "zarngfx.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace zarn {

// Each operation works on the record in place. One that changes the image
// allocates the new block, fills it, frees the old one and stores the new
// pointer. The result is true when the operation was carried out, false
// when the image was left exactly as it was: a kind the operation does not
// handle, arguments it refuses, or a block it could not allocate.

// What an operation did with the image.
enum class Outcome {
    kChanged,
    kUnchanged,  // carried out, and there was nothing to change (no levels to stretch in a flat picture)
    kRefused,    // left exactly as it was: see above
};

// The outcome of an operation that has no nothing-to-change case.
inline Outcome carried_out(bool done)
{
    return done ? Outcome::kChanged : Outcome::kRefused;
}

// Image kinds as sets, bit n standing for n-bit records. Each operation
// works on the kinds named here and refuses the others.
constexpr std::uint32_t kind_bit(int bits)
{
    return bits >= 0 && bits < 32 ? std::uint32_t(1) << bits : 0;
}
constexpr std::uint32_t kTrueColourKind = kind_bit(24);
constexpr std::uint32_t kPaletteKinds =  // one palette index per byte
    kind_bit(2) | kind_bit(3) | kind_bit(4) | kind_bit(5) | kind_bit(6) | kind_bit(7) | kind_bit(8);
constexpr std::uint32_t kAnyKind = kind_bit(1) | kPaletteKinds | kTrueColourKind;
constexpr std::uint32_t kExpandKinds = kind_bit(4) | kind_bit(5) | kind_bit(6) | kind_bit(7) | kind_bit(8);
constexpr std::uint32_t kGreyKinds = kPaletteKinds | kTrueColourKind;
constexpr std::uint32_t kRotateKinds = kPaletteKinds | kTrueColourKind;
constexpr std::uint32_t kCropKinds = kind_bit(1) | kind_bit(4) | kind_bit(8) | kTrueColourKind;
constexpr std::uint32_t kShearKinds = kind_bit(4) | kind_bit(8) | kTrueColourKind;
constexpr std::uint32_t kMonoKinds = kind_bit(8);
constexpr std::uint32_t kInvertKinds = kind_bit(1);

inline bool takes(const PicImage* pic, std::uint32_t kinds)
{
    return (kinds & kind_bit(pic->bits)) != 0;
}

// Bytes of the record's pixel block, or nothing when the record holds no
// image the operations can work on (no pixels, no row layout, too large).
std::optional<std::size_t> pixel_block_bytes(const PicImage* pic);

// Frees the record's old block and hands it the new one.
inline void replace_pixels(PicImage* pic, PixelBlock block)
{
    std::free(pic->pixels);
    pic->pixels = block.release();
}

// colour_reduction.cpp
bool ordered_dither(PicImage* pic);                                   // _Pic_Dither
void diffuse_error(PicImage* pic);                                    // the error pass over 24-bit pixels, in place
bool reduce_diffused(PicImage* pic);                                  // adaptive palette of up to 256 colours
bool reduce_to_palette(PicImage* pic, const unsigned char* palette);  // palette: 768 bytes, or null
bool make_grey(PicImage* pic);
bool make_mono(PicImage* pic);
bool invert_mono(PicImage* pic);
bool expand_to_rgb(PicImage* pic);  // _Pic_RGB24

// The library's own random numbers: the classic linear congruential
// recurrence, never reseeded, one seed per thread starting at 1.
int library_rand();

// geometry.cpp
bool rotate_quarter(PicImage* pic);  // _Pic_Rotate, clockwise
bool crop_image(PicImage* pic, int x, int y, int w, int h);
bool shear_rotate(PicImage* pic, double angle);
bool resize_image(PicImage* pic, int new_width, int new_height);

// Resets the record, reads `source` as a BMP, applies `operation` when
// pixels were read, writes the result to `destination` as a BMP, and
// releases the record. Source and destination may be the same file.
PicImage* process_bmp_file(const char* source, const char* destination, PicImage* pic,
                           const std::function<void(PicImage*)>& operation);

// tone.cpp
bool adjust_tone(PicImage* pic, int red, int green, int blue, int brightness, int contrast, int low, int high);
bool sharpen_image(PicImage* pic, double amount);
Outcome apply_effect(PicImage* pic, unsigned effect);
// One `_bmprocess` code applied to the record in memory.
Outcome process_code(PicImage* pic, int code);
// The kinds a processing code works on; 0 for a code that does nothing.
std::uint32_t process_code_kinds(int code);

}  // namespace zarn
