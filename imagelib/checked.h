// Overflow-checked size arithmetic and the ceiling on one pixel block.
#pragma once

#include "shared_rules.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace zarn {

inline std::optional<std::size_t> checked_mul(std::size_t a, std::size_t b)
{
    std::size_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
    return product;
}

inline std::optional<std::size_t> checked_add(std::size_t a, std::size_t b)
{
    std::size_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
    return sum;
}

// Bytes of one in-memory row: packed for 1 bit, one byte per index for 2..8
// bits, three bytes per pixel for 24. Anything else has no row layout.
inline std::optional<std::size_t> row_bytes(std::int64_t width, int bits)
{
    if (width <= 0) return std::nullopt;
    const auto w = static_cast<std::size_t>(width);
    if (bits == 1) return (w + 7) / 8;
    if (bits >= 2 && bits <= 8) return w;
    if (bits == 24) return checked_mul(w, 3);
    return std::nullopt;
}

// Bytes of an image of `height` rows of `width` pixels, or nothing when it
// overflows or passes the ceiling of max_image_bytes().
std::optional<std::size_t> image_bytes(std::int64_t width, std::int64_t height, int bits);

template <typename T>
constexpr std::uint8_t clamp_channel(T value)
{
    return static_cast<std::uint8_t>(value < T(0) ? 0 : value > T(255) ? 255 : value);
}

}  // namespace zarn
