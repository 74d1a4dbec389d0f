// The AVIF module's routines: the five it exports and the stream-level reader the fuzz target calls.
#pragma once

#include "zarngfx.h"

#include <cstdint>
#include <cstdio>

#define ZARNAVIF_EXPORT extern "C" __attribute__((visibility("default")))

// The first picture of the file (the first frame of a sequence), upright.
ZARNAVIF_EXPORT int _Pic_Read_AVIF(const char* path, PicImage* pic);
// Writes 8-bit AV1 at speed 6: quality 1..100 as JPEG's (anything else means
// 60); 4:2:0 below quality 90, 4:4:4 from 90 on, and a grey record as 4:0:0.
// `lossless` is ignored.
ZARNAVIF_EXPORT int _Pic_Write_AVIF(const char* path, PicImage* pic, int quality, int lossless);

// The frames of an image sequence; null for a single picture.
ZARNAVIF_EXPORT void* _Pic_OpenFrames_AVIF(const char* path);
ZARNAVIF_EXPORT int _Pic_NextFrame_AVIF(void* frames, PicImage* frame, int32_t* delay_ms);
ZARNAVIF_EXPORT void _Pic_CloseFrames_AVIF(void* frames);

namespace zarn::avif {

// Reads an AVIF from a stream positioned at its start: 1 with pixels, else 0.
int read_avif_stream(std::FILE* stream, PicImage* pic);

}  // namespace zarn::avif
