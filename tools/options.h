// zarnconv's command line: what it asks for, and the parser that reads it.
#pragma once

#include "pixel_operations.h"
#include "save_types.h"

#include <span>
#include <string>
#include <vector>

namespace zarnconv {

struct Options {
    enum class Action { Convert, Help, ListFormats, Thumbnail };
    Action action = Action::Convert;
    std::vector<std::string> inputs;
    std::string output;
    int save_type = 0;  // 0 until --type names one; then the output's extension decides
    int quality = 75;
    int jpeg_scale = 0;
    int photocd = 0;
    int threads = 1;
    int thumbnail_size = 0;  // --thumbnail: the longer side of the one picture made
    bool quiet = false;
    bool lossless = false;          // the lossless kind of the output's format (WebP, JPEG XL)
    bool keep_orientation = false;  // JPEG pixels as stored, not turned by their Exif orientation
    bool keep_colours = false;      // pixels as stored, not turned to sRGB by their colour profile
    bool strip = false;             // no EXIF, XMP or IPTC copied from the input to the output
    // Applied in this order between reading and writing.
    std::vector<Operation> operations;
};

struct ParseResult {
    Options options;
    std::string error;  // empty when the command line was understood
    bool ok() const { return error.empty(); }
};

// Reads the arguments after the program name. `formats` resolves --type
// given as an extension word.
ParseResult parse_arguments(std::span<const char* const> arguments, const std::vector<SaveFormat>& formats);

std::string usage_text();

// The --list-formats listing: readable formats from the library's table, then `formats`.
std::string format_listing(const std::vector<SaveFormat>& formats);

}  // namespace zarnconv
