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

}  // namespace zarn
