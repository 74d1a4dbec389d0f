// Camera RAW module, the embedded preview: the largest the file carries, decoded and turned upright like the whole
// picture, with the size the whole picture comes out at.
#include "zarnraw.h"

#include "checked.h"
#include "codecs.h"
#include "exif.h"
#include "raw_shared.h"
#include "record.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

namespace zarn::raw {
namespace {

struct ImageFreer {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

// The orientation in a JPEG's first Exif segment, 1 when it has none; the
// segments before the scan are walked, none read past the data.
int jpeg_orientation(std::span<const std::uint8_t> jpeg)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return 1;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (marker == 0xDA || length < 2 || at + 2 + length > jpeg.size()) break;
        const auto segment = jpeg.subspan(at + 4, length - 2);
        if (marker == 0xE1 && segment.size() >= 6 && std::memcmp(segment.data(), "Exif\0\0", 6) == 0)
            return exif_orientation(segment);
        at += 2 + length;
    }
    return 1;
}

// A grey or palette record the JPEG reader gave, as 24-bit.
bool make_rgb(PicImage* pic)
{
    if (pic->bits == 24) return true;
    PixelBlock pixels = allocate_image(pic->width, pic->height, 24);
    if (!pixels) return false;
    const std::size_t width = std::size_t(pic->width);
    for (std::size_t y = 0; y < std::size_t(pic->height); ++y) record_rgb_row(pic, y, pixels.get() + y * width * 3);
    std::free(pic->pixels);
    pic->pixels = pixels.release();
    pic->bits = 24;
    pic->colours = 0;
    return true;
}

// The thumbnail LibRaw unpacked, into the record as it is stored; sets
// `orientation` to 1 when the pixels come out upright already (a JPEG that
// says how it is turned is turned by the JPEG reader).
bool decode_thumbnail(LibRaw& processor, PicImage* pic, int& orientation)
{
    const libraw_thumbnail_t& thumbnail = processor.imgdata.thumbnail;
    if (thumbnail.tformat == LIBRAW_THUMBNAIL_JPEG) {
        if (!thumbnail.thumb || thumbnail.tlength == 0) return false;
        const std::span<const std::uint8_t> jpeg(reinterpret_cast<const std::uint8_t*>(thumbnail.thumb),
                                                 thumbnail.tlength);
        if (jpeg_orientation(jpeg) != 1) orientation = 1;
        const FilePtr stream{fmemopen(thumbnail.thumb, thumbnail.tlength, "rb")};
        if (!stream || !read_jpeg_stream(stream.get(), pic, 0)) return false;
        return make_rgb(pic);
    }
    if (thumbnail.tformat != LIBRAW_THUMBNAIL_BITMAP) return false;
    if (!image_bytes(thumbnail.twidth, thumbnail.theight, 24)) return false;
    int error = 0;
    const std::unique_ptr<libraw_processed_image_t, ImageFreer> image(processor.dcraw_make_mem_thumb(&error));
    return image && error == LIBRAW_SUCCESS && take_bitmap(*image, pic);
}

int read_preview(LibRaw& processor, PicImage* pic, std::int32_t* full_width, std::int32_t* full_height)
{
    Geometry geometry;
    if (!geometry_of(processor, geometry)) return 0;
    if (processor.unpack_thumb() != LIBRAW_SUCCESS) {
        set_failure(Failure::Unsupported);
        return 0;
    }
    int orientation = geometry.orientation;
    if (!decode_thumbnail(processor, pic, orientation)) {
        std::free(pic->pixels);
        pic->pixels = nullptr;
        if (last_failure() == Failure::None) set_failure(Failure::Unsupported);
        return 0;
    }
    if (orientation != 1) {
        PixelBlock turned =
            upright_pixels(pic->pixels, std::size_t(pic->width), std::size_t(pic->height), 3, orientation);
        std::free(pic->pixels);
        pic->pixels = turned.release();
        if (!pic->pixels) {
            set_failure(Failure::OutOfMemory);
            return 0;
        }
        if (orientation_swaps_sides(orientation)) std::swap(pic->width, pic->height);
    }
    // Described as the whole picture is: the preview stands in for it.
    describe_raw(pic, processor, geometry.width, geometry.height);
    *full_width = std::int32_t(geometry.width);
    *full_height = std::int32_t(geometry.height);
    return 1;
}

}  // namespace
}  // namespace zarn::raw

ZARNRAW_EXPORT int _Pic_Read_RAW_Preview(const char* path, PicImage* pic, int32_t* full_width, int32_t* full_height)
{
    using namespace zarn;
    if (!path || !pic || !full_width || !full_height) return 0;
    return guarded([&] {
        std::free(pic->pixels);
        pic->pixels = nullptr;
        const std::unique_ptr<LibRaw> processor = raw::make_processor();
        if (!processor || !raw::open_path(*processor, path)) return 0;
        return raw::read_preview(*processor, pic, full_width, full_height);
    });
}
