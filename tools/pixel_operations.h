// The pixel operations zarnconv can apply between reading an image and writing it.
#pragma once

#include "zarngfx.h"

#include <array>
#include <string>
#include <string_view>

namespace zarnconv {

struct Operation {
    enum class Kind { Grey, Dither, Reduce, Rotate, Resize, Crop, Effect };
    Kind kind = Kind::Grey;
    // Rotate: degrees clockwise (90, 180 or 270). Resize: width, height.
    // Crop: x, y, width, height. Effect: the processing code.
    std::array<int, 4> values{};
    std::string text;  // the option as given ("--crop 0,0,8,8"), for messages

    bool operator==(const Operation&) const = default;
};

// Whether `name` ("--crop") is an operation option, and whether it takes a value.
bool is_operation_option(std::string_view name);
bool operation_takes_value(std::string_view name);

struct OperationParse {
    Operation operation;
    std::string error;  // empty when the value was understood
    bool ok() const { return error.empty(); }
};

// The operation for option `name` with `value` (empty for the flags).
OperationParse parse_operation(std::string_view name, std::string_view value);

// Applies `operation` to the image in `pic`: empty when it was carried out,
// else why the image was left as it was.
std::string apply_operation(PicImage* pic, const Operation& operation);

// The --effect codes, one per line, for the help text.
std::string effect_code_listing();

}  // namespace zarnconv
