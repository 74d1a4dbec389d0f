// The format table, detection, and the read, write and conversion entry points.
#include "codecs.h"
#include "operations.h"
#include "platform.h"
#include "record.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>

namespace zarn {
namespace {

constexpr const char* kOwnCredit = "ZarnGfx image library (c) 1995-1999 Zarn";

struct FormatRow {
    const char* name;  // as in "not a BMP file"
    const char* description;
    const char* pattern;
    const char* extension;
    const char* credit;
    ReaderFn reader;  // null until the format's reader exists
};

// Indexed by format code; row 0 is all formats together.
const std::array<FormatRow, 12> kFormats{{
    {nullptr, "All Image Files", "*.bmp;*.gif;*.ppm;*.pbm;*.pgm;*.jpg;*.pcd;*.tif;*.tga;*.pcx;*.png;*.iff;*.r8;*.?af", "", "",
     nullptr},
    {"BMP", "Windows Bitmap", "*.bmp", "bmp", kOwnCredit,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_bmp(path, pic); }},
    {"GIF", "Compuserve Gif", "*.gif", "gif", kOwnCredit,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_gif(path, pic); }},
    {"PBMPlus", "PBMPlus", "*.ppm;*.pgm;*.pbm", "ppm,pgm,pbm", kOwnCredit,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_pbm(path, pic); }},
    {"JPEG", "Jpeg/JFIF", "*.jpg", "jpg", "JPEG codec: libjpeg-turbo, libjpeg 6 interface, 1991-2023",
     [](const char* path, PicImage* pic, const ReadOptions& options) { return read_jpeg(path, pic, options.jpeg_scale); }},
    {"PhotoCD", "Kodak PhotoCD", "*.pcd", "pcd", "PhotoCD base-resolution decoder, 1993-1999",
     [](const char* path, PicImage* pic, const ReadOptions& options) { return read_photocd(path, pic, options.pcd_resolution); }},
    {"TIFF", "Aldus TIFF", "*.tif", "tif", "TIFF codec: libtiff, 1988-2023",
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_tiff(path, pic); }},
    {"Targa", "Truevision Targa", "*.tga", "tga", kOwnCredit,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_targa(path, pic); }},
    {"PCX", "ZSoft Paintbrush", "*.pcx", "pcx", kOwnCredit,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_pcx(path, pic); }},
    {"PNG", "Portable Network Graphics", "*.png", "png", "PNG codec: libpng, 1995-2023",
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_png(path, pic); }},
    {"IFF", "Amiga IFF", "*.iff", "iff", kOwnCredit,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_iff(path, pic); }},
    {"texture", "FS Texture", "*.R8;*.txr;*.?af", "R8", kOwnCredit,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_texture(path, pic); }},
}};
constexpr FormatRow kOtherFormat{nullptr, "Other Image File", "*.*", "", "", nullptr};

constexpr int kJpegCode = 4;
constexpr int kTiffCode = 6;
constexpr int kJpegOrTiffCode = 100;

struct SaveType {
    const char* extension;
    WriterFn writer;  // null until the format's writer exists
    int variant;
};

// Indexed by save type - 1, in the order of kSaveFilter.
const std::array<SaveType, 15> kSaveTypes{{
    {".bmp", [](const char* path, PicImage* pic, int, int) { return write_bmp(path, pic); }, 0},
    {".jpg", [](const char* path, PicImage* pic, int, int quality) { return write_jpeg(path, pic, quality, false); }, 0},
    {".jpg", [](const char* path, PicImage* pic, int, int quality) { return write_jpeg(path, pic, quality, true); }, 1},
    {".tif", [](const char* path, PicImage* pic, int variant, int) { return write_tiff(path, pic, variant); }, 0},
    {".tif", [](const char* path, PicImage* pic, int variant, int) { return write_tiff(path, pic, variant); }, 1},
    {".tif", [](const char* path, PicImage* pic, int variant, int) { return write_tiff(path, pic, variant); }, 2},
    {".tif", [](const char* path, PicImage* pic, int variant, int) { return write_tiff(path, pic, variant); }, 3},
    {".tif", [](const char* path, PicImage* pic, int variant, int) { return write_tiff(path, pic, variant); }, 4},
    {".png", [](const char* path, PicImage* pic, int, int) { return write_png(path, pic); }, 0},
    {".gif", [](const char* path, PicImage* pic, int, int) { return write_gif(path, pic); }, 0},
    {".ppm", [](const char* path, PicImage* pic, int variant, int) { return write_pbm(path, pic, variant); }, 2},
    {".pgm", [](const char* path, PicImage* pic, int variant, int) { return write_pbm(path, pic, variant); }, 1},
    {".pbm", [](const char* path, PicImage* pic, int variant, int) { return write_pbm(path, pic, variant); }, 0},
    {".iff", [](const char* path, PicImage* pic, int, int) { return write_iff(path, pic); }, 0},
    {".r8", [](const char* path, PicImage* pic, int, int) { return write_texture(path, pic); }, 0},
}};

