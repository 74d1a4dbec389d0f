// Camera RAW module, reading: LibRaw demosaics the picture, which comes out upright as a 24-bit record.
#include "zarnraw.h"

#include "progress.h"
#include "raw_shared.h"
#include "record.h"

#include <cstdlib>
#include <memory>
#include <vector>

namespace zarn::raw {
namespace {

struct ImageFreer {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

// The size is checked before LibRaw unpacks anything: the header alone may
// claim a picture past the ceiling. LibRaw turns the picture as it makes
// its output (or not, with `user_flip` 0), so it is upright exactly once.
int demosaic(LibRaw& processor, PicImage* pic)
{
    Geometry geometry;
    if (!geometry_of(processor, geometry)) return 0;
    if (processor.unpack() != LIBRAW_SUCCESS || processor.dcraw_process() != LIBRAW_SUCCESS) {
        set_failure(Failure::Unreadable);
        return 0;
    }
    // Three 8-bit colours, the usual case, go straight into the record's
    // block; anything else through LibRaw's own picture.
    int width = 0, height = 0, colours = 0, bits = 0;
    processor.get_mem_image_format(&width, &height, &colours, &bits);
    if (colours == 3 && bits == 8) {
        PixelBlock pixels = allocate_image(width, height, 24);
        if (!pixels) return 0;
        if (processor.copy_mem_image(pixels.get(), width * 3, 0) != LIBRAW_SUCCESS) {
            set_failure(Failure::Unreadable);
            return 0;
        }
        for (int y = 0; y < height; ++y) report_progress(pic, y + 1, height);
        pic->pixels = pixels.release();
        pic->width = width;
        pic->height = height;
        pic->bits = 24;
        pic->colours = 0;
    } else {
        int error = 0;
        const std::unique_ptr<libraw_processed_image_t, ImageFreer> image(processor.dcraw_make_mem_image(&error));
        if (!image || error != LIBRAW_SUCCESS || !take_bitmap(*image, pic)) {
            if (last_failure() == Failure::None) set_failure(Failure::Unreadable);
            return 0;
        }
    }
    describe_raw(pic, processor, pic->width, pic->height);
    return 1;
}

}  // namespace

int read_raw_stream(std::FILE* stream, PicImage* pic)
{
    std::vector<unsigned char> bytes;
    if (!read_all(stream, bytes)) return 0;
    const std::unique_ptr<LibRaw> processor = make_processor();
    if (!processor || !open_bytes(*processor, bytes)) return 0;
    return demosaic(*processor, pic);
}

}  // namespace zarn::raw

ZARNRAW_EXPORT int _Pic_Read_RAW(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic) return 0;
    return guarded([&] {
        std::free(pic->pixels);
        pic->pixels = nullptr;
        const std::unique_ptr<LibRaw> processor = raw::make_processor();
        if (!processor || !raw::open_path(*processor, path)) return 0;
        return raw::demosaic(*processor, pic);
    });
}
