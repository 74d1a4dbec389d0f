// WebP module, animation frames: libwebp composites each canvas; it is laid over white, turned into sRGB, upright and
// timed here.
#include "zarnwebp.h"

#include "colour_profile.h"
#include "record.h"
#include "shared_rules.h"

#include <memory>

#include <webp/demux.h>

namespace zarn::webp {
namespace {

struct Frames {
    std::vector<std::uint8_t> file;  // libwebp reads from it for the decoder's whole life
    WebPAnimDecoder* decoder = nullptr;
    int width = 0, height = 0;
    int orientation = 1;
    SrgbTransform colours;  // the file's profile to sRGB, empty when there is nothing to do
    int previous_end = 0;   // where the last frame handed out ended, in ms

    ~Frames() { WebPAnimDecoderDelete(decoder); }
};

std::unique_ptr<Frames> open_frames(const char* path)
{
    const FilePtr stream(std::fopen(path, "rb"));
    if (!stream) return nullptr;
    auto file = read_whole(stream.get());
    if (!file) return nullptr;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(file->data(), file->size(), &features) != VP8_STATUS_OK || !features.has_animation)
        return nullptr;
    if (!canvas_fits(features.width, features.height)) return nullptr;

    auto frames = std::make_unique<Frames>();
    frames->file = std::move(*file);
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return nullptr;
    options.color_mode = MODE_RGBA;
    options.use_threads = codec_threads() > 1 ? 1 : 0;
    const WebPData data{frames->file.data(), frames->file.size()};
    frames->decoder = WebPAnimDecoderNew(&data, &options);
    WebPAnimInfo info;
    if (!frames->decoder || !WebPAnimDecoderGetInfo(frames->decoder, &info) || info.frame_count < 2) return nullptr;
    if (info.canvas_width != unsigned(features.width) || info.canvas_height != unsigned(features.height))
        return nullptr;
    frames->width = features.width;
    frames->height = features.height;
    frames->orientation = stored_orientation(frames->file);
    if (!keep_stored_colours())
        frames->colours = SrgbTransform::from_icc(stored_profile(frames->file), ProfileInput::Rgb);
    return frames;
}

int next_frame(Frames& frames, PicImage* frame, std::int32_t* delay_ms)
{
    if (!WebPAnimDecoderHasMoreFrames(frames.decoder)) {
        WebPAnimDecoderReset(frames.decoder);
        frames.previous_end = 0;
    }
    std::uint8_t* canvas = nullptr;
    int end = 0;
    if (!WebPAnimDecoderGetNext(frames.decoder, &canvas, &end) || !canvas) return 0;
    PixelBlock pixels = allocate_image(frames.width, frames.height, 24);
    if (!pixels) return 0;
    const auto width = std::size_t(frames.width);
    for (std::size_t y = 0; y < std::size_t(frames.height); ++y)
        rgba_onto_white(canvas + y * 4 * width, pixels.get() + y * 3 * width, width);
    frames.colours.convert(pixels.get(), pixels.get(), width * std::size_t(frames.height));

    std::free(frame->pixels);
    frame->pixels = pixels.release();
    frame->width = frames.width;
    frame->height = frames.height;
    frame->bits = 24;
    frame->colours = 0;
    if (!turn_upright(frame, frames.orientation)) return 0;
    // libwebp gives each frame's end time; the frame lasts from the previous one's.
    if (delay_ms) *delay_ms = end > frames.previous_end ? end - frames.previous_end : 0;
    frames.previous_end = end;
    return 1;
}

}  // namespace
}  // namespace zarn::webp

ZARNWEBP_EXPORT void* _Pic_OpenFrames_WEBP(const char* path)
{
    if (!path) return nullptr;
    try {
        return zarn::webp::open_frames(path).release();
    } catch (...) {
        return nullptr;
    }
}

ZARNWEBP_EXPORT int _Pic_NextFrame_WEBP(void* frames, PicImage* frame, int32_t* delay_ms)
{
    using namespace zarn;
    if (!frames || !frame) return 0;
    return guarded([&] { return webp::next_frame(*static_cast<webp::Frames*>(frames), frame, delay_ms); });
}

ZARNWEBP_EXPORT void _Pic_CloseFrames_WEBP(void* frames)
{
    delete static_cast<zarn::webp::Frames*>(frames);
}
