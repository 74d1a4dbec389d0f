// PNG module, writing: each record kind keeps its kind: bilevel, palette or RGB.
#include "zarnpng.h"

#include "checked.h"
#include "record.h"
#include "write_path.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include <png.h>

namespace zarn::png {
namespace {

void fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignore_warning(png_structp, png_const_charp) {}

struct PngWrite {
    png_structp png = nullptr;
    png_infop info = nullptr;
};

bool black_and_white(const PicImage* pic)
{
    static constexpr unsigned char kBlackWhite[6] = {0, 0, 0, 255, 255, 255};
    return std::memcmp(pic->palette, kBlackWhite, sizeof kBlackWhite) == 0;
}

// A palette image's PLTE covers `colours` and every index the pixels use,
// so no index points past it.
int palette_size(const PicImage* pic)
{
    const std::size_t bytes = std::size_t(pic->width) * std::size_t(pic->height);
    const unsigned char highest = bytes ? *std::max_element(pic->pixels, pic->pixels + bytes) : 0;
    return std::clamp(std::max(pic->colours, int(highest) + 1), 1, 256);
}

int depth_for(int entries)
{
    return entries <= 2 ? 1 : entries <= 4 ? 2 : entries <= 16 ? 4 : 8;
}

// Holds the setjmp; it keeps no object with a destructor.
bool encode(PngWrite& job, std::FILE* stream, PicImage* pic)
{
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_structp png = job.png;
    png_infop info = job.info;
    png_init_io(png, stream);
    const auto width = png_uint_32(pic->width);
    const auto height = png_uint_32(pic->height);

    png_color entries[256];
    int entry_count = 0;
    if (pic->bits == 24) {
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    } else if (pic->bits == 1 && black_and_white(pic)) {
        png_set_IHDR(png, info, width, height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    } else {
        entry_count = pic->bits == 1 ? 2 : palette_size(pic);
        const int depth = pic->bits == 1 ? 1 : depth_for(entry_count);
        png_set_IHDR(png, info, width, height, depth, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        for (int i = 0; i < entry_count; ++i)
            entries[i] = {pic->palette[3 * i], pic->palette[3 * i + 1], pic->palette[3 * i + 2]};
        png_set_PLTE(png, info, entries, entry_count);
    }
    png_write_info(png, info);
    // One index a byte in the record, packed to the palette's depth in the
    // file; libpng takes this only once the header is written.
    if (entry_count > 0 && pic->bits != 1 && depth_for(entry_count) < 8) png_set_packing(png);

    const std::size_t stride = *row_bytes(pic->width, pic->bits);
    for (png_uint_32 y = 0; y < height; ++y) {
        png_write_row(png, pic->pixels + y * stride);
        if (pic->progress) pic->progress(int32_t(y + 1), pic->height);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace
}  // namespace zarn::png

ZARNPNG_EXPORT int _Pic_Write_PNG(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic || !pic->pixels) return 0;
    if (pic->bits != 1 && pic->bits != 24 && (pic->bits < 2 || pic->bits > 8)) return 0;
    if (!image_bytes(pic->width, pic->height, pic->bits)) return 0;
    return guarded([&] {
        OutputFile out(path, pic);
        if (!out) return 0;
        png::PngWrite job;
        job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png::fail, png::ignore_warning);
        if (!job.png) return 0;
        job.info = png_create_info_struct(job.png);
        const bool encoded = job.info && png::encode(job, out.get(), pic);
        png_destroy_write_struct(&job.png, &job.info);
        if (!encoded) return 0;
        return out.commit() ? 1 : 0;
    });
}
