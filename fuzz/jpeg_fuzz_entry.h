// The JPEG fuzz entry, shared by the libFuzzer target and the ctest replay of saved crashers.
#pragma once

#include "codecs.h"
#include "record.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zarn::fuzz {

// A small ceiling keeps each input quick while still reaching every size check.
inline void jpeg_fuzz_setup()
{
    ::setenv("ZARN_MAX_IMAGE_BYTES", "16777216", 0);
}

// The input's length picks the scale code, so every scaled decoder is reached.
inline void run_jpeg_input(const std::uint8_t* data, std::size_t size)
{
    std::vector<unsigned char> copy(data, data + size);
    if (copy.empty()) return;
    std::FILE* stream = ::fmemopen(copy.data(), copy.size(), "rb");
    if (!stream) return;
    PicImage pic;
    std::memset(&pic, 0, sizeof pic);
    read_jpeg_stream(stream, &pic, int(size % 4));
    release_image(&pic);
    std::fclose(stream);
}

}  // namespace zarn::fuzz
