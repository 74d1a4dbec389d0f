// zarnconv's pixel operations: reading their option values and running them on the library's record.
#include "pixel_operations.h"

#include "operations.h"  // the library's own, from its static copy
#include "record.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

namespace zarnconv {
namespace {

using Kind = Operation::Kind;

// Colour depths an operation works on, one bit per depth: bit n for n-bit.
constexpr std::uint32_t depth(int bits)
{
    return std::uint32_t(1) << bits;
}
constexpr std::uint32_t kTrueColour = depth(24);
constexpr std::uint32_t kPalette2To8 = depth(2) | depth(3) | depth(4) | depth(5) | depth(6) | depth(7) | depth(8);
constexpr std::uint32_t kPalette4To8 = depth(4) | depth(5) | depth(6) | depth(7) | depth(8);
constexpr std::uint32_t kAnyDepth = depth(1) | kPalette2To8 | kTrueColour;

struct OptionEntry {
    std::string_view name;
    Kind kind;
    bool takes_value;
};

constexpr OptionEntry kOptions[] = {
    {"--grey", Kind::Grey, false},     {"--dither", Kind::Dither, false}, {"--reduce", Kind::Reduce, false},
    {"--rotate", Kind::Rotate, true},  {"--resize", Kind::Resize, true},  {"--crop", Kind::Crop, true},
    {"--effect", Kind::Effect, true},
};

const OptionEntry* find_option(std::string_view name)
{
    for (const OptionEntry& entry : kOptions)
        if (entry.name == name) return &entry;
    return nullptr;
}

// The library's processing codes. Each entry names what the code does and the
// depths it works on; the work itself is the library's process_code.
struct EffectCode {
    int code;
    std::uint32_t depths;
    std::string_view what;
};

constexpr EffectCode kEffectCodes[] = {
    {0, kPalette2To8 | kTrueColour, "quarter turn clockwise (also 100)"},
    {1, kPalette4To8, "palette image to 24-bit (also 101)"},
    {2, kTrueColour, "ordered dither to the fixed palette"},
    {3, kPalette2To8 | kTrueColour, "8-bit greyscale (also 103)"},
    {4, kTrueColour, "sharpen"},
    {5, kTrueColour, "soften"},
    {6, kTrueColour, "more contrast"},
    {7, kTrueColour, "less contrast"},
    {8, kTrueColour, "brighter"},
    {9, kTrueColour, "darker"},
    {10, kTrueColour, "lighten, most at the top, fading to nothing at the bottom"},
    {11, kTrueColour, "more red"},
    {12, kTrueColour, "more green"},
    {13, kTrueColour, "more blue"},
    {14, kTrueColour, "less red (a double step)"},
    {15, kTrueColour, "less green"},
    {16, kTrueColour, "less blue"},
    {17, kTrueColour, "brighter, more contrast"},
    {18, kTrueColour, "darker, less contrast"},
    {19, kTrueColour, "stretch the levels to the full range"},
    {20, kTrueColour, "sepia"},
    {21, kTrueColour, "emboss"},
    {22, kTrueColour, "cross relief"},
    {23, kTrueColour, "warmer (more red, less blue)"},
    {24, kTrueColour, "cooler (less red, more blue)"},
    {25, kTrueColour, "more contrast in levels 128..255 only"},
    {26, kTrueColour, "more contrast in levels 0..128 only"},
    {27, kTrueColour, "more contrast in levels 64..196 only"},
    {100, kPalette2To8 | kTrueColour, "as 0"},
    {101, kPalette4To8, "as 1"},
    {102, kTrueColour, "reduce to 256 colours with error diffusion"},
    {103, kPalette2To8 | kTrueColour, "as 3"},
    {104, kPalette2To8 | kTrueColour, "monochrome (greyscale, then two levels)"},
    {105, depth(1), "invert a monochrome image"},
    {200, kTrueColour, "code 17 twice"},
    {201, kTrueColour, "code 17 three times"},
};

const EffectCode* find_effect(int code)
{
    for (const EffectCode& entry : kEffectCodes)
        if (entry.code == code) return &entry;
    return nullptr;
}

bool run(PicImage* pic, const Operation& operation)
{
    const auto& v = operation.values;
    switch (operation.kind) {
    case Kind::Grey: return zarn::make_grey(pic);
    case Kind::Dither: return zarn::ordered_dither(pic);
    case Kind::Reduce: return zarn::reduce_diffused(pic);
    case Kind::Rotate:
        // The library turns by quarters clockwise; half and three-quarter
        // turns are two and three of them.
        for (int turn = 0; turn < v[0] / 90; ++turn)
            if (!zarn::rotate_quarter(pic)) return false;
        return true;
    case Kind::Resize: return zarn::resize_image(pic, v[0], v[1]);
    case Kind::Crop: return zarn::crop_image(pic, v[0], v[1], v[2], v[3]);
    case Kind::Effect: return zarn::process_code(pic, v[0]);
    }
    return false;
}

std::uint32_t accepted_depths(const Operation& operation)
{
    switch (operation.kind) {
    case Kind::Grey:
    case Kind::Rotate: return kPalette2To8 | kTrueColour;
    case Kind::Dither:
    case Kind::Reduce: return kTrueColour;
    case Kind::Resize: return kAnyDepth;
    case Kind::Crop: return depth(1) | depth(4) | depth(8) | depth(24);
    case Kind::Effect: {
        const EffectCode* entry = find_effect(operation.values[0]);
        return entry ? entry->depths : 0;
    }
    }
    return 0;
}

// "24-bit", "1-, 4-, 8- or 24-bit", "2- to 8- or 24-bit".
std::string depth_list(std::uint32_t depths)
{
    std::vector<std::string> runs;
    for (int bits = 1; bits <= 24; ++bits) {
        if (!(depths & depth(bits))) continue;
        int last = bits;
        while (last < 24 && (depths & depth(last + 1))) ++last;
        runs.push_back(last == bits ? std::to_string(bits) : std::to_string(bits) + "- to " + std::to_string(last));
        bits = last;
    }
    std::string text;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (i) text += i + 1 == runs.size() ? "- or " : "-, ";
        text += runs[i];
    }
    return text + "-bit";
}

std::optional<int> whole_number(std::string_view text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

// Splits `text` at every `separator` into exactly `count` whole numbers of
// at least `low` each; nothing when the count or any number is wrong.
std::optional<std::array<int, 4>> number_list(std::string_view text, char separator, std::size_t count,
                                              const std::array<int, 4>& low)
{
    std::array<int, 4> values{};
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t end = i + 1 < count ? text.find(separator) : text.size();
        if (end == std::string_view::npos) return std::nullopt;
        const auto value = whole_number(text.substr(0, end), low[i], INT_MAX);
        if (!value) return std::nullopt;
        values[i] = *value;
        text.remove_prefix(std::min(text.size(), end + 1));
    }
    return values;
}

}  // namespace

