// What every fuzz entry shares: a small pixel-block ceiling and a reader run over an in-memory stream.
#pragma once

#include "record.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace zarn::fuzz {

// A 1 GiB zero-filled block per input would make the fuzzer crawl and trip
// its memory limit; 4 MiB still reaches every size check and keeps thousands
// of inputs a second. A reader that works on every pixel of whatever size a
// header declares is given less. ZARN_MAX_IMAGE_BYTES, when set, wins.
inline void limit_pixel_blocks(std::size_t bytes = std::size_t(4) << 20)
{
    ::setenv("ZARN_MAX_IMAGE_BYTES", std::to_string(bytes).c_str(), 0);
}

// Hands `reader` an fmemopen stream over the bytes and a zero-filled record,
// and releases whatever it left there.
template <typename Reader>
void read_from_memory(const std::uint8_t* data, std::size_t size, Reader&& reader)
{
    // fmemopen wants a writable buffer and refuses an empty one.
    std::vector<unsigned char> copy(data, data + size);
    if (copy.empty()) return;
    std::FILE* stream = ::fmemopen(copy.data(), copy.size(), "rb");
    if (!stream) return;
    PicImage pic;
    std::memset(&pic, 0, sizeof pic);
    reader(stream, &pic);
    release_image(&pic);
    std::fclose(stream);
}

}  // namespace zarn::fuzz
