// Parsing zarnconv's command line, its help text and its format listing.
#include "options.h"

#include "text.h"
#include "zarngfx.h"

#include <cstdio>
#include <optional>
#include <string_view>

namespace zarnconv {
namespace {

constexpr int kMaxThreads = 256;
constexpr int kMaxThumbnail = 1024;

// Steps through the arguments, taking an option's value either joined
// ("--quality=90", "-j4") or from the next argument.
class ArgumentCursor {
public:
    explicit ArgumentCursor(std::span<const char* const> arguments) : arguments_(arguments) {}

    bool done() const { return next_ >= arguments_.size(); }
    std::string_view take() { return arguments_[next_++]; }
    std::optional<std::string_view> value(std::string_view joined)
    {
        if (!joined.empty()) return joined;
        if (done()) return std::nullopt;
        return take();
    }

private:
    std::span<const char* const> arguments_;
    std::size_t next_ = 0;
};

struct NumberOption {
    std::string_view long_name;
    char short_name;
    int low, high;
    int Options::*field;
};

constexpr NumberOption kNumberOptions[] = {
    {"--quality", 0, 1, 100, &Options::quality},
    {"--jpeg-scale", 0, 0, 3, &Options::jpeg_scale},
    {"--photocd", 0, 0, 4, &Options::photocd},
    {"--jobs", 'j', 1, kMaxThreads, &Options::threads},
};

// --type takes a number from the list or an extension word.
std::string set_save_type(Options& options, std::string_view text, const std::vector<SaveFormat>& formats)
{
    if (const auto number = whole_number(text, 1, int(formats.size()))) {
        options.save_type = *number;
        return {};
    }
    if (const SaveFormat* format = find_by_extension(formats, text)) {
        options.save_type = format->type;
        return {};
    }
    return "unknown save type '" + std::string(text) + "' (see --list-formats)";
}

// Splits "--name=value" and "-xVALUE" into the option and its joined value.
std::pair<std::string_view, std::string_view> split_joined(std::string_view argument)
{
    if (argument.starts_with("--")) {
        const std::size_t equals = argument.find('=');
        if (equals == std::string_view::npos) return {argument, {}};
        return {argument.substr(0, equals), argument.substr(equals + 1)};
    }
    return {argument.substr(0, 2), argument.substr(2)};
}

}  // namespace

ParseResult parse_arguments(std::span<const char* const> arguments, const std::vector<SaveFormat>& formats)
{
    ParseResult result;
    Options& options = result.options;
    std::vector<std::string> paths;
    ArgumentCursor cursor(arguments);
    bool options_ended = false;

    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };

    while (!cursor.done()) {
        const std::string_view argument = cursor.take();
        if (options_ended || argument == "-" || !argument.starts_with('-')) {
            paths.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            options_ended = true;
            continue;
        }
        const auto [name, joined] = split_joined(argument);
        auto is = [&, name = name](std::string_view long_name, char short_name) {
            return name == long_name || (short_name && name.size() == 2 && name[1] == short_name);
        };
        // Flags take no value: "-qx" or "--quiet=1" is a mistake, not a flag.
        auto flag = [&, joined = joined](std::string_view long_name, char short_name) {
            return is(long_name, short_name) && joined.empty();
        };

        if (flag("--help", 'h')) {
            options.action = Options::Action::Help;
        } else if (flag("--list-formats", 0)) {
            options.action = Options::Action::ListFormats;
        } else if (flag("--quiet", 'q')) {
            options.quiet = true;
        } else if (flag("--lossless", 0)) {
            options.lossless = true;
        } else if (flag("--keep-orientation", 0)) {
            options.keep_orientation = true;
        } else if (flag("--keep-colours", 0)) {
            options.keep_colours = true;
        } else if (flag("--strip", 0)) {
            options.strip = true;
        } else if (is("--thumbnail", 0)) {
            const auto text = cursor.value(joined);
            const auto size = text ? whole_number(*text, 1, kMaxThumbnail) : std::nullopt;
            if (!size) return fail("--thumbnail takes a size from 1 to " + std::to_string(kMaxThumbnail));
            options.action = Options::Action::Thumbnail;
            options.thumbnail_size = *size;
        } else if (is("--type", 't')) {
            const auto text = cursor.value(joined);
            if (!text) return fail("--type needs a value");
            if (std::string error = set_save_type(options, *text, formats); !error.empty()) return fail(error);
        } else if (is_operation_option(name)) {
            std::string_view value;
            if (operation_takes_value(name)) {
                const auto text = cursor.value(joined);
                if (!text) return fail(std::string(name) + " needs a value");
                value = *text;
            } else if (!joined.empty()) {
                return fail(std::string(name) + " takes no value");
            }
            OperationParse parsed = parse_operation(name, value);
            if (!parsed.ok()) return fail(parsed.error);
            options.operations.push_back(std::move(parsed.operation));
        } else {
            const NumberOption* number = nullptr;
            for (const NumberOption& candidate : kNumberOptions)
                if (is(candidate.long_name, candidate.short_name)) number = &candidate;
            if (!number) return fail("unknown option '" + std::string(argument) + "'");
            const auto text = cursor.value(joined);
            if (!text) return fail(std::string(number->long_name) + " needs a value");
            const auto value = whole_number(*text, number->low, number->high);
            if (!value)
                return fail(std::string(number->long_name) + " takes a whole number from " +
                            std::to_string(number->low) + " to " + std::to_string(number->high) + ", not '" +
                            std::string(*text) + "'");
            options.*(number->field) = *value;
        }
    }

