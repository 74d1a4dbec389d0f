// The library's save types as zarnconv names them, and the output names they lead to.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarnconv {

struct SaveFormat {
    int type = 0;             // 1-based position in the library's list, what _Pic_Write takes
    std::string description;  // "Windows Bitmap"
    std::string extension;    // with its dot, as the library puts it on the output: ".bmp"
};

// Splits a filter text "Description|*.ext|Description|*.ext|..." into save
// types, numbered by position. A pair without a description ends the list.
std::vector<SaveFormat> parse_save_formats(std::string_view filter);

// The running library's save types, read once.
const std::vector<SaveFormat>& library_save_formats();

// The first save type with this extension ("bmp" or ".bmp", any case), else null.
const SaveFormat* find_by_extension(const std::vector<SaveFormat>& formats, std::string_view extension);
const SaveFormat* find_by_type(const std::vector<SaveFormat>& formats, int type);
// The lossless kind of `format`'s own ("WebP" -> "WebP lossless", the same
// extension), `format` itself when it is one; null when there is none.
const SaveFormat* lossless_kind(const std::vector<SaveFormat>& formats, const SaveFormat& format);

// The file-name part of a path: what follows its last slash.
std::string_view file_name(std::string_view path);
// The file name's extension with its dot, "" when it has none. A dot that
// starts the name (".hidden") is no extension, matching the library.
std::string_view file_extension(std::string_view path);
// `path` as the library writes it: the file name's extension replaced by
// `extension`, or `extension` appended when the name has none.
std::string with_extension(std::string_view path, std::string_view extension);
// The file name without its extension: "photos/cat.gif" gives "cat".
std::string stem(std::string_view path);

}  // namespace zarnconv
