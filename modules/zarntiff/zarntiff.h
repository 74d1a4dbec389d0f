// The TIFF module's routines: the two it exports, the stream-level reader the fuzz target calls, and shared stream
// glue.
#pragma once

#include "zarngfx.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

#include <tiffio.h>

#define ZARNTIFF_EXPORT extern "C" __attribute__((visibility("default")))

ZARNTIFF_EXPORT int _Pic_Read_TIF(const char* path, PicImage* pic);
ZARNTIFF_EXPORT int _Pic_Write_TIF(const char* path, PicImage* pic, int compression);

namespace zarn::tiff {

// Reads the first picture of a TIFF from a stream positioned at its header:
// 1 with pixels, else 0.
int read_tiff_stream(std::FILE* stream, PicImage* pic);

struct TiffCloser {
    void operator()(TIFF* tif) const
    {
        if (tif) TIFFClose(tif);
    }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Opens libtiff over a stdio stream that stays the caller's ("r" or "w").
// libtiff's errors and warnings are kept off the terminal.
TiffPtr open_stream(std::FILE* stream, const char* mode);

// One strip of TIFF's LZW (codes most significant bit first, 9 to 12 bits
// wide, each wider code taken one code early) decoded into `out`. True only
// when the codes, starting with a clear code, fill `out` exactly on a path
// libtiff's decoder takes without complaint; anything else (a code not yet
// in the table, an end code or the end of the data before `out` is full, a
// table run past 4096 entries) is left to libtiff.
bool decode_lzw_strip(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

}  // namespace zarn::tiff