bool is_operation_option(std::string_view name)
{
    return find_option(name) != nullptr;
}

bool operation_takes_value(std::string_view name)
{
    const OptionEntry* entry = find_option(name);
    return entry && entry->takes_value;
}

OperationParse parse_operation(std::string_view name, std::string_view value)
{
    OperationParse result;
    const OptionEntry* entry = find_option(name);
    if (!entry) {
        result.error = "unknown option '" + std::string(name) + "'";
        return result;
    }
    Operation& operation = result.operation;
    operation.kind = entry->kind;
    operation.text = std::string(name);
    if (entry->takes_value) operation.text += " " + std::string(value);
    auto refuse = [&](std::string_view wanted) {
        result.error = std::string(name) + " takes " + std::string(wanted) + ", not '" + std::string(value) + "'";
        return result;
    };

    switch (entry->kind) {
    case Kind::Grey:
    case Kind::Dither:
    case Kind::Reduce: break;
    case Kind::Rotate: {
        const auto degrees = whole_number(value, 90, 270);
        if (!degrees || *degrees % 90 != 0) return refuse("90, 180 or 270 (degrees clockwise)");
        operation.values[0] = *degrees;
        break;
    }
    case Kind::Resize: {
        const std::string lower = [&] {
            std::string text(value);
            for (char& c : text)
                if (c == 'X') c = 'x';
            return text;
        }();
        const auto size = number_list(lower, 'x', 2, {1, 1});
        if (!size) return refuse("WIDTHxHEIGHT, both at least 1");
        operation.values = *size;
        break;
    }
    case Kind::Crop: {
        const auto area = number_list(value, ',', 4, {0, 0, 1, 1});
        if (!area) return refuse("X,Y,WIDTH,HEIGHT (X and Y from 0, WIDTH and HEIGHT at least 1)");
        operation.values = *area;
        break;
    }
    case Kind::Effect: {
        const auto code = whole_number(value, INT_MIN, INT_MAX);
        if (!code || !find_effect(*code)) return refuse("a code from the list in --help");
        operation.values[0] = *code;
        break;
    }
    }
    return result;
}

std::string apply_operation(PicImage* pic, const Operation& operation)
{
    bool done = false;
    try {
        done = run(pic, operation);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    }
    if (done) return {};

    const std::string size = std::to_string(pic->width) + "x" + std::to_string(pic->height);
    const std::uint32_t depths = accepted_depths(operation);
    if (pic->bits < 1 || pic->bits > 24 || !(depths & depth(pic->bits))) {
        std::string why = "it works on " + depth_list(depths) + " images, and this one is " +
                          std::to_string(pic->bits) + "-bit";
        if (depths == kTrueColour && (kPalette4To8 & depth(pic->bits))) why += " (--effect 1 first makes it 24-bit)";
        return why;
    }
    if (operation.kind == Kind::Crop) {
        const auto& v = operation.values;
        if (std::int64_t(v[0]) + v[2] > pic->width || std::int64_t(v[1]) + v[3] > pic->height)
            return "the area does not fit inside the " + size + " image";
    }
    return "the library left the " + size + " image unchanged (too large, or out of memory)";
}

std::string effect_code_listing()
{
    std::string text;
    for (const EffectCode& entry : kEffectCodes) {
        std::string line = "      " + std::to_string(entry.code);
        line.resize(12, ' ');
        text += line + std::string(entry.what) + "\n";
    }
    return text;
}

}  // namespace zarnconv
