// The PCX fuzz entry, shared by the libFuzzer target and the ctest replay of saved crashers.
#pragma once

#include "codecs.h"
#include "record.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zarn::fuzz {

// A small ceiling on the pixel block keeps each input fast while still
// reaching every size check.
inline void pcx_fuzz_setup()
{
    ::setenv("ZARN_MAX_IMAGE_BYTES", "16777216", 0);
}

inline void run_pcx_input(const std::uint8_t* data, std::size_t size)
{
    // fmemopen wants a writable buffer and refuses an empty one.
    std::vector<unsigned char> copy(data, data + size);
    if (copy.empty()) return;
    std::FILE* stream = ::fmemopen(copy.data(), copy.size(), "rb");
    if (!stream) return;
    PicImage pic;
    std::memset(&pic, 0, sizeof pic);
    read_pcx_stream(stream, &pic);
    release_image(&pic);
    std::fclose(stream);
}

}  // namespace zarn::fuzz