    if (options.action == Options::Action::Thumbnail) {
        if (paths.size() != 2) return fail("--thumbnail takes one input and one output");
        options.output = std::move(paths.back());
        paths.pop_back();
        options.inputs = std::move(paths);
        return result;
    }
    if (options.action != Options::Action::Convert) return result;
    if (paths.size() < 2) return fail(paths.empty() ? "no input and output given" : "no output given");
    options.output = std::move(paths.back());
    paths.pop_back();
    options.inputs = std::move(paths);
    return result;
}

std::string usage_text()
{
    std::string text = R"(Usage: zarnconv [options] INPUT OUTPUT
       zarnconv [options] --type TYPE INPUT... FOLDER
       zarnconv --thumbnail SIZE INPUT OUTPUT.png
Converts images between the formats the zarngfx library reads and writes.

With one input the save type comes from --type, else from OUTPUT's extension.
The file is written with the save type's extension: "out.png" with --type 1
is written as "out.bmp", and zarnconv says so.

With several inputs, or when OUTPUT is an existing folder or ends in "/",
each input is written into that folder under its own name with the save
type's extension ("photos/cat.gif" becomes "FOLDER/cat.bmp"); --type is
required then. A folder ending in "/" is created when missing.

No input is ever written over: a conversion whose output would be one of
the inputs, or the output of another conversion of the same run, is
skipped with a message, and the others go ahead.

Options:
  -t, --type TYPE     save type: its number from --list-formats, or an
                      extension word (bmp, jpg, ...) for the first type
                      with that extension
      --quality N     JPEG, WebP, AVIF and JPEG XL quality, 1..100
                      (default 75)
      --lossless      the lossless kind of the output's format (WebP
                      lossless, JPEG XL lossless)
      --jpeg-scale N  read JPEG files at 0 full size (default), 1 half,
                      2 a quarter or 3 an eighth of their width and height
      --keep-orientation
                      read JPEG pixels as stored, not turned upright by
                      the photo's Exif orientation
      --keep-colours  keep the pixels as stored, not converted to sRGB
                      through the file's colour profile, which then goes
                      into the output with the photo's metadata
      --strip         write no metadata: by default the input's EXIF, XMP
                      and IPTC (date, camera, GPS position...) go into the
                      output when its format can carry them
      --photocd N     read PhotoCD files at 1 192x128, 2 384x256, or
                      0 (default), 3 or 4 768x512 pixels
      --thumbnail SIZE
                      instead of converting, write a PNG thumbnail of INPUT
                      at most SIZE pixels on its longer side to OUTPUT,
                      with the entries of the desktop's thumbnail cache
                      (the file's URI, modification time and size)
  -j, --jobs N        convert N files at a time (default 1)
  -q, --quiet         no progress bar and no notes; errors are still shown
      --list-formats  list the readable formats and the save types
  -h, --help          show this text

Pixel operations, applied in the order given, after reading and before
writing (any number, each as often as wanted):
      --grey          8-bit greyscale
      --dither        24-bit to the library's fixed palette, ordered dither
      --reduce        24-bit to at most 256 colours, error diffusion
      --rotate DEG    turn clockwise by 90, 180 or 270 degrees
      --resize WxH    scale to W by H pixels (enlarged 24-bit is smoothed)
      --crop X,Y,W,H  keep the W by H area whose top-left pixel is X,Y; on
                      1-bit images X is rounded down to a multiple of 8
      --effect CODE   one of the library's processing codes:
)";
    text += effect_code_listing();
    text += R"(
An operation that cannot work on the image (--dither on an 8-bit one, a
crop outside it) fails that file, which is then not written; one that finds
nothing to change (--effect 19 on a flat picture) writes it as it is. Most
effects need 24-bit pixels: --effect 1 first turns a palette image into
24-bit.

Exit status: 0 when every conversion succeeded, 1 when any failed (the
others are still converted), 2 for a command line that cannot be used.
)";
    return text;
}

std::string format_listing(const std::vector<SaveFormat>& formats)
{
    std::string text = "Readable formats:\n";
    char line[512];
    for (int i = 1; i <= _Pic_Count(); ++i) {
        std::snprintf(line, sizeof line, "  %-28s %-24s %s\n", _Pic_Description(i), _Pic_Pattern(i), _Pic_Copyright(i));
        text += line;
    }
    text += "\nSave types (--type N, or the output's extension picks the first match):\n";
    for (const SaveFormat& format : formats) {
        std::snprintf(line, sizeof line, "  %2d  %-34s %s\n", format.type, format.description.c_str(),
                      format.extension.c_str());
        text += line;
    }
    return text;
}

}  // namespace zarnconv
