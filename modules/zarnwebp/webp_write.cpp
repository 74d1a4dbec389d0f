// WebP module, writing: any record kind, lossy at a quality or lossless exactly, through libwebp's advanced encoder.
#include "zarnwebp.h"

#include "checked.h"
#include "progress.h"
#include "record.h"
#include "shared_rules.h"
#include "write_path.h"

#include <vector>

#include <webp/encode.h>

namespace zarn::webp {
namespace {

constexpr int kDefaultQuality = 75;

struct PictureFreer {
    void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};

int write_to_file(const std::uint8_t* data, std::size_t size, const WebPPicture* picture)
{
    return static_cast<OutputFile*>(picture->custom_ptr)->write({data, size}) ? 1 : 0;
}

int report_encoding(int percent, const WebPPicture* picture)
{
    report_progress(static_cast<const PicImage*>(picture->user_data), percent, 100);
    return 1;
}

// A 24-bit record's rows are already the RGB layout libwebp imports; lossy
// goes from them straight to YUV, as the command-line encoder does with the
// same rows. Palette and packed records are expanded a row at a time into
// the encoder's own ARGB pixels, with no whole-picture copy in between.
bool import_pixels(const PicImage* pic, WebPPicture& picture, bool lossless)
{
    if (pic->bits == 24) {
        picture.use_argb = lossless ? 1 : 0;
        return WebPPictureImportRGB(&picture, pic->pixels, 3 * pic->width) != 0;
    }
    picture.use_argb = 1;
    if (!WebPPictureAlloc(&picture)) return false;
    std::vector<unsigned char> rgb(3 * std::size_t(pic->width));
    for (std::size_t y = 0; y < std::size_t(pic->height); ++y) {
        record_rgb_row(pic, y, rgb.data());
        std::uint32_t* argb = picture.argb + y * std::size_t(picture.argb_stride);
        for (std::size_t x = 0; x < std::size_t(pic->width); ++x)
            argb[x] =
                0xFF000000u | std::uint32_t(rgb[3 * x]) << 16 | std::uint32_t(rgb[3 * x + 1]) << 8 | rgb[3 * x + 2];
    }
    return true;
}

int write_webp(const char* path, PicImage* pic, int quality, bool lossless)
{
    WebPConfig config;
    if (!WebPConfigInit(&config)) return 0;
    if (lossless) {
        config.lossless = 1;
        config.exact = 1;
    } else {
        config.quality = float(quality >= 1 && quality <= 100 ? quality : kDefaultQuality);
    }
    config.thread_level = codec_threads() > 1 ? 1 : 0;
    if (!WebPValidateConfig(&config)) return 0;

    OutputFile out(path, pic);
    if (!out) return 0;
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) return 0;
    const std::unique_ptr<WebPPicture, PictureFreer> owned(&picture);
    picture.width = pic->width;
    picture.height = pic->height;
    if (!import_pixels(pic, picture, lossless)) {
        set_failure(Failure::OutOfMemory);
        return 0;
    }
    picture.writer = write_to_file;
    picture.custom_ptr = &out;
    picture.progress_hook = report_encoding;
    picture.user_data = pic;
    if (!WebPEncode(&config, &picture) || !out.ok()) {
        set_failure(Failure::WriteFailed);
        return 0;
    }
    return out.commit() ? 1 : 0;
}

}  // namespace
}  // namespace zarn::webp

ZARNWEBP_EXPORT int _Pic_Write_WEBP(const char* path, PicImage* pic, int quality, int lossless)
{
    using namespace zarn;
    if (!path || !pic || !pic->pixels) return 0;
    if (pic->bits != 1 && pic->bits != 24 && (pic->bits < 2 || pic->bits > 8)) return 0;
    if (!image_bytes(pic->width, pic->height, pic->bits)) return 0;
    // The format stores at most 16383 pixels a side.
    if (pic->width > WEBP_MAX_DIMENSION || pic->height > WEBP_MAX_DIMENSION) {
        set_failure(Failure::Unsupported);
        return 0;
    }
    return guarded([&] { return webp::write_webp(path, pic, quality, lossless != 0); });
}