constexpr const char* kSaveFilter =
    "Windows Bitmap|*.bmp|Jpeg/JFIF 24bit|*.jpg|Jpeg/JFIF Greyscale|*.jpg|TIFF uncompressed|*.tif|TIFF lzw|*.tif|"
    "TIFF packbits|*.tif|TIFF CCITT Fax3|*.tif|TIFF CCITT Fax4|*.tif|Portable Network Graphics (png)|*.png|"
    "Compuserve Gif|*.gif|PBMPlus 24bit (ppm)|*.ppm|PBMPlus Greyscale (pgm)|*.pgm|PBMPlus Monochrome (pbm)|*.pbm|"
    "Amiga IFF|*.iff|FS Texture (256x256)|*.r8|";

// Extension patterns in the order they are tried, with their codes.
constexpr std::array<std::pair<const char*, int>, 16> kExtensions{{
    {".bmp", 1}, {".gif", 2}, {".ppm", 3}, {".pgm", 3}, {".pbm", 3}, {".jpg", 4}, {".pcd", 5}, {".tif", 6},
    {".tga", 7}, {".pcx", 8}, {".png", 9}, {".iff", 10}, {".r8", 11}, {".txr", 11}, {".?af", 11}, {".xif", 100},
}};

const FormatRow& format_row(int index)
{
    return index >= 0 && index < int(kFormats.size()) ? kFormats[std::size_t(index)] : kOtherFormat;
}

bool same_text_ignoring_case(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

// A pattern whose second character is "?" stands for any one character there.
bool extension_matches(const char* pattern, const char* extension)
{
    if (pattern[1] == '?')
        return extension[0] == pattern[0] && extension[1] && same_text_ignoring_case(pattern + 2, extension + 2);
    return same_text_ignoring_case(pattern, extension);
}

// From the last dot of the whole path to its end; a dot in a folder name
// counts too. No dot, or a dot only at the very start, gives no extension.
std::size_t extension_start(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos || dot == 0 ? path.size() : dot;
}

int detect_by_content(const char* path)
{
    FilePtr stream{std::fopen(path, "rb")};
    if (!stream) return 0;
    unsigned char head[12] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, stream.get());
    return format_from_signature(head, got);
}

int extension_code(const char* path)
{
    const std::string text = path;
    return _Pic_ExtValid(text.c_str() + extension_start(text));
}

// A reader that gave up without a reason gets one: the file vanished or
// cannot be opened, or else the reader could not make sense of it.
int run_reader(const FormatRow& row, const char* path, PicImage* pic, const ReadOptions& options)
{
    clear_failure();
    set_reading_format(row.name);
    if (row.reader && row.reader(path, pic, options)) return 1;
    if (last_failure() == Failure::None) {
        const FilePtr probe{std::fopen(path, "rb")};
        if (!probe) fail_to_open();
        else set_failure(Failure::Unreadable);
    }
    return 0;
}

