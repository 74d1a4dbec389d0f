// The metadata fuzz entry: the information panel's text from any bytes, through exiv2, which must neither
// crash nor give text that breaks the panel's "Label\tValue\n" lines.
#pragma once

#include "meta_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zarn::fuzz {

inline void meta_fuzz_setup() {}

inline void run_meta_input(const std::uint8_t* data, std::size_t size)
{
    const std::string text = zarn::meta::describe_bytes(data, size);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::size_t tab = text.find('\t', at);
        if (end == std::string::npos || tab == std::string::npos || tab > end || tab == at || tab + 1 == end ||
            text.find('\t', tab + 1) < end) {
            std::fprintf(stderr, "meta_fuzz: a line that is not one label and one value\n");
            std::abort();
        }
        at = end + 1;
    }
}

}  // namespace zarn::fuzz
