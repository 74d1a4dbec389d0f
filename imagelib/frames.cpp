// The frames of an animated picture for playback: GIF by our own iterator, the newer formats by their modules.
#include "codecs.h"
#include "platform.h"
#include "record.h"

#include <memory>
#include <string>

namespace {

constexpr int kGifCode = 2;
constexpr int kWebpCode = 12;
constexpr int kAvifCode = 13;
constexpr int kJxlCode = 15;

using OpenRoutine = void* (*)(const char* path);
using NextRoutine = int (*)(void* frames, PicImage* frame, std::int32_t* delay_ms);
using CloseRoutine = void (*)(void* frames);

}  // namespace

// One of two kinds: a GIF read here from a stream it holds open, or a
// module's own iterator, with the module kept loaded for as long as it runs.
struct PicFrames {
    zarn::FilePtr file;
    zarn::GifFramesPtr gif;

    zarn::Module module;
    void* handle = nullptr;
    NextRoutine next = nullptr;
    CloseRoutine close = nullptr;

    PicFrames() = default;
    PicFrames(const PicFrames&) = delete;
    PicFrames& operator=(const PicFrames&) = delete;
    ~PicFrames()
    {
        gif.reset();  // before the stream it reads
        if (handle && close) close(handle);
    }
};

namespace {

PicFrames* open_gif(const char* path)
{
    auto frames = std::make_unique<PicFrames>();
    frames->file.reset(std::fopen(path, "rb"));
    if (!frames->file) return nullptr;
    frames->gif = zarn::open_gif_frames(frames->file.get());
    return frames->gif ? frames.release() : nullptr;
}

PicFrames* open_with_module(const char* path, const char* module, const char* tag)
{
    auto frames = std::make_unique<PicFrames>();
    frames->module = zarn::open_module(module);
    const std::string name(tag);
    const auto open = frames->module.find_as<OpenRoutine>(("_Pic_OpenFrames_" + name).c_str());
    frames->next = frames->module.find_as<NextRoutine>(("_Pic_NextFrame_" + name).c_str());
    frames->close = frames->module.find_as<CloseRoutine>(("_Pic_CloseFrames_" + name).c_str());
    if (!open || !frames->next || !frames->close) return nullptr;
    frames->handle = open(path);
    return frames->handle ? frames.release() : nullptr;
}

}  // namespace

extern "C" ZARNGFX_EXPORT PicFrames* _Pic_FramesOpen(const char* path)
{
    if (!path) return nullptr;
    PicFrames* opened = nullptr;
    zarn::guarded([&] {
        switch (_Pic_Valid(path)) {
        case kGifCode: opened = open_gif(path); break;
        case kWebpCode: opened = open_with_module(path, "zarnwebp", "WEBP"); break;
        case kAvifCode: opened = open_with_module(path, "zarnavif", "AVIF"); break;
        case kJxlCode: opened = open_with_module(path, "zarnjxl", "JXL"); break;
        default: break;
        }
        return opened ? 1 : 0;
    });
    return opened;
}

extern "C" ZARNGFX_EXPORT int _Pic_FramesNext(PicFrames* frames, PicImage* frame, int32_t* delay_ms)
{
    if (!frames || !frame || !delay_ms) return 0;
    return zarn::guarded([&] {
        if (frames->gif) return zarn::next_gif_frame(*frames->gif, frame, delay_ms);
        return frames->next(frames->handle, frame, delay_ms) ? 1 : 0;
    });
}

extern "C" ZARNGFX_EXPORT void _Pic_FramesClose(PicFrames* frames)
{
    delete frames;
}
