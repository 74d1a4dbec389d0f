// Internal helpers over the working record, and the ownership types every codec uses.
#pragma once

#include "zarngfx.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>

namespace zarn {

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f) std::fclose(f);
    }
};
struct BlockFreer {
    void operator()(unsigned char* p) const { std::free(p); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
using PixelBlock = std::unique_ptr<unsigned char, BlockFreer>;

// Why the last read, conversion or write in this thread failed. The exports
// still return 0; _Pic_FailureText gives the reason in a few words.
enum class Failure {
    None,
    FileNotFound,
    CannotOpen,
    NotAPicture,
    NotThisFormat,  // "not a BMP file": the name is that of the format being read
    Truncated,
    TooLarge,  // with the size, see fail_too_large
    Unsupported,
    OutOfMemory,
    Unreadable,  // a reader gave up without saying why
    WriteFailed,
    NoModule,  // the outside module of the format is not installed
};

void set_failure(Failure reason);
// The same, for a failure the library has already told the user about with a
// message of its own: the host need not show a second one.
void set_failure_shown(Failure reason);
bool failure_shown();
// The reason for a file that could not be opened, from errno.
void fail_to_open();
void fail_too_large(std::int64_t width, std::int64_t height, int bits);
Failure last_failure();
// Called by a reader that filled in rows a truncated file never supplied:
// the read succeeds, with a warning.
void warn_filled_in();
// Forgets the last reason and warning, as each read, conversion and write starts.
void begin_attempt();
// Forgets the reason only: a later stage succeeded after all.
void clear_failure();
// Forgets the warning: the read that filled rows in failed in the end.
void clear_warning();
// Names the format whose reader runs next, for "not a ... file".
void set_reading_format(const char* short_name);
const char* failure_text();
const char* warning_text();

// A zero-filled pixel block: rows a short file never supplies stay black
// rather than showing whatever the allocator had.
PixelBlock allocate_pixels(std::size_t bytes);

// The zero-filled pixel block of a `width` x `height` picture of `bits`, with
// `extra_rows` more rows for decoders that write ahead. Null when the picture
// has no size, when its size overflows or passes max_image_bytes() ("too
// large"), or when memory runs out; the failure reason says which.
PixelBlock allocate_image(std::int64_t width, std::int64_t height, int bits, std::int64_t extra_rows = 0);

// A reader turning a file down: it ran out (`cut_short`), or it is not of
// the reader's format. Always 0, the reader's result.
inline int refuse(bool cut_short)
{
    set_failure(cut_short ? Failure::Truncated : Failure::NotThisFormat);
    return 0;
}

// Row `y` of the record as red, green, blue into `rgb` (3 x width bytes),
// whatever its kind: packed two-colour, palette indexes or 24-bit.
void record_rgb_row(const PicImage* pic, std::size_t y, unsigned char* rgb);
// Whether every palette entry the record can use is grey; false for 24-bit.
bool record_is_grey(const PicImage* pic);

void reset_image(PicImage* pic);
void release_image(PicImage* pic);
void set_grey_palette(PicImage* pic);
// Turns `width` pixels packed two to a byte (high nibble first) at the start
// of `row` into one byte each, in place. `row` holds at least `width` bytes.
void unpack_nibbles(unsigned char* row, int width);

// Formats the record's description like snprintf, always NUL-terminated.
void describe(PicImage* pic, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Opens `path` for binary reading and parks the stream in pic->in_file for
// as long as this lives; clears the field again on every exit.
class InputFile {
public:
    InputFile(const char* path, PicImage* pic);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    explicit operator bool() const { return stream_ != nullptr; }
    std::FILE* get() const { return stream_.get(); }

private:
    FilePtr stream_;
    PicImage* pic_;
};

// Frees any pixels the record still holds, opens `path` for binary reading
// into pic->in_file and runs `reader(stream, pic)` on it: the reader's
// result, or 0 when the file cannot be opened (with the reason why).
template <typename StreamReader>
int read_path(const char* path, PicImage* pic, StreamReader&& reader)
{
    std::free(pic->pixels);
    pic->pixels = nullptr;
    InputFile in(path, pic);
    if (!in) {
        fail_to_open();
        return 0;
    }
    return reader(in.get(), pic);
}

// A colour sample with straight (unassociated) alpha laid over white.
inline unsigned char onto_white(unsigned value, unsigned alpha)
{
    return static_cast<unsigned char>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}
// The same for a sample that already has its alpha multiplied in.
inline unsigned char premultiplied_onto_white(unsigned value, unsigned alpha)
{
    const unsigned sum = value + 255 - alpha;
    return static_cast<unsigned char>(sum > 255 ? 255 : sum);
}

// Runs the C++ side of an export: any exception (std::bad_alloc from a
// vector, say) becomes 0 instead of crossing the C boundary.
template <typename Work>
int guarded(Work&& work) noexcept
{
    try {
        return work();
    } catch (...) {
        return 0;
    }
}

inline std::span<unsigned char> palette_entry(PicImage* pic, int index)
{
    return std::span<unsigned char>(pic->palette + 3 * index, 3);
}

}  // namespace zarn
