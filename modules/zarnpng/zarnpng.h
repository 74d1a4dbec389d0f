// The PNG module's routines: the three it exports and the stream-level reader the fuzz target calls.
#pragma once

#include "zarngfx.h"

#include <cstdio>

#define ZARNPNG_EXPORT extern "C" __attribute__((visibility("default")))

ZARNPNG_EXPORT int _Pic_Read_PNG(const char* path, PicImage* pic);
ZARNPNG_EXPORT int _Pic_Write_PNG(const char* path, PicImage* pic);
// The same with tEXt entries before the pixels and quick compression:
// `count` keys (1 to 79 Latin-1 characters) and their values.
ZARNPNG_EXPORT int _Pic_Write_PNG_Text(const char* path, PicImage* pic, const char* const* keys,
                                       const char* const* values, int count);

namespace zarn::png {

// Reads a PNG from a stream positioned at its signature: 1 with pixels, else 0.
int read_png_stream(std::FILE* stream, PicImage* pic);

}  // namespace zarn::png
