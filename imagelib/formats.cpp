// The formats' descriptors, and from them the format table, detection, and the read, write and conversion entry points.
#include "codecs.h"
#include "operations.h"
#include "platform.h"
#include "record.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {
namespace {

constexpr const char* kOwnCredit = "ZarnGfx image library (c) 1995-1999 Zarn";

constexpr int kJpegCode = 4;
constexpr int kTiffCode = 6;
constexpr int kTextureCode = 11;
constexpr int kRawCode = 16;

using Head = std::span<const unsigned char>;

bool starts_with(Head head, std::initializer_list<unsigned char> bytes)
{
    return bytes.size() <= head.size() && std::equal(bytes.begin(), bytes.end(), head.begin());
}

int read_by_code(int code, const char* path, PicImage* pic, const ReadOptions& options);

// The ISO base media file's first box, "ftyp", and its major brand one of `brands`.
bool iso_brand(Head h, std::initializer_list<const char*> brands)
{
    if (h.size() < 12 || std::memcmp(h.data() + 4, "ftyp", 4) != 0) return false;
    return std::any_of(brands.begin(), brands.end(),
                       [h](const char* brand) { return std::memcmp(h.data() + 8, brand, 4) == 0; });
}

// A Fujifilm RAW file's first bytes; its ".raf" is also a texture name.
bool fujifilm_raw(Head h)
{
    constexpr char kMagic[] = "FUJIFILMCCD-RAW";
    return h.size() >= sizeof kMagic - 1 && std::memcmp(h.data(), kMagic, sizeof kMagic - 1) == 0;
}

// AVIF through its own module, or through the HEIF one when that is all there is.
int read_avif(const char* path, PicImage* pic)
{
    if (module_present("zarnavif")) return read_with_module(path, pic, "zarnavif", "_Pic_Read_AVIF");
    return read_with_module(path, pic, "zarnheif", "_Pic_Read_HEIF");
}

// In detection order: by extension, the first pattern that matches wins; by
// content, the first signature. A format read by an outside module names the
// module and its routine in place of a reader, {"zarnwebp", "_Pic_Read_WEBP"},
// and its save kinds continue the save types' numbering.
// Kept by hand: one format a block, its fields in the order of the struct.
// clang-format off
const FormatDescriptor kDescriptors[] = {
    {1, 1, "BMP", "Windows Bitmap", "*.bmp", nullptr, "bmp", kOwnCredit,
     [](Head h) { return starts_with(h, {'B', 'M'}); },
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_bmp(path, pic); }, {},
     [](const char* path, PicImage* pic, int, int) { return write_bmp(path, pic); },
     {{{1, "Windows Bitmap", ".bmp"}}}},
    {2, 2, "GIF", "Compuserve Gif", "*.gif", nullptr, "gif", kOwnCredit,
     [](Head h) { return starts_with(h, {'G', 'I', 'F', '8'}); },
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_gif(path, pic); }, {},
     [](const char* path, PicImage* pic, int, int) { return write_gif(path, pic); },
     {{{10, "Compuserve Gif", ".gif", 0, SaveNeeds::AtMost256Colours}}}},
    {3, 3, "PBMPlus", "PBMPlus", "*.ppm;*.pgm;*.pbm", "*.ppm;*.pbm;*.pgm", "ppm,pgm,pbm", kOwnCredit,
     [](Head h) { return h.size() >= 2 && h[0] == 'P' && h[1] >= '1' && h[1] <= '6'; },
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_pbm(path, pic); }, {},
     [](const char* path, PicImage* pic, int variant, int) { return write_pbm(path, pic, variant); },
     {{{11, "PBMPlus 24bit (ppm)", ".ppm", 2},
       {12, "PBMPlus Greyscale (pgm)", ".pgm", 1},
       {13, "PBMPlus Monochrome (pbm)", ".pbm", 0, SaveNeeds::TwoColours}}}},
    {kJpegCode, 4, "JPEG", "Jpeg/JFIF", "*.jpg", nullptr, "jpg",
     "JPEG codec: libjpeg-turbo, libjpeg 6 interface, 1991-2023",
     [](Head h) { return starts_with(h, {0xFF, 0xD8, 0xFF}); },
     [](const char* path, PicImage* pic, const ReadOptions& options) {
         return read_jpeg(path, pic, options.jpeg_scale);
     }, {},
     [](const char* path, PicImage* pic, int variant, int quality) {
         return write_jpeg(path, pic, quality, variant == 1);
     },
     {{{2, "Jpeg/JFIF 24bit", ".jpg", 0, SaveNeeds::MoreThanTwoColours},
       {3, "Jpeg/JFIF Greyscale", ".jpg", 1, SaveNeeds::MoreThanTwoColours}}}},
    {5, 5, "PhotoCD", "Kodak PhotoCD", "*.pcd", nullptr, "pcd", "PhotoCD base-resolution decoder, 1993-1999", nullptr,
     [](const char* path, PicImage* pic, const ReadOptions& options) {
         return read_photocd(path, pic, options.pcd_resolution);
     }, {}, nullptr, {}},
    {kTiffCode, 6, "TIFF", "Aldus TIFF", "*.tif", nullptr, "tif", "TIFF codec: libtiff, 1988-2023",
     [](Head h) { return starts_with(h, {'M', 'M'}) || starts_with(h, {'I', 'I'}); },
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_tiff(path, pic); }, {},
     [](const char* path, PicImage* pic, int variant, int) { return write_tiff(path, pic, variant); },
     {{{4, "TIFF uncompressed", ".tif", 0},
       {5, "TIFF lzw", ".tif", 1},
       {6, "TIFF packbits", ".tif", 2},
       {7, "TIFF CCITT Fax3", ".tif", 3, SaveNeeds::TwoColours},
       {8, "TIFF CCITT Fax4", ".tif", 4, SaveNeeds::TwoColours}}}},
    {7, 7, "Targa", "Truevision Targa", "*.tga", nullptr, "tga", kOwnCredit, nullptr,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_targa(path, pic); }, {}, nullptr, {}},
    {8, 8, "PCX", "ZSoft Paintbrush", "*.pcx", nullptr, "pcx", kOwnCredit, nullptr,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_pcx(path, pic); }, {}, nullptr, {}},
    {9, 9, "PNG", "Portable Network Graphics", "*.png", nullptr, "png", "PNG codec: libpng, 1995-2023",
     [](Head h) { return starts_with(h, {0x89, 'P', 'N', 'G'}); },
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_png(path, pic); }, {},
     [](const char* path, PicImage* pic, int, int) { return write_png(path, pic); },
     {{{9, "Portable Network Graphics (png)", ".png"}}}},
    {10, 10, "IFF", "Amiga IFF", "*.iff", nullptr, "iff", kOwnCredit,
     [](Head h) { return starts_with(h, {'F', 'O', 'R', 'M'}); },
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_iff(path, pic); }, {},
     [](const char* path, PicImage* pic, int, int) { return write_iff(path, pic); },
     {{{14, "Amiga IFF", ".iff"}}}},
    {11, 11, "texture", "FS Texture", "*.R8;*.txr;*.?af", "*.r8;*.?af", "R8", kOwnCredit, nullptr,
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_texture(path, pic); }, {},
     [](const char* path, PicImage* pic, int, int) { return write_texture(path, pic); },
     {{{15, "FS Texture (256x256)", ".r8"}}}},
    // The formats past the first eleven, each read by an outside module.
    {12, 12, "WebP", "WebP", "*.webp", nullptr, "webp", "WebP codec: libwebp, 2010-2022",
     [](Head h) { return h.size() >= 12 && starts_with(h, {'R', 'I', 'F', 'F'}) && std::memcmp(h.data() + 8, "WEBP", 4) == 0; },
     nullptr, {"zarnwebp", "_Pic_Read_WEBP"},
     [](const char* path, PicImage* pic, int variant, int quality) {
         return write_with_module(path, pic, "zarnwebp", "_Pic_Write_WEBP", quality, variant == 1);
     },
     {{{16, "WebP", ".webp", 0},
       {17, "WebP lossless", ".webp", 1}}}},
    {13, 13, "AVIF", "AV1 Image File", "*.avif", nullptr, "avif", "AVIF codec: libavif, 2019-2022",
     [](Head h) { return iso_brand(h, {"avif", "avis"}); },
     [](const char* path, PicImage* pic, const ReadOptions&) { return read_avif(path, pic); }, {},
     [](const char* path, PicImage* pic, int, int quality) {
         return write_with_module(path, pic, "zarnavif", "_Pic_Write_AVIF", quality, false);
     },
     {{{18, "AVIF", ".avif", 0}}}},
    {14, 14, "HEIF", "HEIF/HEIC", "*.heic;*.heif", nullptr, "heic,heif", "HEIF codec: libheif, 2017-2023",
     [](Head h) { return iso_brand(h, {"heic", "heix", "heim", "heis", "hevc", "mif1"}); },
     nullptr, {"zarnheif", "_Pic_Read_HEIF"}, nullptr, {}},
    {15, 15, "JPEG XL", "JPEG XL", "*.jxl", nullptr, "jxl", "JPEG XL codec: libjxl, 2019-2022",
     [](Head h) {
         return starts_with(h, {0xFF, 0x0A}) ||
                starts_with(h, {0x00, 0x00, 0x00, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A});
     },
     nullptr, {"zarnjxl", "_Pic_Read_JXL"},
     [](const char* path, PicImage* pic, int variant, int quality) {
         return write_with_module(path, pic, "zarnjxl", "_Pic_Write_JXL", quality, variant == 1);
     },
     {{{19, "JPEG XL", ".jxl", 0},
       {20, "JPEG XL lossless", ".jxl", 1}}}},
    // By name; by content only a Fujifilm file and a Canon CR3 tell
    // themselves apart (the TIFF-based kinds open as TIFF by content).
    {kRawCode, 16, "RAW", "Camera RAW", "*.dng;*.cr2;*.cr3;*.nef;*.arw;*.orf;*.rw2;*.pef;*.srw", nullptr,
     "dng,cr2,cr3,nef,arw,orf,rw2,pef,srw", "Camera RAW decoder: LibRaw, 2008-2021",
     [](Head h) { return fujifilm_raw(h) || iso_brand(h, {"crx "}); },
     nullptr, {"zarnraw", "_Pic_Read_RAW"}, nullptr, {}},
    // A name either format uses: JPEG is tried first, then TIFF.
    {100, 0, "JPEG or TIFF", "", "*.xif", nullptr, "", "", nullptr,
     [](const char* path, PicImage* pic, const ReadOptions& options) {
         return read_by_code(kJpegCode, path, pic, options) || read_by_code(kTiffCode, path, pic, options) ? 1 : 0;
     }, {}, nullptr, {}},
};
// clang-format on

