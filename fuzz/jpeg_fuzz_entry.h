// The JPEG fuzz entry, shared by the libFuzzer target and the ctest replay of saved crashers.
#pragma once

#include "codecs.h"
#include "fuzz_entry.h"
#include "record.h"

#include <cstdint>
#include <cstdio>

namespace zarn::fuzz {

inline void jpeg_fuzz_setup()
{
    limit_pixel_blocks();
}

// The input's length picks the scale code, so every scaled decoder is reached.
inline void run_jpeg_input(const std::uint8_t* data, std::size_t size)
{
    read_from_memory(data, size,
                     [&](std::FILE* stream, PicImage* pic) { read_jpeg_stream(stream, pic, int(size % 4)); });
}

}  // namespace zarn::fuzz
