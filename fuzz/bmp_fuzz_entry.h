// The BMP fuzz entry, shared by the libFuzzer target and the ctest replay of saved crashers.
#pragma once

#include "codecs.h"
#include "fuzz_entry.h"
#include "record.h"

#include <cstdint>
#include <cstdio>

namespace zarn::fuzz {

inline void bmp_fuzz_setup()
{
    limit_pixel_blocks();
}

inline void run_bmp_input(const std::uint8_t* data, std::size_t size)
{
    format_from_signature(data, size);
    read_from_memory(data, size, [&](std::FILE* stream, PicImage* pic) { read_bmp_stream(stream, pic); });
}

}  // namespace zarn::fuzz