struct TableTexts {
    const char* description;
    const char* pattern;
    const char* extension;
    const char* credit;
};
constexpr TableTexts kOtherFormat{"Other Image File", "*.*", "", ""};

const FormatDescriptor* descriptor_by_code(int code)
{
    for (const FormatDescriptor& format : kDescriptors)
        if (format.code == code) return &format;
    return nullptr;
}

int table_rows()
{
    int rows = 0;
    for (const FormatDescriptor& format : kDescriptors) rows = std::max(rows, format.index);
    return rows;
}

// Row 0 is all formats together, its pattern every row's part in turn.
TableTexts table_row(int index)
{
    if (index == 0) {
        static const std::string all_patterns = [] {
            std::string all;
            for (int row = 1; row <= table_rows(); ++row)
                for (const FormatDescriptor& format : kDescriptors)
                    if (format.index == row) {
                        if (!all.empty()) all += ';';
                        all += format.listed_as ? format.listed_as : format.pattern;
                    }
            return all;
        }();
        return {"All Image Files", all_patterns.c_str(), "", ""};
    }
    for (const FormatDescriptor& format : kDescriptors)
        if (index > 0 && format.index == index)
            return {format.description, format.pattern, format.extension, format.credit};
    return kOtherFormat;
}

// The save kinds indexed by save type - 1, and the filter listing them in that order.
struct SaveTable {
    std::vector<const SaveKind*> kinds;
    std::string filter;
};