int read_any(const char* path, PicImage* pic, const ReadOptions& options)
{
    const int code = _Pic_Valid(path);
    if (code == kJpegOrTiffCode) {
        for (int candidate : {kJpegCode, kTiffCode})
            if (run_reader(format_row(candidate), path, pic, options)) return 1;
        return 0;
    }
    if (code < 1 || code >= int(kFormats.size())) {
        const FilePtr probe{std::fopen(path, "rb")};
        if (!probe) fail_to_open();
        else set_failure(Failure::NotAPicture);
        return 0;
    }
    return run_reader(kFormats[std::size_t(code)], path, pic, options);
}

// Puts `extension` where save_extension_start() says; the buffer has room
// for four more characters.
void replace_extension(char* path, const char* extension)
{
    std::strcpy(path + save_extension_start(path), extension);
}

int write_as(char* path, PicImage* pic, int save_type, int quality)
{
    if (save_type < 1 || save_type > int(kSaveTypes.size())) return 0;
    const SaveType& type = kSaveTypes[std::size_t(save_type - 1)];
    replace_extension(path, type.extension);
    // GIF takes at most 256 colours; the fax and PBM types take two. A
    // conversion that runs out of memory fails the save rather than handing
    // the writer an image it cannot store.
    if (pic->bits == 24 && save_type == 10 && !reduce_diffused(pic)) return 0;
    if (pic->bits != 1 && (save_type == 7 || save_type == 8 || save_type == 13))
        if (!make_grey(pic) || !make_mono(pic)) return 0;
    if (pic->bits == 1 && (save_type == 2 || save_type == 3)) {
        show_message("Cannot save 2 Colour Images\nin Jpeg Format", "ZarnGfx");
        return 0;
    }
    return type.writer ? type.writer(path, pic, type.variant, quality) : 0;
}

// A write that failed without a reason of its own.
int checked_write(int written)
{
    if (!written && last_failure() == Failure::None) set_failure(Failure::WriteFailed);
    return written;
}

int write_any(char* path, PicImage* pic, int save_type, int quality)
{
    return checked_write(write_as(path, pic, save_type, quality));
}

// Runs one read, conversion or write export with its failure reason kept:
// "" after a success, else what went wrong, at the least "out of memory" or
// that the picture could not be read.
template <typename Work>
int tracked(Work&& work) noexcept
{
    begin_attempt();
    int result = 0;
    try {
        result = work();
    } catch (const std::bad_alloc&) {
        set_failure(Failure::OutOfMemory);
    } catch (...) {
    }
    if (result) clear_failure();
    else if (last_failure() == Failure::None) set_failure(Failure::Unreadable);
    return result;
}

}  // namespace

std::size_t save_extension_start(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t name = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    return dot == std::string_view::npos || dot <= name ? path.size() : dot;
}

int format_from_signature(const unsigned char* head, std::size_t size)
{
    auto starts_with = [&](std::initializer_list<unsigned char> bytes) {
        return bytes.size() <= size && std::equal(bytes.begin(), bytes.end(), head);
    };
    if (starts_with({'B', 'M'})) return 1;
    if (starts_with({'G', 'I', 'F', '8'})) return 2;
    if (size >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6') return 3;
    if (starts_with({0xFF, 0xD8, 0xFF})) return 4;
    if (starts_with({'M', 'M'}) || starts_with({'I', 'I'})) return 6;
    if (starts_with({0x89, 'P', 'N', 'G'})) return 9;
    if (starts_with({'F', 'O', 'R', 'M'})) return 10;
    return 0;
}

}  // namespace zarn

using namespace zarn;

