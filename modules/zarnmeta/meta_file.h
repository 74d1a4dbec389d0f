// What both routines of the metadata module share: exiv2 set up once, used by one thread at a time, and files
// opened only when they are of a size it can be trusted with.
#pragma once

// exiv2 0.27's interface is written with std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace zarn::meta {

// Files larger than this are not handed to exiv2: its parsers may then
// allocate in proportion to what a damaged header claims.
constexpr long long kMaxFileBytes = 512ll << 20;

// Held around every use of exiv2, which is not safe from several threads at
// once (its XMP toolkit above all). The first lock also silences exiv2's
// messages and starts its XMP toolkit.
std::unique_lock<std::mutex> lock_exiv2();

// The picture file at `path` with its metadata read; null when it is not a
// regular file, is empty or too big, or exiv2 does not know or cannot
// parse it. Never throws.
std::unique_ptr<Exiv2::Image> open_image(const std::string& path);

}  // namespace zarn::meta

namespace zarn::meta {

// The information panel's "Label\tValue\n" lines for an opened picture.
// Holds no lock itself: the caller has lock_exiv2().
std::string describe_image(Exiv2::Image& image);

// The same for a file's bytes in memory (the fuzz target's way in); takes
// the lock and catches everything.
std::string describe_bytes(const std::uint8_t* data, std::size_t size);

}  // namespace zarn::meta