const SaveTable& save_table()
{
    static const SaveTable table = [] {
        SaveTable built;
        for (const FormatDescriptor& format : kDescriptors)
            for (const SaveKind& kind : format.saves)
                if (kind.type > 0) {
                    if (built.kinds.size() < std::size_t(kind.type)) built.kinds.resize(std::size_t(kind.type));
                    built.kinds[std::size_t(kind.type - 1)] = &kind;
                }
        for (const SaveKind* kind : built.kinds)
            if (kind) built.filter += std::string(kind->name) + "|*" + kind->extension + "|";
        return built;
    }();
    return table;
}

const FormatDescriptor* descriptor_saving(int save_type)
{
    for (const FormatDescriptor& format : kDescriptors)
        for (const SaveKind& kind : format.saves)
            if (kind.type > 0 && kind.type == save_type) return &format;
    return nullptr;
}

bool same_text_ignoring_case(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A pattern whose second character is "?" stands for any one character there.
bool extension_matches(std::string_view pattern, std::string_view extension)
{
    if (pattern.size() >= 2 && pattern[1] == '?')
        return extension.size() >= 2 && extension[0] == pattern[0] &&
               same_text_ignoring_case(pattern.substr(2), extension.substr(2));
    return same_text_ignoring_case(pattern, extension);
}

// Whether one of the "*.ext;*.ext" patterns names this extension.
bool pattern_names(std::string_view patterns, std::string_view extension)
{
    while (!patterns.empty()) {
        const std::size_t end = std::min(patterns.find(';'), patterns.size());
        std::string_view one = patterns.substr(0, end);
        if (one.starts_with('*')) one.remove_prefix(1);
        if (extension_matches(one, extension)) return true;
        patterns.remove_prefix(std::min(end + 1, patterns.size()));
    }
    return false;
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
    unsigned char head[16] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, stream.get());
    return format_from_signature(head, got);
}

