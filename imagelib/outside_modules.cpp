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
    if (!write) return 0;
    TemporaryPath temporary(path);
    if (!temporary) return 0;
    const int result = call(write, temporary.name());
    if (result == 0) return 0;
    return temporary.commit() ? result : 0;
}

}  // namespace

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

int write_tiff(const char* path, PicImage* pic, int compression)
{
    return write_outside<WriteTiffRoutine>(
        path, "zarntiff", "_Pic_Write_TIF",
        [&](WriteTiffRoutine write, const char* name) { return write(name, pic, compression); });
}

}  // namespace zarn
