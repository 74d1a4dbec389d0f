// What the camera RAW module's reads share: LibRaw set up as this library reads, the upright size, the description.
#pragma once

#include "zarngfx.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include <libraw.h>

namespace zarn::raw {

// The upright size of the whole picture and the EXIF-style orientation
// (1 to 8) that turns the stored pixels upright; 1 when the stored
// orientation is kept.
struct Geometry {
    std::int64_t width = 0, height = 0;
    int orientation = 1;
};

// A LibRaw instance set up as dcraw_emu's defaults read (the camera's white
// balance, sRGB, 8 bits, its gamma), turning the picture upright unless the
// stored orientation is kept; its allocations held to the library's ceiling.
std::unique_ptr<LibRaw> make_processor();

// Opens the file by name, or the bytes in memory (which must outlive the
// processor); false, with a reason, when LibRaw does not take it.
bool open_path(LibRaw& processor, const char* path);
bool open_bytes(LibRaw& processor, std::vector<unsigned char>& bytes);
// The whole of `stream` from where it is, within the ceiling; false when it
// cannot be read or passes it.
bool read_all(std::FILE* stream, std::vector<unsigned char>& bytes);

// The geometry of an opened file; nothing, with "too large", when its
// 24-bit picture would pass the library's ceiling.
bool geometry_of(const LibRaw& processor, Geometry& geometry);

// "RAW : 6000x4000 Canon EOS 5D"
void describe_raw(PicImage* pic, const LibRaw& processor, std::int64_t width, std::int64_t height);

// Copies LibRaw's 8-bit picture of 1 or 3 colours into the record as 24-bit,
// reporting progress a row at a time. False when it is of another kind or
// memory runs out.
bool take_bitmap(const libraw_processed_image_t& image, PicImage* pic);

}  // namespace zarn::raw
