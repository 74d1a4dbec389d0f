// JPEG XL module, reading: the first frame into the record, and every frame of an animation for playback.
#include "zarnjxl.h"

#include "checked.h"
#include "jxl_decode.h"
#include "progress.h"
#include "record.h"
#include "shared_rules.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace zarn::jxl {
namespace {

// Lays `width` pixels of `channels` colour samples and an alpha over white,
// from `in` into `out`.
void composite_row(const unsigned char* in, unsigned char* out, std::size_t width, int channels)
{
    const std::size_t step = std::size_t(channels) + 1;
    for (std::size_t x = 0; x < width; ++x) {
        const unsigned char* pixel = in + x * step;
        for (int c = 0; c < channels; ++c)
            out[x * std::size_t(channels) + std::size_t(c)] = onto_white(pixel[c], pixel[channels]);
    }
}

// The session's next frame as a new block in the record's layout of
// `colour_channels` (1 grey, 3 RGB). A picture with alpha is decoded into
// `scratch` first and laid over white row by row; without, libjxl writes the
// block itself. Null with the step that stopped it.
PixelBlock decode_frame(Session& session, int colour_channels, std::vector<unsigned char>& scratch, Step& step,
                        std::uint32_t& duration, const PicImage* pic)
{
    step = Step::Failed;
    const std::size_t width = session.width(), height = session.height();
    PixelBlock pixels = allocate_image(std::int64_t(width), std::int64_t(height), colour_channels * 8);
    if (!pixels) return nullptr;
    const std::size_t stride = width * std::size_t(colour_channels);
    unsigned char* target = pixels.get();
    std::size_t target_size = stride * height;
    const bool alpha = session.alpha();
    if (alpha) {
        const auto wide = checked_mul(width * height, std::size_t(colour_channels) + 1);
        if (!wide || *wide > max_image_bytes()) {
            fail_too_large(std::int64_t(width), std::int64_t(height), (colour_channels + 1) * 8);
            return nullptr;
        }
        scratch.resize(*wide);
        target = scratch.data();
        target_size = *wide;
    }
    step = session.next_frame(target, target_size, colour_channels, alpha, duration);
    if (step != Step::Frame) return nullptr;
    const std::size_t wide_stride = width * (std::size_t(colour_channels) + 1);
    for (std::size_t y = 0; y < height; ++y) {
        if (alpha) composite_row(target + y * wide_stride, pixels.get() + y * stride, width, colour_channels);
        report_progress(pic, std::int64_t(y) + 1, std::int64_t(height));
    }
    session.to_srgb(pixels.get(), width * height, colour_channels);
    return pixels;
}

// Whether the bytes hold an animation of at least two frames. Only the frame
// headers are asked for, so libjxl skips the pixels.
bool has_two_frames(const std::vector<std::uint8_t>& bytes)
{
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FRAME) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return false;
    JxlDecoderCloseInput(decoder.get());
    int frames = 0;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo info{};
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS || !info.have_animation) return false;
        } else if (status == JXL_DEC_FRAME) {
            if (++frames == 2) return true;
        } else {
            return false;
        }
    }
}

// A duration in ticks as milliseconds, at the animation's ticks per second.
std::int32_t milliseconds(std::uint32_t ticks, const JxlAnimationHeader& animation)
{
    if (animation.tps_numerator == 0) return 0;
    const double ms = double(ticks) * 1000.0 * double(animation.tps_denominator) / double(animation.tps_numerator);
    return std::int32_t(std::clamp(ms + 0.5, 0.0, double(INT32_MAX)));
}

struct Frames {
    Session session;
    std::vector<unsigned char> scratch;
};

}  // namespace

int read_jxl_stream(std::FILE* stream, PicImage* pic)
{
    std::optional<std::vector<std::uint8_t>> bytes = read_all(stream);
    if (!bytes) {
        set_failure(Failure::Unreadable);
        return 0;
    }
    Session session;
    if (!session.open(std::move(*bytes))) return 0;
    const bool grey = session.grey();
    std::vector<unsigned char> scratch;
    Step step = Step::Failed;
    std::uint32_t duration = 0;
    PixelBlock pixels = decode_frame(session, grey ? 1 : 3, scratch, step, duration, pic);
    if (!pixels) {
        if (step == Step::End) refuse(false);  // a file with no frame at all
        return 0;
    }
    const JxlBasicInfo& info = session.info();
    pic->width = std::int32_t(session.width());
    pic->height = std::int32_t(session.height());
    pic->bits = grey ? 8 : 24;
    pic->colours = grey ? 256 : 0;
    std::memset(pic->palette, 0, sizeof pic->palette);
    if (grey) set_grey_palette(pic);
    // A picture stored in the codec's own colour space is never exact; one
    // kept in its original space may be either, so it is not called lossless.
    describe(pic, "JPEG XL : %ldx%ld%s %u-bit%s%s", long(pic->width), long(pic->height),
             info.uses_original_profile ? "" : " lossy", unsigned(info.bits_per_sample),
             session.alpha() ? " alpha" : "", info.have_animation ? " animated" : "");
    describe_colours(pic, session.colour_name());
    pic->pixels = pixels.release();
    return 1;
}

}  // namespace zarn::jxl

ZARNJXL_EXPORT int _Pic_Read_JXL(const char* path, PicImage* pic)
{
    using namespace zarn;
    if (!path || !pic) return 0;
    return guarded([&] { return read_path(path, pic, jxl::read_jxl_stream); });
}

ZARNJXL_EXPORT void* _Pic_OpenFrames_JXL(const char* path)
{
    using namespace zarn;
    if (!path) return nullptr;
    try {
        const FilePtr file(std::fopen(path, "rb"));
        if (!file) return nullptr;
        std::optional<std::vector<std::uint8_t>> bytes = jxl::read_all(file.get());
        if (!bytes || !jxl::has_two_frames(*bytes)) return nullptr;
        auto frames = std::make_unique<jxl::Frames>();
        if (!frames->session.open(std::move(*bytes))) return nullptr;
        return frames.release();
    } catch (...) {
        return nullptr;
    }
}

ZARNJXL_EXPORT int _Pic_NextFrame_JXL(void* frames, PicImage* frame, int32_t* delay_ms)
{
    using namespace zarn;
    if (!frames || !frame || !delay_ms) return 0;
    return guarded([&] {
        auto& playing = *static_cast<jxl::Frames*>(frames);
        jxl::Step step = jxl::Step::Failed;
        std::uint32_t duration = 0;
        PixelBlock pixels = jxl::decode_frame(playing.session, 3, playing.scratch, step, duration, frame);
        if (!pixels && step == jxl::Step::End) {
            playing.session.rewind();
            pixels = jxl::decode_frame(playing.session, 3, playing.scratch, step, duration, frame);
        }
        if (!pixels) return 0;
        std::free(frame->pixels);
        frame->pixels = pixels.release();
        frame->width = std::int32_t(playing.session.width());
        frame->height = std::int32_t(playing.session.height());
        frame->bits = 24;
        frame->colours = 0;
        *delay_ms = jxl::milliseconds(duration, playing.session.info().animation);
        return 1;
    });
}

ZARNJXL_EXPORT void _Pic_CloseFrames_JXL(void* frames)
{
    delete static_cast<zarn::jxl::Frames*>(frames);
}
