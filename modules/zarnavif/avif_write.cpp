// AVIF module, writing: every record kind as 8-bit AV1, grey records as 4:0:0, colour as 4:2:0 or 4:4:4.
#include "zarnavif.h"

#include "checked.h"
#include "progress.h"
#include "record.h"
#include "shared_rules.h"
#include "write_path.h"

#include <memory>
#include <span>
#include <vector>

#include <avif/avif.h>

namespace zarn::avif {
namespace {

constexpr int kDefaultQuality = 60;
// avifenc's default: a 16-megapixel photograph in seconds, not minutes.
constexpr int kSpeed = 6;
// From here up, chroma keeps every sample: at such qualities halved
// chroma would be the largest loss left.
constexpr int kFullChromaQuality = 90;

struct ImageFreer {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};
struct EncoderFreer {
    void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};
struct OutputData {
    avifRWData data = AVIF_DATA_EMPTY;
    ~OutputData() { avifRWDataFree(&data); }
};

// Quality 1..100 onto AV1's quantizers 63..0, in a straight line, as the
// quality of later libavif releases maps: 60 gives 25, 90 gives 6, 100
// gives 0. The smallest and largest quantizer are both set to it, so each
// quality stands for one fixed quantizer (avifenc --min Q --max Q).
int quantizer_for(int quality)
{
    if (quality < 1 || quality > 100) quality = kDefaultQuality;
    return ((100 - quality) * AVIF_QUANTIZER_WORST_QUALITY + 50) / 100;
}

// Grey records fill the luma plane directly: full range, so each grey
// level is its own luma value and nothing is lost to colour conversion.
bool fill_grey(avifImage* image, PicImage* pic)
{
    if (avifImageAllocatePlanes(image, AVIF_PLANES_YUV) != AVIF_RESULT_OK) return false;
    const auto width = std::size_t(pic->width);
    std::vector<unsigned char> rgb(3 * width);
    for (std::size_t y = 0; y < std::size_t(pic->height); ++y) {
        record_rgb_row(pic, y, rgb.data());
        std::uint8_t* luma = image->yuvPlanes[AVIF_CHAN_Y] + y * image->yuvRowBytes[AVIF_CHAN_Y];
        for (std::size_t x = 0; x < width; ++x) luma[x] = rgb[3 * x];
        report_progress(pic, std::int64_t(y) + 1, pic->height);
    }
    return true;
}

// Colour records go through libavif's RGB to YUV conversion; a 24-bit
// record is converted in place, a palette one through an RGB copy.
bool fill_colour(avifImage* image, PicImage* pic)
{
    const auto width = std::size_t(pic->width), height = std::size_t(pic->height);
    std::vector<unsigned char> copy;
    unsigned char* pixels = pic->pixels;
    if (pic->bits != 24) {
        const auto bytes = image_bytes(pic->width, pic->height, 24);
        if (!bytes) return false;
        copy.resize(*bytes);
        for (std::size_t y = 0; y < height; ++y) record_rgb_row(pic, y, copy.data() + y * 3 * width);
        pixels = copy.data();
    }
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.depth = 8;
    rgb.format = AVIF_RGB_FORMAT_RGB;
    rgb.pixels = pixels;
    rgb.rowBytes = std::uint32_t(3 * width);
    if (avifImageRGBToYUV(image, &rgb) != AVIF_RESULT_OK) return false;
    for (std::size_t y = 0; y < height; ++y) report_progress(pic, std::int64_t(y) + 1, pic->height);
    return true;
}

bool encode(PicImage* pic, int quality, avifRWData* output)
{
    const bool grey = record_is_grey(pic);
    const int quantizer = quantizer_for(quality);
    const bool full_chroma = quantizer <= quantizer_for(kFullChromaQuality);
    const avifPixelFormat format = grey          ? AVIF_PIXEL_FORMAT_YUV400
                                   : full_chroma ? AVIF_PIXEL_FORMAT_YUV444
                                                 : AVIF_PIXEL_FORMAT_YUV420;
    std::unique_ptr<avifImage, ImageFreer> image(
        avifImageCreate(std::uint32_t(pic->width), std::uint32_t(pic->height), 8, format));
    if (!image) return false;
    // sRGB, as every record is.
    image->yuvRange = AVIF_RANGE_FULL;
    image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    if (!(grey ? fill_grey(image.get(), pic) : fill_colour(image.get(), pic))) return false;

    std::unique_ptr<avifEncoder, EncoderFreer> encoder(avifEncoderCreate());
    if (!encoder) return false;
    encoder->maxThreads = codec_threads();
    encoder->speed = kSpeed;
    encoder->minQuantizer = quantizer;
    encoder->maxQuantizer = quantizer;
    return avifEncoderWrite(encoder.get(), image.get(), output) == AVIF_RESULT_OK;
}

}  // namespace
}  // namespace zarn::avif

ZARNAVIF_EXPORT int _Pic_Write_AVIF(const char* path, PicImage* pic, int quality, int)
{
    using namespace zarn;
    if (!path || !pic || !pic->pixels || pic->width <= 0 || pic->height <= 0) return 0;
    if (pic->bits != 1 && pic->bits != 24 && (pic->bits < 2 || pic->bits > 8)) return 0;
    if (!image_bytes(pic->width, pic->height, pic->bits)) return 0;
    return guarded([&] {
        avif::OutputData encoded;
        if (!avif::encode(pic, quality, &encoded.data)) {
            set_failure(Failure::WriteFailed);
            return 0;
        }
        OutputFile out(path, pic);
        if (!out || !out.write(std::span<const std::uint8_t>(encoded.data.data, encoded.data.size))) return 0;
        return out.commit() ? 1 : 0;
    });
}
