// The PhotoCD fuzz entry, shared by the libFuzzer target and the ctest replay of saved crashers.
#pragma once

#include "codecs.h"
#include "fuzz_entry.h"
#include "record.h"

#include <cstdint>
#include <cstdio>

namespace zarn::fuzz {

inline void photocd_fuzz_setup()
{
    limit_pixel_blocks();
}

inline void run_photocd_input(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return;
    // The first byte picks the resolution: the smallest for most values, as
    // the larger ones run the same code over four and sixteen times the pixels.
    const int resolution = data[0] == 2 || data[0] == 3 ? data[0] : 1;
    read_from_memory(data, size,
                     [&](std::FILE* stream, PicImage* pic) { read_photocd_stream(stream, pic, resolution); });
}

}  // namespace zarn::fuzz
