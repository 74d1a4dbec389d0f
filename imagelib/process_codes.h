// The processing codes of _bmprocess, by name: the library's dispatch, the
// viewer's commands and the converter's --effect listing all use this list.
#pragma once

#include <string_view>

namespace zarn {

enum class ProcessCode : int {
    Rotate = 0,
    Expand24 = 1,
    OrderedDither = 2,
    Grey = 3,
    Sharpen = 4,
    Soften = 5,
    MoreContrast = 6,
    LessContrast = 7,
    Brighter = 8,
    Darker = 9,
    LightenTop = 10,
    MoreRed = 11,
    MoreGreen = 12,
    MoreBlue = 13,
    LessRed = 14,
    LessGreen = 15,
    LessBlue = 16,
    BrighterMoreContrast = 17,
    DarkerLessContrast = 18,
    StretchLevels = 19,
    Sepia = 20,
    Emboss = 21,
    CrossRelief = 22,
    Warmer = 23,
    Cooler = 24,
    ContrastHighlights = 25,
    ContrastShadows = 26,
    ContrastMidtones = 27,
    RotateAlso = 100,
    Expand24Also = 101,
    Reduce256 = 102,
    GreyAlso = 103,
    Mono = 104,
    InvertMono = 105,
    BrighterMoreContrastTwice = 200,
    BrighterMoreContrastThrice = 201,
};

constexpr int operator+(ProcessCode code)
{
    return static_cast<int>(code);
}

// Every code with what it does, in ascending order.
struct ProcessCodeText {
    ProcessCode code;
    std::string_view what;
};

inline constexpr ProcessCodeText kProcessCodes[] = {
    {ProcessCode::Rotate, "quarter turn clockwise (also 100)"},
    {ProcessCode::Expand24, "palette image to 24-bit (also 101)"},
    {ProcessCode::OrderedDither, "ordered dither to the fixed palette"},
    {ProcessCode::Grey, "8-bit greyscale (also 103)"},
    {ProcessCode::Sharpen, "sharpen"},
    {ProcessCode::Soften, "soften"},
    {ProcessCode::MoreContrast, "more contrast"},
    {ProcessCode::LessContrast, "less contrast"},
    {ProcessCode::Brighter, "brighter"},
    {ProcessCode::Darker, "darker"},
    {ProcessCode::LightenTop, "lighten, most at the top, fading to nothing at the bottom"},
    {ProcessCode::MoreRed, "more red"},
    {ProcessCode::MoreGreen, "more green"},
    {ProcessCode::MoreBlue, "more blue"},
    {ProcessCode::LessRed, "less red (a double step)"},
    {ProcessCode::LessGreen, "less green"},
    {ProcessCode::LessBlue, "less blue"},
    {ProcessCode::BrighterMoreContrast, "brighter, more contrast"},
    {ProcessCode::DarkerLessContrast, "darker, less contrast"},
    {ProcessCode::StretchLevels, "stretch the levels to the full range"},
    {ProcessCode::Sepia, "sepia"},
    {ProcessCode::Emboss, "emboss"},
    {ProcessCode::CrossRelief, "cross relief"},
    {ProcessCode::Warmer, "warmer (more red, less blue)"},
    {ProcessCode::Cooler, "cooler (less red, more blue)"},
    {ProcessCode::ContrastHighlights, "more contrast in levels 128..255 only"},
    {ProcessCode::ContrastShadows, "more contrast in levels 0..128 only"},
    {ProcessCode::ContrastMidtones, "more contrast in levels 64..196 only"},
    {ProcessCode::RotateAlso, "as 0"},
    {ProcessCode::Expand24Also, "as 1"},
    {ProcessCode::Reduce256, "reduce to 256 colours with error diffusion"},
    {ProcessCode::GreyAlso, "as 3"},
    {ProcessCode::Mono, "monochrome (greyscale, then two levels)"},
    {ProcessCode::InvertMono, "invert a monochrome image"},
    {ProcessCode::BrighterMoreContrastTwice, "code 17 twice"},
    {ProcessCode::BrighterMoreContrastThrice, "code 17 three times"},
};

}  // namespace zarn
