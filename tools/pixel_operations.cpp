// zarnconv's pixel operations: reading their option values and running them on the library's record.
#include "pixel_operations.h"

#include "operations.h"  // the library's own, from its static copy
#include "process_codes.h"
#include "record.h"
#include "text.h"

#include <climits>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

namespace zarnconv {
namespace {

using Kind = Operation::Kind;
using zarn::kind_bit;
using zarn::Outcome;

struct OptionEntry {
    std::string_view name;
    Kind kind;
    bool takes_value;
};

constexpr OptionEntry kOptions[] = {
    {"--grey", Kind::Grey, false},    {"--dither", Kind::Dither, false}, {"--reduce", Kind::Reduce, false},
    {"--rotate", Kind::Rotate, true}, {"--resize", Kind::Resize, true},  {"--crop", Kind::Crop, true},
    {"--effect", Kind::Effect, true},
};

const OptionEntry* find_option(std::string_view name)
{
    for (const OptionEntry& entry : kOptions)
        if (entry.name == name) return &entry;
    return nullptr;
}

// The library's processing codes and what each does; the work, and the
// kinds each takes, are the library's (process_code, process_code_kinds).
const zarn::ProcessCodeText* find_effect(int code)
{
    for (const zarn::ProcessCodeText& entry : zarn::kProcessCodes)
        if (+entry.code == code) return &entry;
    return nullptr;
}

Outcome run(PicImage* pic, const Operation& operation)
{
    const auto& v = operation.values;
    switch (operation.kind) {
    case Kind::Grey: return zarn::carried_out(zarn::make_grey(pic));
    case Kind::Dither: return zarn::carried_out(zarn::ordered_dither(pic));
    case Kind::Reduce: return zarn::carried_out(zarn::reduce_diffused(pic));
    case Kind::Rotate:
        // The library turns by quarters clockwise; half and three-quarter
        // turns are two and three of them.
        for (int turn = 0; turn < v[0] / 90; ++turn)
            if (!zarn::rotate_quarter(pic)) return Outcome::kRefused;
        return Outcome::kChanged;
    case Kind::Resize: return zarn::carried_out(zarn::resize_image(pic, v[0], v[1]));
    case Kind::Crop: return zarn::carried_out(zarn::crop_image(pic, v[0], v[1], v[2], v[3]));
    case Kind::Effect: return zarn::process_code(pic, v[0]);
    }
    return Outcome::kRefused;
}

std::uint32_t accepted_kinds(const Operation& operation)
{
    switch (operation.kind) {
    case Kind::Grey: return zarn::kGreyKinds;
    case Kind::Rotate: return zarn::kRotateKinds;
    case Kind::Dither:
    case Kind::Reduce: return zarn::kTrueColourKind;
    case Kind::Resize: return zarn::kAnyKind;
    case Kind::Crop: return zarn::kCropKinds;
    case Kind::Effect: return zarn::process_code_kinds(operation.values[0]);
    }
    return 0;
}

// 2- to 7-bit records hold one palette index per byte, as 8-bit ones do:
// an operation that takes 8-bit images but not their own kind gets them
// as 8-bit, with the same palette.
void widen_for(PicImage* pic, std::uint32_t kinds)
{
    if (!zarn::takes(pic, kinds) && zarn::takes(pic, zarn::kPaletteKinds) && (kinds & kind_bit(8))) pic->bits = 8;
}

// "24-bit", "1-, 4-, 8- or 24-bit", "2- to 8- or 24-bit".
std::string depth_list(std::uint32_t kinds)
{
    std::vector<std::string> runs;
    for (int bits = 1; bits <= 24; ++bits) {
        if (!(kinds & kind_bit(bits))) continue;
        int last = bits;
        while (last < 24 && (kinds & kind_bit(last + 1))) ++last;
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

// Splits `text` at every one of `separators` into exactly `count` whole
// numbers of at least `low` each; nothing when the count or any number is wrong.
std::optional<std::array<int, 4>> number_list(std::string_view text, std::string_view separators, std::size_t count,
                                              const std::array<int, 4>& low)
{
    std::array<int, 4> values{};
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t end = i + 1 < count ? text.find_first_of(separators) : text.size();
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
        const auto size = number_list(value, "xX", 2, {1, 1});
        if (!size) return refuse("WIDTHxHEIGHT, both at least 1");
        operation.values = *size;
        break;
    }
    case Kind::Crop: {
        const auto area = number_list(value, ",", 4, {0, 0, 1, 1});
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
    const std::uint32_t kinds = accepted_kinds(operation);
    widen_for(pic, kinds);
    Outcome outcome = Outcome::kRefused;
    try {
        outcome = run(pic, operation);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    }
    if (outcome != Outcome::kRefused) return {};

    const std::string size = std::to_string(pic->width) + "x" + std::to_string(pic->height);
    if (!zarn::takes(pic, kinds)) {
        std::string why =
            "it works on " + depth_list(kinds) + " images, and this one is " + std::to_string(pic->bits) + "-bit";
        if (kinds == zarn::kTrueColourKind && zarn::takes(pic, zarn::kPaletteKinds))
            why += " (--effect 1 first makes it 24-bit)";
        return why;
    }
    if (operation.kind == Kind::Crop) {
        const auto& v = operation.values;
        if (std::int64_t(v[0]) + v[2] > pic->width || std::int64_t(v[1]) + v[3] > pic->height)
            return "the area does not fit inside the " + size + " image";
    }
    return "the " + size + " image is too large, or memory ran out";
}

std::string effect_code_listing()
{
    std::string text;
    for (const zarn::ProcessCodeText& entry : zarn::kProcessCodes) {
        std::string line = "      " + std::to_string(+entry.code);
        line.resize(12, ' ');
        text += line + std::string(entry.what) + "\n";
    }
    return text;
}

}  // namespace zarnconv
