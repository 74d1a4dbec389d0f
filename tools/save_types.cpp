// Parsing the library's save-type list and naming output files the way the library will.
#include "save_types.h"

#include "codecs.h"  // the library's own naming rule, from its static copy
#include "text.h"
#include "zarngfx.h"

namespace zarnconv {
namespace {

// The next field up to '|' (or the end), moving `text` past it.
std::string_view next_field(std::string_view& text)
{
    const std::size_t bar = text.find('|');
    const std::string_view field = text.substr(0, bar);
    text.remove_prefix(bar == std::string_view::npos ? text.size() : bar + 1);
    return field;
}

}  // namespace

std::vector<SaveFormat> parse_save_formats(std::string_view filter)
{
    std::vector<SaveFormat> formats;
    while (!filter.empty()) {
        const std::string_view description = next_field(filter);
        std::string_view pattern = next_field(filter);
        if (description.empty()) break;
        // "*.bmp" names the extension; a pattern list keeps only its first.
        pattern = pattern.substr(0, pattern.find(';'));
        if (pattern.starts_with('*')) pattern.remove_prefix(1);
        formats.push_back({int(formats.size()) + 1, std::string(description), std::string(pattern)});
    }
    return formats;
}

const std::vector<SaveFormat>& library_save_formats()
{
    static const std::vector<SaveFormat> formats = [] {
        const char* filter = _Pic_GetSaveFormats();
        return parse_save_formats(filter ? filter : "");
    }();
    return formats;
}

const SaveFormat* find_by_extension(const std::vector<SaveFormat>& formats, std::string_view extension)
{
    if (extension.starts_with('.')) extension.remove_prefix(1);
    if (extension.empty()) return nullptr;
    for (const SaveFormat& format : formats) {
        std::string_view own = format.extension;
        if (own.starts_with('.')) own.remove_prefix(1);
        if (same_ignoring_case(own, extension)) return &format;
    }
    return nullptr;
}

const SaveFormat* lossless_kind(const std::vector<SaveFormat>& formats, const SaveFormat& format)
{
    if (format.description.ends_with(" lossless")) return &format;
    for (const SaveFormat& other : formats)
        if (other.description == format.description + " lossless" &&
            same_ignoring_case(other.extension, format.extension))
            return &other;
    return nullptr;
}

const SaveFormat* find_by_type(const std::vector<SaveFormat>& formats, int type)
{
    if (type < 1 || type > int(formats.size())) return nullptr;
    return &formats[std::size_t(type - 1)];
}

std::string_view file_name(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view file_extension(std::string_view path)
{
    return path.substr(zarn::save_extension_start(path));
}

std::string with_extension(std::string_view path, std::string_view extension)
{
    const std::string_view old = file_extension(path);
    std::string result(path.substr(0, path.size() - old.size()));
    result += extension;
    return result;
}

std::string stem(std::string_view path)
{
    const std::string_view name = file_name(path);
    return std::string(name.substr(0, name.size() - file_extension(name).size()));
}

}  // namespace zarnconv
