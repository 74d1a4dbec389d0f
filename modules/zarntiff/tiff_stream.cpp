// TIFF module: libtiff over a stdio stream, with its messages silenced.
#include "zarntiff.h"

#include "checked.h"

#include <cstdarg>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace zarn::tiff {
namespace {

std::FILE* file(thandle_t handle)
{
    return static_cast<std::FILE*>(handle);
}

tmsize_t read_proc(thandle_t handle, void* buffer, tmsize_t size)
{
    if (size <= 0) return 0;
    return tmsize_t(std::fread(buffer, 1, std::size_t(size), file(handle)));
}

tmsize_t write_proc(thandle_t handle, void* buffer, tmsize_t size)
{
    if (size <= 0) return 0;
    return tmsize_t(std::fwrite(buffer, 1, std::size_t(size), file(handle)));
}

toff_t seek_proc(thandle_t handle, toff_t offset, int whence)
{
    // Offsets past what off_t holds come only from damaged files.
    if (offset > toff_t(INT64_MAX)) return toff_t(-1);
    if (::fseeko(file(handle), off_t(offset), whence) != 0) return toff_t(-1);
    const off_t at = ::ftello(file(handle));
    return at < 0 ? toff_t(-1) : toff_t(at);
}

int close_proc(thandle_t)
{
    return 0;  // the stream belongs to the caller
}

toff_t size_proc(thandle_t handle)
{
    std::FILE* stream = file(handle);
    const off_t here = ::ftello(stream);
    if (here < 0 || ::fseeko(stream, 0, SEEK_END) != 0) return 0;
    const off_t end = ::ftello(stream);
    ::fseeko(stream, here, SEEK_SET);
    return end < 0 ? 0 : toff_t(end);
}

// A file on disk is mapped for reading, as libtiff's own open does: strips
// are then decoded straight from the mapping instead of copied out first.
// Streams without a descriptor (memory) are read through read_proc.
int map_proc(thandle_t handle, void** base, toff_t* size)
{
    const int fd = ::fileno(file(handle));
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return 0;
    void* mapping = ::mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapping == MAP_FAILED) return 0;
    *base = mapping;
    *size = toff_t(info.st_size);
    return 1;
}

void unmap_proc(thandle_t, void* base, toff_t size)
{
    ::munmap(base, std::size_t(size));
}

int stay_quiet(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;  // handled: libtiff passes it to no other handler
}

struct OptionsFreer {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

TiffPtr open_stream(std::FILE* stream, const char* mode)
{
    const std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), stay_quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), stay_quiet, nullptr);
    // No single buffer libtiff takes for a strip or tile may pass the
    // ceiling the whole picture is held to.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(std::min<std::size_t>(max_image_bytes(), INT64_MAX)));
    return TiffPtr(TIFFClientOpenExt("zarntiff", mode, stream, read_proc, write_proc, seek_proc, close_proc, size_proc,
                                     map_proc, unmap_proc, options.get()));
}

}  // namespace zarn::tiff
