// The WebP module's routines: the five it exports and the stream-level reader the fuzz target calls.
#pragma once

#include "zarngfx.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>

#define ZARNWEBP_EXPORT extern "C" __attribute__((visibility("default")))

// The first frame of a still or animated WebP, upright by its EXIF
// orientation, alpha laid over white, as a 24-bit record.
ZARNWEBP_EXPORT int _Pic_Read_WEBP(const char* path, PicImage* pic);
// Writes any record kind. Lossy takes `quality` 1..100 (anything else: 75);
// lossless keeps every pixel exactly and ignores `quality`.
ZARNWEBP_EXPORT int _Pic_Write_WEBP(const char* path, PicImage* pic, int quality, int lossless);

// The frames of an animated WebP, each the whole canvas; see zarngfx.h.
ZARNWEBP_EXPORT void* _Pic_OpenFrames_WEBP(const char* path);
ZARNWEBP_EXPORT int _Pic_NextFrame_WEBP(void* frames, PicImage* frame, int32_t* delay_ms);
ZARNWEBP_EXPORT void _Pic_CloseFrames_WEBP(void* frames);

namespace zarn::webp {

// Reads a WebP from a stream positioned at its RIFF header: 1 with pixels, else 0.
int read_webp_stream(std::FILE* stream, PicImage* pic);

// The whole of a stream, when it is no larger than the pixel-block ceiling.
std::optional<std::vector<std::uint8_t>> read_whole(std::FILE* stream);

// The EXIF orientation (1 to 8) the file's EXIF chunk gives; 1 without one.
int stored_orientation(std::span<const std::uint8_t> file);

// The colour profile of the file's ICCP chunk; empty without one.
std::vector<std::uint8_t> stored_profile(std::span<const std::uint8_t> file);

// Whether a `width` x `height` canvas of four bytes a pixel, as libwebp
// allocates it, stays under the ceiling; says "too large" when not.
bool canvas_fits(std::int64_t width, std::int64_t height);

// `pixels` pixels of straight RGBA laid over white into RGB.
void rgba_onto_white(const std::uint8_t* rgba, std::uint8_t* rgb, std::size_t pixels);

// Turns the record's 24-bit pixels from stored `orientation` to upright,
// unless stored orientations are kept; false only when memory ran out.
bool turn_upright(PicImage* pic, int orientation);

}  // namespace zarn::webp
