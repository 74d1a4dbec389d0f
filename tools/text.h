// Small text helpers zarnconv's option parsing and naming share.
#pragma once

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>

namespace zarnconv {

// The whole of `text` as a decimal number from `low` to `high`, else nothing.
inline std::optional<int> whole_number(std::string_view text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

inline bool same_ignoring_case(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace zarnconv