extern "C" {

ZARNGFX_EXPORT int _Pic_Count(void) { return int(kFormats.size()) - 1; }
ZARNGFX_EXPORT const char* _Pic_Description(int index) { return format_row(index).description; }
ZARNGFX_EXPORT const char* _Pic_Pattern(int index) { return format_row(index).pattern; }
ZARNGFX_EXPORT const char* _Pic_Extension(int index) { return format_row(index).extension; }
ZARNGFX_EXPORT const char* _Pic_Copyright(int index) { return format_row(index).credit; }
ZARNGFX_EXPORT const char* _Pic_GetSaveFormats(void) { return kSaveFilter; }

ZARNGFX_EXPORT int _Pic_ExtValid(const char* extension)
{
    if (!extension || !*extension) return 0;
    for (const auto& [pattern, code] : kExtensions)
        if (extension_matches(pattern, extension)) return code;
    return 0;
}

ZARNGFX_EXPORT int _Pic_Valid(const char* path)
{
    if (!path) return 0;
    return guarded([&] {
        const int code = extension_code(path);
        return code ? code : detect_by_content(path);
    });
}

ZARNGFX_EXPORT int _Pic_ValidExt(const char* path, int extension_only)
{
    if (!path) return 0;
    if (!extension_only) return _Pic_Valid(path);
    return guarded([&] { return extension_code(path); });
}

ZARNGFX_EXPORT const char* _Pic_FailureText(void) { return failure_text(); }
ZARNGFX_EXPORT const char* _Pic_WarningText(void) { return warning_text(); }

ZARNGFX_EXPORT int _Pic_Read(const char* path, PicImage* pic, int pcd_resolution, int jpeg_scale)
{
    if (!path || !pic) return 0;
    return tracked([&] { return read_any(path, pic, ReadOptions{pcd_resolution, jpeg_scale}); });
}

ZARNGFX_EXPORT int _Pic_Write(char* path, PicImage* pic, int save_type, int quality)
{
    if (!path || !pic) return 0;
    return tracked([&] { return write_any(path, pic, save_type, quality); });
}

ZARNGFX_EXPORT int _Pic_Convert(const char* in, const char* out, PicImage* pic, int pcd_resolution, int jpeg_scale,
                                int save_type, int quality)
{
    if (!in || !out || !pic) return 0;
    return tracked([&] {
        reset_image(pic);
        int result = 0;
        if (read_any(in, pic, ReadOptions{pcd_resolution, jpeg_scale})) {
            // The output name gets its extension changed; work on a copy
            // with room for it, as the caller's text is constant.
            std::string name(out);
            name.resize(name.size() + 8, '\0');
            result = write_any(name.data(), pic, save_type, quality);
        }
        release_image(pic);
        return result;
    });
}

ZARNGFX_EXPORT int _anytobmps(const char* in, const char* bmp, PicImage* pic, int pcd_resolution, int jpeg_scale)
{
    if (!in || !bmp || !pic) return 0;
    return tracked([&] {
        int result = 0;
        if (read_any(in, pic, ReadOptions{pcd_resolution, jpeg_scale})) result = checked_write(write_bmp(bmp, pic));
        release_image(pic);
        return result;
    });
}

// A 24-bit image whose reduction runs out of memory is not written at all,
// so the caller never gets a picture of the wrong kind under success.
ZARNGFX_EXPORT int _anyto256(const char* in, const char* bmp, PicImage* pic, int pcd_resolution, int jpeg_scale)
{
    if (!in || !bmp || !pic) return 0;
    return tracked([&] {
        int result = 0;
        if (read_any(in, pic, ReadOptions{pcd_resolution, jpeg_scale})) {
            if (pic->bits == 24 && !ordered_dither(pic)) set_failure(Failure::OutOfMemory);
            else result = checked_write(write_bmp(bmp, pic));
        }
        release_image(pic);
        return result;
    });
}

ZARNGFX_EXPORT int _anytogrey(const char* in, const char* bmp, PicImage* pic, int pcd_resolution, int jpeg_scale)
{
    if (!in || !bmp || !pic) return 0;
    return tracked([&] {
        int result = 0;
        if (read_any(in, pic, ReadOptions{pcd_resolution, jpeg_scale})) {
            if (pic->bits == 24 && !make_grey(pic)) set_failure(Failure::OutOfMemory);
            else result = checked_write(write_bmp(bmp, pic));
        }
        release_image(pic);
        return result;
    });
}

ZARNGFX_EXPORT int _bmptoanys(const char* bmp, char* out, PicImage* pic, int save_type, int quality)
{
    if (!bmp || !out || !pic) return 0;
    return tracked([&] {
        int result = 0;
        if (run_reader(format_row(1), bmp, pic, ReadOptions{})) result = write_any(out, pic, save_type, quality);
        release_image(pic);
        return result;
    });
}

}  // extern "C"