int extension_code(const char* path)
{
    const std::string text = path;
    return _Pic_ExtValid(text.c_str() + extension_start(text));
}

// A ".raf" file is a texture by name, unless it starts as a Fujifilm RAW
// file does: read as a texture it would be 256 x 256 pixels of noise.
int code_by_name_then_content(const char* path)
{
    const int code = extension_code(path);
    if (code == 0) return detect_by_content(path);
    if (code == kTextureCode) {
        const std::string text = path;
        if (same_text_ignoring_case(text.c_str() + extension_start(text), ".raf") &&
            detect_by_content(path) == kRawCode)
            return kRawCode;
    }
    return code;
}

// An outside module's reader: the module goes into the record, whose
// release frees it.
int read_outside(const OutsideReader& outside, const char* path, PicImage* pic)
{
    if (!outside.module || !outside.routine) return 0;
    return read_with_module(path, pic, outside.module, outside.routine);
}

// The file that vanished or cannot be opened, else a picture that is not one.
void fail_unreadable(const char* path, Failure otherwise)
{
    const FilePtr probe{std::fopen(path, "rb")};
    if (!probe) fail_to_open();
    else set_failure(otherwise);
}

// A reader that gave up without a reason gets one.
int run_reader(const FormatDescriptor& format, const char* path, PicImage* pic, const ReadOptions& options)
{
    clear_failure();
    set_reading_format(format.name);
    const int result = format.reader ? format.reader(path, pic, options) : read_outside(format.outside, path, pic);
    if (result) return 1;
    clear_warning();
    if (last_failure() == Failure::None) fail_unreadable(path, Failure::Unreadable);
    return 0;
}

int read_by_code(int code, const char* path, PicImage* pic, const ReadOptions& options)
{
    const FormatDescriptor* format = descriptor_by_code(code);
    if (!format) {
        fail_unreadable(path, Failure::NotAPicture);
        return 0;
    }
    return run_reader(*format, path, pic, options);
}

int read_any(const char* path, PicImage* pic, const ReadOptions& options)
{
    return read_by_code(_Pic_Valid(path), path, pic, options);
}

// The name with `extension` where save_extension_start() says. The caller's
// buffer has room for four more characters: it gets the new name when that
// fits, as it always does for a three-letter extension; a longer one that
// does not fit (".webp" on a name without one) leaves the buffer as it was,
// and the file still gets the whole name.
std::string replace_extension(char* path, const char* extension)
{
    const std::size_t length = std::strlen(path);
    std::string name(path, save_extension_start(path));
    name += extension;
    if (name.size() <= length + 4) std::memcpy(path, name.c_str(), name.size() + 1);
    return name;
}

