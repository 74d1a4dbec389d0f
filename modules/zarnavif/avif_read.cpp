// AVIF module, reading: libavif decodes, its own conversion gives 8-bit RGB, alpha goes over white, colours go to sRGB;
// sequences frame by frame.
#include "zarnavif.h"

#include "checked.h"
#include "colour_profile.h"
#include "exif.h"
#include "progress.h"
#include "record.h"
#include "shared_rules.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <avif/avif.h>

namespace zarn::avif {
namespace {

struct DecoderFreer {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};
using DecoderPtr = std::unique_ptr<avifDecoder, DecoderFreer>;

// A parsed file: libavif reads the bytes in place, so they live as long as its decoder.
// A sequence's frames share one colour space, so its transform is made once.
struct Parsed {
    std::vector<std::uint8_t> data;
    DecoderPtr decoder;
    std::optional<SrgbTransform> frame_colours;
};

// The whole stream, at most the pixel ceiling's worth of bytes: no real
// compressed picture is larger than the pixels it stands for.
std::optional<std::vector<std::uint8_t>> read_all(std::FILE* stream)
{
    constexpr std::size_t kBlock = std::size_t(1) << 20;
    std::vector<std::uint8_t> data;
    for (;;) {
        const std::size_t have = data.size();
        if (have > max_image_bytes()) return std::nullopt;
        data.resize(have + kBlock);
        const std::size_t got = std::fread(data.data() + have, 1, kBlock, stream);
        data.resize(have + got);
        if (got < kBlock) break;
    }
    if (std::ferror(stream)) return std::nullopt;
    return data;
}

// Opens the bytes in `file` and reads the container. The decoder is told
// the pixel ceiling before anything is decoded, so the AV1 decoder refuses
// a huge frame before allocating its planes; the declared size is checked
// here too, for the decoders that do not take a limit.
bool parse(Parsed& file)
{
    file.decoder.reset(avifDecoderCreate());
    avifDecoder* decoder = file.decoder.get();
    if (!decoder) {
        set_failure(Failure::OutOfMemory);
        return false;
    }
    decoder->maxThreads = codec_threads();
    decoder->ignoreXMP = AVIF_TRUE;
    decoder->ignoreExif = AVIF_TRUE;
    const std::size_t pixel_limit = std::max<std::size_t>(max_image_bytes() / 3, 1);
    decoder->imageSizeLimit = std::uint32_t(std::min<std::size_t>(pixel_limit, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
    avifResult result = avifDecoderSetIOMemory(decoder, file.data.data(), file.data.size());
    if (result == AVIF_RESULT_OK) result = avifDecoderParse(decoder);
    if (result != AVIF_RESULT_OK) return refuse(result == AVIF_RESULT_TRUNCATED_DATA) != 0;
    const avifImage* image = decoder->image;
    if (image->width == 0 || image->height == 0) return refuse(false) != 0;
    if (!image_bytes(image->width, image->height, 24)) {
        fail_too_large(image->width, image->height, 24);
        return false;
    }
    return true;
}

// The EXIF orientation (1 to 8) that does what the file's rotation and
// mirror ask: first the rotation, a quarter turn anticlockwise per step,
// then the mirror, which swaps top and bottom (mode 0) or left and right.
int orientation_of(const avifImage* image)
{
    const bool rotates = (image->transformFlags & AVIF_TRANSFORM_IROT) != 0;
    const bool mirrors = (image->transformFlags & AVIF_TRANSFORM_IMIR) != 0;
    const int angle = rotates ? image->irot.angle & 3 : 0;
    static constexpr int kTurned[4] = {1, 8, 3, 6};
    static constexpr int kTurnedThenLeftRight[4] = {2, 7, 4, 5};
    static constexpr int kTurnedThenTopBottom[4] = {4, 5, 2, 7};
    if (!mirrors) return kTurned[angle];
    return image->imir.mode == 0 ? kTurnedThenTopBottom[angle] : kTurnedThenLeftRight[angle];
}

const char* subsampling_name(avifPixelFormat format)
{
    switch (format) {
    case AVIF_PIXEL_FORMAT_YUV444: return "4:4:4";
    case AVIF_PIXEL_FORMAT_YUV422: return "4:2:2";
    case AVIF_PIXEL_FORMAT_YUV420: return "4:2:0";
    case AVIF_PIXEL_FORMAT_YUV400: return "4:0:0";
    default: return "?";
    }
}

// libavif's conversion of the decoded planes into `pixels`, 8 bits a
// sample: the one avifdec's 8-bit output goes through, with its rounding
// of deeper samples and its chroma upsampling.
bool convert(const avifImage* image, avifRGBFormat format, std::uint8_t* pixels, std::size_t row_bytes)
{
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.depth = 8;
    rgb.format = format;
    rgb.pixels = pixels;
    rgb.rowBytes = std::uint32_t(row_bytes);
    return avifImageYUVToRGB(image, &rgb) == AVIF_RESULT_OK;
}

// A temporary of `channels` bytes a pixel, held to the pixel ceiling.
std::optional<std::vector<std::uint8_t>> scratch(std::size_t width, std::size_t height, std::size_t channels)
{
    const auto pixels = checked_mul(width, height);
    const auto bytes = pixels ? checked_mul(*pixels, channels) : std::nullopt;
    if (!bytes || *bytes > max_image_bytes()) {
        fail_too_large(std::int64_t(width), std::int64_t(height), 24);
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(*bytes);
}

// The decoded picture into the record: 8-bit grey for a grey picture
// without alpha when `grey_allowed`, else 24-bit RGB with any alpha laid
// over white; upright unless the stored orientation is to be kept.
bool to_record(const avifImage* image, PicImage* pic, bool grey_allowed)
{
    const std::size_t width = image->width, height = image->height;
    const bool alpha = image->alphaPlane != nullptr;
    const bool grey = grey_allowed && !alpha && image->yuvFormat == AVIF_PIXEL_FORMAT_YUV400;
    const int bits = grey ? 8 : 24;
    const std::size_t bytes_per_pixel = grey ? 1 : 3;
    if (width > INT32_MAX || height > INT32_MAX) return refuse(false) != 0;
    PixelBlock block = allocate_image(std::int64_t(width), std::int64_t(height), bits);
    if (!block) return false;
    std::uint8_t* const out = block.get();

    if (!alpha && !grey) {
        if (!convert(image, AVIF_RGB_FORMAT_RGB, out, 3 * width)) return refuse(false) != 0;
        for (std::size_t y = 0; y < height; ++y) report_progress(pic, std::int64_t(y) + 1, std::int64_t(height));
    } else {
        const std::size_t channels = alpha ? 4 : 3;
        auto converted = scratch(width, height, channels);
        if (!converted) return false;
        if (!convert(image, alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB, converted->data(), channels * width))
            return refuse(false) != 0;
        for (std::size_t y = 0; y < height; ++y) {
            const std::uint8_t* in = converted->data() + y * width * channels;
            std::uint8_t* row = out + y * width * bytes_per_pixel;
            if (grey) {
                for (std::size_t x = 0; x < width; ++x) row[x] = in[3 * x];
            } else {
                for (std::size_t x = 0; x < width; ++x)
                    for (std::size_t c = 0; c < 3; ++c) row[3 * x + c] = onto_white(in[4 * x + c], in[4 * x + 3]);
            }
            report_progress(pic, std::int64_t(y) + 1, std::int64_t(height));
        }
    }

    const int orientation = keep_stored_orientation() ? 1 : orientation_of(image);
    std::size_t upright_width = width, upright_height = height;
    if (orientation != 1) {
        PixelBlock turned = upright_pixels(out, width, height, bytes_per_pixel, orientation);
        if (!turned) {
            set_failure(Failure::OutOfMemory);
            return false;
        }
        block = std::move(turned);
        if (orientation_swaps_sides(orientation)) std::swap(upright_width, upright_height);
    }

    std::free(pic->pixels);
    pic->pixels = block.release();
    pic->width = std::int32_t(upright_width);
    pic->height = std::int32_t(upright_height);
    pic->bits = bits;
    pic->colours = grey ? 256 : 0;
    if (grey) set_grey_palette(pic);
    return true;
}

// The picture's colour space as a profile: its ICC profile when it has one
// (a broken one is ignored, not replaced), else one for its nclx codes;
// empty for sRGB's own codes or unspecified ones.
std::vector<std::uint8_t> profile_of(const avifImage* image)
{
    if (image->icc.size > 0 && image->icc.data) return {image->icc.data, image->icc.data + image->icc.size};
    return profile_from_cicp(int(image->colorPrimaries), int(image->transferCharacteristics));
}

// The next picture of the file into the decoder's image; at the end of a
// sequence it starts again from the first.
bool next_image(avifDecoder* decoder, bool wrap)
{
    avifResult result = avifDecoderNextImage(decoder);
    if (result == AVIF_RESULT_NO_IMAGES_REMAINING && wrap) {
        result = avifDecoderReset(decoder);
        if (result == AVIF_RESULT_OK) result = avifDecoderNextImage(decoder);
    }
    if (result == AVIF_RESULT_OK) return true;
    return refuse(result == AVIF_RESULT_TRUNCATED_DATA) != 0;
}

}  // namespace

int read_avif_stream(std::FILE* stream, PicImage* pic)
{
    Parsed file;
    auto data = read_all(stream);
    if (!data) {
        set_failure(Failure::TooLarge);
        return 0;
    }
    file.data = std::move(*data);
    if (!parse(file)) return 0;
    avifDecoder* decoder = file.decoder.get();
    if (!next_image(decoder, false)) return 0;
    const avifImage* image = decoder->image;
    if (!to_record(image, pic, true)) return 0;
    const std::string colours = convert_record_to_srgb(pic, profile_of(image));
    const bool sequence = decoder->imageCount > 1;
    describe(pic, "AVIF : %ldx%ld %u-bit %s%s%s", long(pic->width), long(pic->height), unsigned(image->depth),
             subsampling_name(image->yuvFormat), image->alphaPlane ? " alpha" : "", sequence ? " sequence" : "");
    describe_colours(pic, colours);
    return 1;
}

}  // namespace zarn::avif

ZARNAVIF_EXPORT int _Pic_Read_AVIF(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic) return 0;
    return guarded([&] { return read_path(path, pic, avif::read_avif_stream); });
}

ZARNAVIF_EXPORT void* _Pic_OpenFrames_AVIF(const char* path)
{
    using namespace zarn;
    if (!path) return nullptr;
    void* opened = nullptr;
    guarded([&] {
        FilePtr stream(std::fopen(path, "rb"));
        if (!stream) return 0;
        auto data = avif::read_all(stream.get());
        if (!data) return 0;
        auto file = std::make_unique<avif::Parsed>();
        file->data = std::move(*data);
        if (!avif::parse(*file) || file->decoder->imageCount < 2) return 0;
        opened = file.release();
        return 1;
    });
    return opened;
}

ZARNAVIF_EXPORT int _Pic_NextFrame_AVIF(void* frames, PicImage* frame, int32_t* delay_ms)
{
    using namespace zarn;
    if (!frames || !frame || !delay_ms) return 0;
    return guarded([&] {
        auto& file = *static_cast<avif::Parsed*>(frames);
        avifDecoder* decoder = file.decoder.get();
        if (!avif::next_image(decoder, true) || !avif::to_record(decoder->image, frame, false)) return 0;
        if (!file.frame_colours)
            file.frame_colours = keep_stored_colours()
                                     ? SrgbTransform()
                                     : SrgbTransform::from_icc(avif::profile_of(decoder->image), ProfileInput::Rgb);
        // Frames are always 24-bit.
        file.frame_colours->convert(frame->pixels, frame->pixels,
                                    std::size_t(frame->width) * std::size_t(frame->height));
        const double ms = std::round(decoder->imageTiming.duration * 1000.0);
        *delay_ms = std::isfinite(ms) ? std::int32_t(std::clamp(ms, 0.0, double(INT32_MAX))) : 0;
        return 1;
    });
}

ZARNAVIF_EXPORT void _Pic_CloseFrames_AVIF(void* frames)
{
    delete static_cast<zarn::avif::Parsed*>(frames);
}
