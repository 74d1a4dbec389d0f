// The camera RAW module's routines: the two it exports and the stream-level reader the fuzz target calls.
#pragma once

#include "zarngfx.h"

#include <cstdint>
#include <cstdio>

#define ZARNRAW_EXPORT extern "C" __attribute__((visibility("default")))

// The picture demosaiced as LibRaw's defaults give it (the camera's white
// balance, sRGB, 8 bits), upright by the file's orientation, 24-bit.
ZARNRAW_EXPORT int _Pic_Read_RAW(const char* path, PicImage* pic);
// The largest embedded preview, upright like the whole picture, 24-bit; the
// size _Pic_Read_RAW would give into the two outputs. 0 when there is none.
ZARNRAW_EXPORT int _Pic_Read_RAW_Preview(const char* path, PicImage* pic, int32_t* full_width, int32_t* full_height);

namespace zarn::raw {

// Reads a camera RAW from a stream positioned at its start (the whole stream
// is read into memory): 1 with pixels, else 0.
int read_raw_stream(std::FILE* stream, PicImage* pic);

}  // namespace zarn::raw
