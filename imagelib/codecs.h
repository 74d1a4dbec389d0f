// Every format's reader and writer, as the format table in formats.cpp calls them.
#pragma once

#include "zarngfx.h"

#include <cstddef>
#include <cstdio>

namespace zarn {

struct ReadOptions {
    int pcd_resolution = 0;  // PhotoCD only
    int jpeg_scale = 0;      // JPEG only
};

// A reader fills the record from `path`: 1 when pixels were produced, else 0.
using ReaderFn = int (*)(const char* path, PicImage* pic, const ReadOptions& options);
// A writer stores the record at `path`: non-zero on success. `variant` picks
// among the flavours one writer offers (colour or grey, a compression).
using WriterFn = int (*)(const char* path, PicImage* pic, int variant, int quality);

// The format code the first bytes of a file show (up to 12 are looked at), 0 for none.
int format_from_signature(const unsigned char* head, std::size_t size);

// bmp.cpp
int read_bmp(const char* path, PicImage* pic);
int read_bmp_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start
int write_bmp(const char* path, PicImage* pic);

// jpeg.cpp; `scale` is the JPEG scale argument of _Pic_Read
int read_jpeg(const char* path, PicImage* pic, int scale);
int read_jpeg_stream(std::FILE* stream, PicImage* pic, int scale);
int write_jpeg(const char* path, PicImage* pic, int quality, bool greyscale);

// gif.cpp: the first image of a GIF file; one-image GIF87a out (1 to 8 bits).
int read_gif(const char* path, PicImage* pic);
int read_gif_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start
int write_gif(const char* path, PicImage* pic);

// pbmplus.cpp: P1 to P6 in; `variant` 2 writes PPM, 1 PGM, 0 PBM.
int read_pbm(const char* path, PicImage* pic);
int read_pbm_stream(std::FILE* stream, PicImage* pic);  // a stream positioned at the file's start
int write_pbm(const char* path, PicImage* pic, int variant);

// outside_modules.cpp: PNG and TIFF through the zarnpng and zarntiff modules.
// The results are the modules' own.
int read_png(const char* path, PicImage* pic);
int write_png(const char* path, PicImage* pic);
int read_tiff(const char* path, PicImage* pic);
int write_tiff(const char* path, PicImage* pic, int compression);

}  // namespace zarn
