// The JPEG XL module's routines: its exports and the stream-level reader the fuzz target calls.
#pragma once

#include "zarngfx.h"

#include <cstdint>
#include <cstdio>

#define ZARNJXL_EXPORT extern "C" __attribute__((visibility("default")))

// The first frame, upright, alpha over white: 24-bit RGB, or 8-bit grey for a
// grey picture. 1 with pixels, else 0.
ZARNJXL_EXPORT int _Pic_Read_JXL(const char* path, PicImage* pic);
// Writes the record as a bare code stream. `quality` 1..100 maps to a
// distance as the reference encoder's -q does (100 is lossless); anything else
// means 90, distance 1; lossy coding runs at effort 7. `lossless` non-zero
// keeps every sample exactly, at effort 3.
ZARNJXL_EXPORT int _Pic_Write_JXL(const char* path, PicImage* pic, int quality, int lossless);

// The frames of an animation with at least two of them, each a whole 24-bit
// canvas with its stored duration; after the last the first comes again.
ZARNJXL_EXPORT void* _Pic_OpenFrames_JXL(const char* path);
ZARNJXL_EXPORT int _Pic_NextFrame_JXL(void* frames, PicImage* frame, int32_t* delay_ms);
ZARNJXL_EXPORT void _Pic_CloseFrames_JXL(void* frames);

namespace zarn::jxl {

// Reads a JPEG XL code stream or container from a stream positioned at its
// start: 1 with pixels, else 0.
int read_jxl_stream(std::FILE* stream, PicImage* pic);

}  // namespace zarn::jxl
