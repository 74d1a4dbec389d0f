// The BMP headers and row layout the reader, the writer and the streamed conversion share.
#pragma once

#include "byte_reader.h"
#include "write_path.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace zarn {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kCoreHeaderBytes = 12;

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3 };

struct BmpHeader {
    std::uint32_t pixel_offset = 0;
    std::uint32_t header_size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;  // negative for rows stored top-down
    int bits = 0;
    std::uint32_t compression = kRgb;
    bool core = false;  // the 12-byte header with three-byte palette entries

    // Where the palette starts. Headers longer than 40 bytes push it back;
    // shorter ones (but the 12-byte kind) are read as 40 bytes regardless.
    std::uint64_t palette_offset() const
    {
        // In 64 bits: a header size near 4 GiB must not wrap round to the file header.
        return std::uint64_t{kFileHeaderBytes} + (core ? kCoreHeaderBytes : std::max(header_size, kInfoHeaderBytes));
    }
    int colours() const { return bits >= 1 && bits <= 8 ? 1 << bits : 0; }
};

// False when the data ends before both headers are complete.
bool read_headers(ByteReader& in, BmpHeader& header);

// Bytes of one row in the file: packed, then padded to a multiple of four.
std::size_t file_row_bytes(std::size_t width, int bits);

// The two headers of a picture of `colours` palette entries (none for 24 bits).
void write_headers(OutputFile& out, std::int32_t width, std::int32_t height, int bits, int colours);

}  // namespace zarn
