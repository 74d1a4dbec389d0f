// The working record's life cycle and its small helpers.
#include "record.h"

#include "platform.h"

#include "checked.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>

namespace zarn {
namespace {

struct FailureState {
    Failure reason = Failure::None;
    bool filled_in = false;
    bool shown = false;  // the user was told of the failure by the library
    const char* format = nullptr;
    double bytes = 0;
    std::int64_t width = 0, height = 0;
    char text[96] = "";
};
thread_local FailureState failure_state;

}  // namespace

void set_failure(Failure reason)
{
    failure_state.reason = reason;
    failure_state.shown = false;
}

void set_failure_shown(Failure reason)
{
    failure_state.reason = reason;
    failure_state.shown = true;
}

bool failure_shown()
{
    return failure_state.reason != Failure::None && failure_state.shown;
}

void fail_to_open()
{
    set_failure(errno == ENOENT || errno == ENOTDIR ? Failure::FileNotFound : Failure::CannotOpen);
}

void fail_too_large(std::int64_t width, std::int64_t height, int bits)
{
    failure_state.reason = Failure::TooLarge;
    failure_state.width = width;
    failure_state.height = height;
    const double row = bits == 1 ? double((width + 7) / 8) : bits == 24 ? 3.0 * double(width) : double(width);
    failure_state.bytes = row * double(height);
}

Failure last_failure()
{
    return failure_state.reason;
}

void warn_filled_in()
{
    failure_state.filled_in = true;
}

void begin_attempt()
{
    failure_state.reason = Failure::None;
    failure_state.shown = false;
    failure_state.filled_in = false;
    failure_state.format = nullptr;
}

void clear_failure()
{
    failure_state.reason = Failure::None;
}

void clear_warning()
{
    failure_state.filled_in = false;
}

void set_reading_format(const char* short_name)
{
    failure_state.format = short_name;
}

const char* failure_text()
{
    FailureState& state = failure_state;
    switch (state.reason) {
    case Failure::None: return "";
    case Failure::FileNotFound: return "file not found";
    case Failure::CannotOpen: return "cannot open the file";
    case Failure::NotAPicture: return "not a picture";
    case Failure::NotThisFormat:
        if (!state.format) return "not a picture";
        std::snprintf(state.text, sizeof state.text, "not a %s file", state.format);
        return state.text;
    case Failure::Truncated: return "file truncated";
    case Failure::TooLarge: {
        constexpr double kMiB = 1024.0 * 1024.0;
        const bool gib = state.bytes >= 1024 * kMiB;
        std::snprintf(state.text, sizeof state.text, "too large: %lldx%lld needs %.1f %s",
                      static_cast<long long>(state.width), static_cast<long long>(state.height),
                      state.bytes / (gib ? 1024 * kMiB : kMiB), gib ? "GiB" : "MiB");
        return state.text;
    }
    case Failure::Unsupported: return "unsupported kind of picture";
    case Failure::OutOfMemory: return "out of memory";
    case Failure::Unreadable: return "cannot read the picture";
    case Failure::WriteFailed: return "write failed";
    case Failure::NoModule: return "the module for this format is not installed";
    }
    return "";
}

const char* warning_text()
{
    return failure_state.filled_in ? "file truncated, the rest filled in" : "";
}

PixelBlock allocate_pixels(std::size_t bytes)
{
    auto* block = static_cast<unsigned char*>(std::calloc(bytes ? bytes : 1, 1));
    // A large image would otherwise fault in one 4 KiB page at a time, which
    // costs more than reading and converting its rows; 2 MiB pages cut the
    // faults five hundredfold.
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    if (block && bytes >= 2 * kHugePage) {
        const auto address = reinterpret_cast<std::uintptr_t>(block);
        const std::uintptr_t start = (address + 4095) & ~std::uintptr_t(4095);
        ::madvise(reinterpret_cast<void*>(start), bytes - (start - address), MADV_HUGEPAGE);
    }
    return PixelBlock(block);
}

PixelBlock allocate_image(std::int64_t width, std::int64_t height, int bits, std::int64_t extra_rows)
{
    if (width <= 0 || height <= 0 || extra_rows < 0 || !row_bytes(width, bits)) {
        set_failure(Failure::NotThisFormat);
        return nullptr;
    }
    const auto block = image_bytes(width, height + extra_rows, bits);
    if (!block) {
        fail_too_large(width, height, bits);
        return nullptr;
    }
    PixelBlock pixels = allocate_pixels(*block);
    if (!pixels) set_failure(Failure::OutOfMemory);
    return pixels;
}

void reset_image(PicImage* pic)
{
    pic->pixels = nullptr;
    pic->out_file = nullptr;
    pic->in_file = nullptr;
    pic->extra_module = nullptr;
    pic->png_module = nullptr;
    pic->tiff_module = nullptr;
    pic->spare_module = nullptr;
}

void release_image(PicImage* pic)
{
    std::free(pic->pixels);
    if (pic->in_file) std::fclose(pic->in_file);
    if (pic->out_file) std::fclose(pic->out_file);
    for (void* module : {pic->spare_module, pic->tiff_module, pic->png_module, pic->extra_module}) free_module(module);
    reset_image(pic);
}

void set_grey_palette(PicImage* pic)
{
    if (pic->colours < 2) return;
    const int step = 255 / (pic->colours - 1);
    for (int k = 0; k < 256 && k * step <= 255; ++k) {
        const auto level = static_cast<unsigned char>(k * step);
        std::memset(pic->palette + 3 * k, level, 3);
    }
}

void record_rgb_row(const PicImage* pic, std::size_t y, unsigned char* rgb)
{
    const std::size_t width = std::size_t(pic->width);
    const std::size_t stride = *row_bytes(pic->width, pic->bits);
    const unsigned char* row = pic->pixels + y * stride;
    if (pic->bits == 24) {
        std::memcpy(rgb, row, 3 * width);
        return;
    }
    for (std::size_t x = 0; x < width; ++x) {
        const unsigned index = pic->bits == 1 ? (row[x / 8] >> (7 - x % 8)) & 1u : row[x];
        std::memcpy(rgb + 3 * x, pic->palette + 3 * index, 3);
    }
}

bool record_is_grey(const PicImage* pic)
{
    if (pic->bits == 24) return false;
    const int entries = pic->bits == 1 ? 2 : 256;
    for (int i = 0; i < entries; ++i) {
        const unsigned char* entry = pic->palette + 3 * i;
        if (entry[0] != entry[1] || entry[1] != entry[2]) return false;
    }
    return true;
}

void unpack_nibbles(unsigned char* row, int width)
{
    // Backwards, so each packed byte is read before its place is reused:
    // pixel x comes from byte x / 2, which is never above x.
    for (int x = width - 1; x >= 0; --x) {
        const unsigned char pair = row[x / 2];
        row[x] = (x & 1) ? (pair & 0x0F) : static_cast<unsigned char>(pair >> 4);
    }
}

void describe(PicImage* pic, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(pic->description, sizeof pic->description, format, args);
    va_end(args);
}

InputFile::InputFile(const char* path, PicImage* pic) : stream_(std::fopen(path, "rb")), pic_(pic)
{
    pic_->in_file = stream_.get();
}

InputFile::~InputFile()
{
    pic_->in_file = nullptr;
}

}  // namespace zarn

namespace zarn {

std::optional<std::size_t> image_bytes(std::int64_t width, std::int64_t height, int bits)
{
    if (height <= 0) return std::nullopt;
    const auto row = row_bytes(width, bits);
    const auto block = row ? checked_mul(*row, static_cast<std::size_t>(height)) : std::nullopt;
    if (!block || *block > max_image_bytes()) return std::nullopt;
    return block;
}

}  // namespace zarn