int out_of_memory()
{
    set_failure(Failure::OutOfMemory);
    return 0;
}

int write_as(char* path, PicImage* pic, int save_type, int quality)
{
    const SaveKind* kind = save_kind(save_type);
    if (!kind) return 0;
    const std::string name = replace_extension(path, kind->extension);
    switch (kind->needs) {
    case SaveNeeds::Anything: break;
    case SaveNeeds::AtMost256Colours:
        if (pic->bits == 24 && !reduce_diffused(pic)) return out_of_memory();
        break;
    case SaveNeeds::TwoColours:
        if (pic->bits != 1 && (!make_grey(pic) || !make_mono(pic))) return out_of_memory();
        break;
    case SaveNeeds::MoreThanTwoColours:
        if (pic->bits == 1) {
            show_message("Cannot save 2 Colour Images\nin Jpeg Format", "ZarnGfx");
            set_failure_shown(Failure::Unsupported);
            return 0;
        }
        break;
    }
    const FormatDescriptor* format = descriptor_saving(save_type);
    return format && format->writer ? format->writer(name.c_str(), pic, kind->variant, quality) : 0;
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
    for (const FormatDescriptor& format : kDescriptors)
        if (format.signature && format.signature(Head(head, size))) return format.code;
    return 0;
}

std::span<const FormatDescriptor> format_descriptors()
{
    return kDescriptors;
}

const SaveKind* save_kind(int save_type)
{
    const auto& kinds = save_table().kinds;
    return save_type >= 1 && save_type <= int(kinds.size()) ? kinds[std::size_t(save_type - 1)] : nullptr;
}

}  // namespace zarn

using namespace zarn;

extern "C" {

ZARNGFX_EXPORT int _Pic_Count(void)
{
    return table_rows();
}
ZARNGFX_EXPORT const char* _Pic_Description(int index)
{
    return table_row(index).description;
}
ZARNGFX_EXPORT const char* _Pic_Pattern(int index)
{
    return table_row(index).pattern;
}
ZARNGFX_EXPORT const char* _Pic_Extension(int index)
{
    return table_row(index).extension;
}
ZARNGFX_EXPORT const char* _Pic_Copyright(int index)
{
    return table_row(index).credit;
}
ZARNGFX_EXPORT const char* _Pic_GetSaveFormats(void)
{
    return save_table().filter.c_str();
}

ZARNGFX_EXPORT int _Pic_ExtValid(const char* extension)
{
    if (!extension || !*extension) return 0;
    for (const FormatDescriptor& format : kDescriptors)
        if (pattern_names(format.pattern, extension)) return format.code;
    return 0;
}

ZARNGFX_EXPORT int _Pic_Valid(const char* path)
{
    if (!path) return 0;
    return guarded([&] { return code_by_name_then_content(path); });
}

ZARNGFX_EXPORT int _Pic_ValidExt(const char* path, int extension_only)
{
    if (!path) return 0;
    if (!extension_only) return _Pic_Valid(path);
    return guarded([&] { return extension_code(path); });
}

ZARNGFX_EXPORT const char* _Pic_FailureText(void)
{
    return failure_text();
}
ZARNGFX_EXPORT const char* _Pic_WarningText(void)
{
    return warning_text();
}
ZARNGFX_EXPORT int _Pic_FailureShown(void)
{
    return failure_shown() ? 1 : 0;
}

ZARNGFX_EXPORT int _Pic_Read(const char* path, PicImage* pic, int pcd_resolution, int jpeg_scale)
{
    if (!path || !pic) return 0;
    return tracked([&] { return read_any(path, pic, ReadOptions{pcd_resolution, jpeg_scale}); });
}

ZARNGFX_EXPORT int _Pic_ReadPreview(const char* path, PicImage* pic, int32_t* full_width, int32_t* full_height)
{
    if (!path || !pic || !full_width || !full_height) return 0;
    return tracked([&] {
        if (_Pic_Valid(path) != kRawCode) return 0;
        std::free(pic->pixels);
        pic->pixels = nullptr;
        return read_raw_preview(path, pic, full_width, full_height);
    });
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
        if (read_by_code(1, bmp, pic, ReadOptions{})) result = write_any(out, pic, save_type, quality);
        release_image(pic);
        return result;
    });
}

}  // extern "C"
