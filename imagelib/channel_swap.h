// Row kernels over three-byte pixels: the red-blue exchange between the record and a bitmap, and greyscale.
#pragma once

#include <cstddef>

namespace zarn {

// Copies `count` three-byte pixels from `in` to `out` with the first and
// third byte of each exchanged. `out` may be `in` itself; other overlaps are
// not allowed. Picks the fastest routine the processor has.
void swap_red_blue(const unsigned char* in, unsigned char* out, std::size_t count);

// The two routines swap_red_blue chooses between, for tests. The SSSE3 one
// may only be called when ssse3_available().
void swap_red_blue_plain(const unsigned char* in, unsigned char* out, std::size_t count);
void swap_red_blue_ssse3(const unsigned char* in, unsigned char* out, std::size_t count);
bool ssse3_available();

// Writes the grey level (30 red + 59 green + 11 blue) / 100, rounded down,
// of each of `count` red-green-blue pixels at `in` to one byte at `out`.
void grey_row(const unsigned char* in, unsigned char* out, std::size_t count);
void grey_row_plain(const unsigned char* in, unsigned char* out, std::size_t count);
void grey_row_ssse3(const unsigned char* in, unsigned char* out, std::size_t count);

}  // namespace zarn
