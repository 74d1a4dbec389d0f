// The one way the library reports progress to its host: the record's callback, when set.
#pragma once

#include "zarngfx.h"

#include <cstdint>

namespace zarn {

// Calls the record's progress callback, if any. Totals beyond 32 bits are
// scaled down with the count, so the callback always sees the same share.
inline void report_progress(const PicImage* pic, std::int64_t current, std::int64_t total)
{
    if (!pic->progress) return;
    while (total > INT32_MAX) {
        current /= 2;
        total /= 2;
    }
    pic->progress(static_cast<std::int32_t>(current), static_cast<std::int32_t>(total));
}

}  // namespace zarn
