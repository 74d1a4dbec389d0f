// The HEIF module's routines: the reader it exports and the stream-level reader the fuzz target calls.
#pragma once

#include "zarngfx.h"

#include <cstdio>

#define ZARNHEIF_EXPORT extern "C" __attribute__((visibility("default")))

// The primary picture of a HEIC, HEIF or (when libheif has an AV1 decoder)
// AVIF file, upright, alpha laid over white: 1 with pixels, else 0.
ZARNHEIF_EXPORT int _Pic_Read_HEIF(const char* path, PicImage* pic);

namespace zarn::heif {

// Reads a HEIF file from a stream positioned at its first byte, seeking
// within it as libheif asks: 1 with pixels, else 0.
int read_heif_stream(std::FILE* stream, PicImage* pic);

}  // namespace zarn::heif
