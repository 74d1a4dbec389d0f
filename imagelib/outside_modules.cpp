// PNG and TIFF: the zarnpng and zarntiff modules, loaded by name for each read and write.
#include "codecs.h"
#include "platform.h"
#include "record.h"
#include "write_path.h"

namespace zarn {
namespace {

using ReadRoutine = int (*)(const char* path, PicImage* pic);
using WritePngRoutine = int (*)(const char* path, PicImage* pic);
using WriteTiffRoutine = int (*)(const char* path, PicImage* pic, int compression);
using WriteRoutine = int (*)(const char* path, PicImage* pic, int quality, int lossless);
using WritePngTextRoutine = int (*)(const char* path, PicImage* pic, const char* const* keys, const char* const* values,
                                    int count);
using PreviewRoutine = int (*)(const char* path, PicImage* pic, std::int32_t* full_width, std::int32_t* full_height);

int no_module()
{
    set_failure(Failure::NoModule);
    return 0;
}

// A read's module stays in the record, found or not, for release_image to
// free; a second read through the same record reuses it.
int read_outside(const char* path, PicImage* pic, void*& slot, const char* module, const char* routine)
{
    if (!slot) slot = load_module(module);
    const auto read = reinterpret_cast<ReadRoutine>(find_export(slot, routine));
    return read ? read(path, pic) : 0;
}

// A write's module lives for the one call. The module writes by name, so it
// is given a temporary beside the destination, which replaces the
// destination only when the module reports success: a failed or crashed-out
// write leaves the old file as it was.
template <typename Routine, typename Call>
int write_outside(const char* path, const char* module, const char* routine, Call call)
{
    const Module loaded = open_module(module);
    const auto write = loaded.find_as<Routine>(routine);
    if (!write) return no_module();
    TemporaryPath temporary(path);
    if (!temporary) return 0;
    const int result = call(write, temporary.name());
    if (result == 0) return 0;
    return temporary.commit() ? result : 0;
}

// The record keeps the module the reader came from, in place of one an
// earlier read left there.
void* record_module(PicImage* pic, const char* module)
{
    free_module(pic->extra_module);
    pic->extra_module = load_module(module);
    return pic->extra_module;
}

}  // namespace

bool module_present(const char* module)
{
    return static_cast<bool>(open_module(module));
}

int read_with_module(const char* path, PicImage* pic, const char* module, const char* routine)
{
    const auto read = reinterpret_cast<ReadRoutine>(find_export(record_module(pic, module), routine));
    return read ? read(path, pic) : no_module();
}

int write_with_module(const char* path, PicImage* pic, const char* module, const char* routine, int quality,
                      bool lossless)
{
    return write_outside<WriteRoutine>(path, module, routine, [&](WriteRoutine write, const char* name) {
        return write(name, pic, quality, lossless ? 1 : 0);
    });
}

int read_raw_preview(const char* path, PicImage* pic, std::int32_t* full_width, std::int32_t* full_height)
{
    const auto read =
        reinterpret_cast<PreviewRoutine>(find_export(record_module(pic, "zarnraw"), "_Pic_Read_RAW_Preview"));
    return read ? read(path, pic, full_width, full_height) : no_module();
}

int read_png(const char* path, PicImage* pic)
{
    return read_outside(path, pic, pic->png_module, "zarnpng", "_Pic_Read_PNG");
}

int read_tiff(const char* path, PicImage* pic)
{
    return read_outside(path, pic, pic->tiff_module, "zarntiff", "_Pic_Read_TIF");
}

int write_png(const char* path, PicImage* pic)
{
    return write_outside<WritePngRoutine>(path, "zarnpng", "_Pic_Write_PNG",
                                          [&](WritePngRoutine write, const char* name) { return write(name, pic); });
}

int write_png_text(const char* path, PicImage* pic, const char* const* keys, const char* const* values, int count)
{
    // Thumbnails are written many at a time from several threads: loading
    // and unloading the module (and libpng under it) for each would cost
    // more than the small write itself, so the one handle is never freed.
    static void* const module = load_module("zarnpng");
    const auto write = reinterpret_cast<WritePngTextRoutine>(find_export(module, "_Pic_Write_PNG_Text"));
    if (!write) return no_module();
    return write(path, pic, keys, values, count);
}

int write_tiff(const char* path, PicImage* pic, int compression)
{
    return write_outside<WriteTiffRoutine>(
        path, "zarntiff", "_Pic_Write_TIF",
        [&](WriteTiffRoutine write, const char* name) { return write(name, pic, compression); });
}

}  // namespace zarn
