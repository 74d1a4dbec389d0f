// WebP module, reading: stills decoded a slice at a time into the record, the first frame of an animation, EXIF
// orientation, the embedded profile to sRGB.
#include "zarnwebp.h"

#include "checked.h"
#include "colour_profile.h"
#include "exif.h"
#include "progress.h"
#include "record.h"
#include "shared_rules.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <webp/decode.h>
#include <webp/demux.h>

namespace zarn::webp {
namespace {

// Bytes handed to the incremental decoder per step: the rows it finishes in
// between are copied and reported, so a large picture shows progress.
constexpr std::size_t kSliceBytes = 256 << 10;
constexpr std::size_t kReadBytes = 1 << 20;

struct IncrementalDeleter {
    void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};
struct DemuxDeleter {
    void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};
struct AnimDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// An animation's header says nothing of how its frames are coded; it is
// lossless when every frame is.
bool every_frame_lossless(std::span<const std::uint8_t> file)
{
    const WebPData data{file.data(), file.size()};
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer(WebPDemux(&data));
    WebPIterator frame;
    if (!demuxer || !WebPDemuxGetFrame(demuxer.get(), 1, &frame)) return false;
    bool lossless = true;
    do {
        WebPBitstreamFeatures features;
        lossless = WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &features) == VP8_STATUS_OK &&
                   features.format == 2;
    } while (lossless && WebPDemuxNextFrame(&frame));
    WebPDemuxReleaseIterator(&frame);
    return lossless;
}

void describe_webp(PicImage* pic, const WebPBitstreamFeatures& features, bool lossless)
{
    describe(pic, "WebP : %ldx%ld %s%s%s", long(pic->width), long(pic->height), lossless ? "lossless" : "lossy",
             features.has_alpha ? " alpha" : "", features.has_animation ? " animated" : "");
}

// A still, fed to libwebp's incremental decoder in slices. Without alpha it
// decodes straight into the record's rows; with alpha into a four-byte
// canvas whose finished rows are laid over white into the record. A file
// cut short keeps the rows it finished (the rest black, with a warning);
// one that finishes none is refused.
int read_still(std::span<const std::uint8_t> file, const WebPBitstreamFeatures& features, PicImage* pic)
{
    const int width = features.width, height = features.height;
    const bool alpha = features.has_alpha != 0;
    if (alpha && !canvas_fits(width, height)) return 0;
    PixelBlock pixels = allocate_image(width, height, 24);
    if (!pixels) return 0;
    const std::size_t stride = 3 * std::size_t(width), canvas_stride = 4 * std::size_t(width);
    PixelBlock canvas;
    if (alpha) {
        canvas = allocate_pixels(canvas_stride * std::size_t(height));
        if (!canvas) {
            set_failure(Failure::OutOfMemory);
            return 0;
        }
    }

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return 0;
    config.options.use_threads = codec_threads() > 1 ? 1 : 0;
    config.output.colorspace = alpha ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = alpha ? canvas.get() : pixels.get();
    config.output.u.RGBA.stride = int(alpha ? canvas_stride : stride);
    config.output.u.RGBA.size = (alpha ? canvas_stride : stride) * std::size_t(height);
    const std::unique_ptr<WebPIDecoder, IncrementalDeleter> decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder) return 0;

    int done = 0;
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    for (std::size_t fed = 0; status == VP8_STATUS_SUSPENDED && fed < file.size();) {
        fed = std::min(file.size(), fed + kSliceBytes);
        status = WebPIUpdate(decoder.get(), file.data(), fed);
        int finished = 0;
        if (!WebPIDecGetRGB(decoder.get(), &finished, nullptr, nullptr, nullptr)) finished = 0;
        finished = std::clamp(finished, done, height);
        for (; done < finished; ++done) {
            if (alpha)
                rgba_onto_white(canvas.get() + std::size_t(done) * canvas_stride,
                                pixels.get() + std::size_t(done) * stride, std::size_t(width));
            report_progress(pic, done + 1, height);
        }
    }
    if (status != VP8_STATUS_OK) {
        if (status != VP8_STATUS_SUSPENDED || done == 0) return refuse(status == VP8_STATUS_SUSPENDED);
        // Whatever libwebp left in the unfinished rows goes: they are black.
        std::memset(pixels.get() + std::size_t(done) * stride, 0, std::size_t(height - done) * stride);
        warn_filled_in();
    }
    pic->pixels = pixels.release();
    return 1;
}

