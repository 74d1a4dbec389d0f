// The PNG module fuzz entry, shared by the libFuzzer target and the ctest replay of saved crashers.
#pragma once

#include "zarnpng.h"
#include "fuzz_entry.h"
#include "record.h"

#include <cstdint>
#include <cstdio>

namespace zarn::fuzz {

inline void png_fuzz_setup()
{
    limit_pixel_blocks();
}

inline void run_png_input(const std::uint8_t* data, std::size_t size)
{
    read_from_memory(data, size, [&](std::FILE* stream, PicImage* pic) { png::read_png_stream(stream, pic); });
}

}  // namespace zarn::fuzz
