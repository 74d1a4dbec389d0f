// The TIFF module's routines: the two it exports, the stream-level reader the fuzz target calls, and shared stream glue.
#pragma once

#include "zarngfx.h"

#include <cstdio>
#include <memory>

#include <tiffio.h>

#define ZARNTIFF_EXPORT extern "C" __attribute__((visibility("default")))

ZARNTIFF_EXPORT int _Pic_Read_TIF(const char* path, PicImage* pic);
ZARNTIFF_EXPORT int _Pic_Write_TIF(const char* path, PicImage* pic, int compression);

namespace zarn::tiff {

// Reads the first picture of a TIFF from a stream positioned at its header:
// 1 with pixels, else 0.
int read_tiff_stream(std::FILE* stream, PicImage* pic);

struct TiffCloser {
    void operator()(TIFF* tif) const { if (tif) TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Opens libtiff over a stdio stream that stays the caller's ("r" or "w").
// libtiff's errors and warnings are kept off the terminal.
TiffPtr open_stream(std::FILE* stream, const char* mode);

}  // namespace zarn::tiff