// The first frame of an animation: the whole canvas as libwebp composites it.
int read_first_frame(std::span<const std::uint8_t> file, const WebPBitstreamFeatures& features, PicImage* pic)
{
    if (!canvas_fits(features.width, features.height)) return 0;
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return 0;
    options.color_mode = MODE_RGBA;
    options.use_threads = codec_threads() > 1 ? 1 : 0;
    const WebPData data{file.data(), file.size()};
    const std::unique_ptr<WebPAnimDecoder, AnimDeleter> decoder(WebPAnimDecoderNew(&data, &options));
    if (!decoder) return refuse(false);
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return 0;
    if (info.canvas_width != unsigned(features.width) || info.canvas_height != unsigned(features.height)) return 0;
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas) return refuse(true);

    PixelBlock pixels = allocate_image(features.width, features.height, 24);
    if (!pixels) return 0;
    const auto width = std::size_t(features.width);
    for (int y = 0; y < features.height; ++y) {
        rgba_onto_white(canvas + std::size_t(y) * 4 * width, pixels.get() + std::size_t(y) * 3 * width, width);
        report_progress(pic, y + 1, features.height);
    }
    pic->pixels = pixels.release();
    return 1;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> read_whole(std::FILE* stream)
{
    std::vector<std::uint8_t> bytes;
    const std::size_t limit = max_image_bytes();
    for (;;) {
        const std::size_t had = bytes.size();
        if (had >= limit) {
            set_failure(Failure::TooLarge);
            return std::nullopt;
        }
        bytes.resize(had + std::min(kReadBytes, limit - had));
        const std::size_t got = std::fread(bytes.data() + had, 1, bytes.size() - had, stream);
        bytes.resize(had + got);
        if (got == 0) break;
    }
    if (std::ferror(stream)) {
        set_failure(Failure::Unreadable);
        return std::nullopt;
    }
    return bytes;
}

bool canvas_fits(std::int64_t width, std::int64_t height)
{
    const auto area = checked_mul(std::size_t(width), std::size_t(height));
    const auto bytes = area ? checked_mul(*area, 4) : std::nullopt;
    if (width > 0 && height > 0 && bytes && *bytes <= max_image_bytes()) return true;
    fail_too_large(width, height, 24);
    return false;
}

void rgba_onto_white(const std::uint8_t* rgba, std::uint8_t* rgb, std::size_t pixels)
{
    for (std::size_t x = 0; x < pixels; ++x, rgba += 4, rgb += 3) {
        const unsigned alpha = rgba[3];
        rgb[0] = onto_white(rgba[0], alpha);
        rgb[1] = onto_white(rgba[1], alpha);
        rgb[2] = onto_white(rgba[2], alpha);
    }
}

// The EXIF chunk holds a bare TIFF header; the parser wants it behind the
// six bytes a JPEG segment starts with. Some writers store those too.
int stored_orientation(std::span<const std::uint8_t> file)
{
    const WebPData data{file.data(), file.size()};
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer(WebPDemux(&data));
    if (!demuxer) return 1;
    WebPChunkIterator chunk;
    if (!WebPDemuxGetChunk(demuxer.get(), "EXIF", 1, &chunk)) return 1;
    static constexpr std::uint8_t kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<std::uint8_t> segment;
    const std::span<const std::uint8_t> stored(chunk.chunk.bytes, chunk.chunk.size);
    if (stored.size() < 6 || std::memcmp(stored.data(), kExifPrefix, 6) != 0)
        segment.assign(kExifPrefix, kExifPrefix + 6);
    segment.insert(segment.end(), stored.begin(), stored.end());
    WebPDemuxReleaseChunkIterator(&chunk);
    return exif_orientation(segment);
}

std::vector<std::uint8_t> stored_profile(std::span<const std::uint8_t> file)
{
    const WebPData data{file.data(), file.size()};
    // The chunk comes before the pixels, so a file cut short still has it.
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demuxer(WebPDemuxPartial(&data, nullptr));
    WebPChunkIterator chunk;
    if (!demuxer || !WebPDemuxGetChunk(demuxer.get(), "ICCP", 1, &chunk)) return {};
    std::vector<std::uint8_t> profile(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
    return profile;
}

bool turn_upright(PicImage* pic, int orientation)
{
    if (orientation < 2 || orientation > 8 || keep_stored_orientation()) return true;
    PixelBlock turned = upright_pixels(pic->pixels, std::size_t(pic->width), std::size_t(pic->height), 3, orientation);
    if (!turned) {
        set_failure(Failure::OutOfMemory);
        return false;
    }
    std::free(pic->pixels);
    pic->pixels = turned.release();
    if (orientation_swaps_sides(orientation)) std::swap(pic->width, pic->height);
    return true;
}

int read_webp_stream(std::FILE* stream, PicImage* pic)
{
    const auto file = read_whole(stream);
    if (!file) return 0;
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(file->data(), file->size(), &features);
    if (status != VP8_STATUS_OK) return refuse(status == VP8_STATUS_NOT_ENOUGH_DATA);
    if (features.width <= 0 || features.height <= 0) return refuse(false);

    std::free(pic->pixels);
    pic->pixels = nullptr;
    const int read = features.has_animation ? read_first_frame(*file, features, pic) : read_still(*file, features, pic);
    if (!read) return 0;
    pic->width = features.width;
    pic->height = features.height;
    pic->bits = 24;
    pic->colours = 0;
    if (!turn_upright(pic, stored_orientation(*file))) {
        std::free(pic->pixels);
        pic->pixels = nullptr;
        return 0;
    }
    const std::string colours = convert_record_to_srgb(pic, stored_profile(*file));
    describe_webp(pic, features, features.has_animation ? every_frame_lossless(*file) : features.format == 2);
    describe_colours(pic, colours);
    return 1;
}

}  // namespace zarn::webp

ZARNWEBP_EXPORT int _Pic_Read_WEBP(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic) return 0;
    return guarded([&] { return read_path(path, pic, webp::read_webp_stream); });
}
