// The texture fuzz entry, shared by the libFuzzer target and the ctest replay of saved crashers.
#pragma once

#include "codecs.h"
#include "fuzz_entry.h"
#include "record.h"

#include <cstdint>
#include <cstdio>

namespace zarn::fuzz {

inline void texture_fuzz_setup()
{
    limit_pixel_blocks();
}

inline void run_texture_input(const std::uint8_t* data, std::size_t size)
{
    read_from_memory(data, size, [&](std::FILE* stream, PicImage* pic) { read_texture_stream(stream, pic); });
}

}  // namespace zarn::fuzz
