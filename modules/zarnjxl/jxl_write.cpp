// JPEG XL module, writing: the record as 8-bit sRGB, or grey when every colour it can use is grey.
#include "zarnjxl.h"

#include "checked.h"
#include "progress.h"
#include "record.h"
#include "shared_rules.h"
#include "write_path.h"

#include <jxl/encode.h>
#include <jxl/encode_cxx.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include <cmath>
#include <vector>

namespace zarn::jxl {
namespace {

// Lossy files take the reference encoder's own effort, 7: a 16-megapixel
// photograph takes about 5 s on one core. Lossless coding at that effort takes
// twenty times as long, minutes for such a picture; effort 3 is quick (a few
// seconds) and its files are some 10-20% larger.
constexpr int kLossyEffort = 7;
constexpr int kLosslessEffort = 3;
constexpr int kDefaultQuality = 90;
constexpr std::size_t kOutputBlock = std::size_t(1) << 16;

// The distance the reference encoder's -q gives: 90 is distance 1, each step
// down from 100 adds 0.09 to 30, and below that it grows geometrically.
float distance_for(int quality)
{
    if (quality >= 30) return 0.1f + float(100 - quality) * 0.09f;
    return 6.4f + std::pow(2.5f, float(30 - quality) / 5.0f) / 6.25f;
}

// The samples libjxl takes: one grey byte or three RGB bytes a pixel, top
// down. A 24-bit record is used as it is; others are expanded through the
// palette into `buffer`.
const unsigned char* samples(PicImage* pic, bool grey, std::vector<unsigned char>& buffer)
{
    const auto width = std::size_t(pic->width), height = std::size_t(pic->height);
    if (pic->bits == 24) {
        for (std::size_t y = 0; y < height; ++y) report_progress(pic, std::int64_t(y) + 1, pic->height);
        return pic->pixels;
    }
    const std::size_t channels = grey ? 1 : 3;
    buffer.resize(width * height * channels);
    std::vector<unsigned char> rgb(3 * width);
    for (std::size_t y = 0; y < height; ++y) {
        record_rgb_row(pic, y, rgb.data());
        unsigned char* row = buffer.data() + y * width * channels;
        if (grey)
            for (std::size_t x = 0; x < width; ++x) row[x] = rgb[3 * x];
        else std::copy(rgb.begin(), rgb.end(), row);
        report_progress(pic, std::int64_t(y) + 1, pic->height);
    }
    return buffer.data();
}

bool encode(PicImage* pic, int quality, bool lossless, OutputFile& out)
{
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    if (!encoder) return false;
    JxlThreadParallelRunnerPtr runner;
    if (codec_threads() > 1) {
        runner = JxlThreadParallelRunnerMake(nullptr, std::size_t(codec_threads()));
        if (!runner ||
            JxlEncoderSetParallelRunner(encoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_ENC_SUCCESS)
            return false;
    }
    // The reference encoder takes 100 as lossless too.
    if (quality < 1 || quality > 100) quality = kDefaultQuality;
    lossless = lossless || quality == 100;

    const bool grey = record_is_grey(pic);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = std::uint32_t(pic->width);
    info.ysize = std::uint32_t(pic->height);
    info.bits_per_sample = 8;
    info.num_color_channels = grey ? 1 : 3;
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    JxlColorEncoding srgb{};
    JxlColorEncodingSetToSRGB(&srgb, grey ? JXL_TRUE : JXL_FALSE);
    if (JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(encoder.get(), &srgb) != JXL_ENC_SUCCESS)
        return false;

    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    if (!settings || JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT,
                                                      lossless ? kLosslessEffort : kLossyEffort) != JXL_ENC_SUCCESS)
        return false;
    if (lossless) {
        if (JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS ||
            JxlEncoderSetFrameDistance(settings, 0.0f) != JXL_ENC_SUCCESS)
            return false;
    } else if (JxlEncoderSetFrameDistance(settings, distance_for(quality)) != JXL_ENC_SUCCESS) {
        return false;
    }

    std::vector<unsigned char> buffer;
    const unsigned char* data = samples(pic, grey, buffer);
    const std::size_t size = std::size_t(pic->width) * std::size_t(pic->height) * (grey ? 1 : 3);
    const JxlPixelFormat format{grey ? 1u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    if (JxlEncoderAddImageFrame(settings, &format, data, size) != JXL_ENC_SUCCESS) return false;
    JxlEncoderCloseInput(encoder.get());

    // The code stream goes to the file a block at a time as libjxl makes it.
    std::vector<std::uint8_t> block(kOutputBlock);
    for (;;) {
        std::uint8_t* next = block.data();
        std::size_t room = block.size();
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &room);
        if (status == JXL_ENC_ERROR) return false;
        if (!out.write({block.data(), block.size() - room})) return false;
        if (status == JXL_ENC_SUCCESS) return true;
    }
}

}  // namespace
}  // namespace zarn::jxl

ZARNJXL_EXPORT int _Pic_Write_JXL(const char* path, PicImage* pic, int quality, int lossless)
{
    using namespace zarn;
    if (!path || !pic || !pic->pixels) return 0;
    if (pic->bits != 1 && pic->bits != 24 && (pic->bits < 2 || pic->bits > 8)) return 0;
    if (pic->width <= 0 || pic->height <= 0 || !image_bytes(pic->width, pic->height, pic->bits)) return 0;
    return guarded([&] {
        OutputFile out(path, pic);
        if (!out || !jxl::encode(pic, quality, lossless != 0, out)) return 0;
        return out.commit() ? 1 : 0;
    });
}
