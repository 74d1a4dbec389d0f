// MD5 of a byte string, the digest the shared thumbnail cache names its files by.
#pragma once

#include <string>
#include <string_view>

namespace zarn {

// The 32 lowercase hexadecimal digits of the MD5 digest of `bytes`.
std::string md5_hex(std::string_view bytes);

}  // namespace zarn
