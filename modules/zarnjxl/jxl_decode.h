// The decoding session the reader and the frame player share: the file's bytes and libjxl's decoder over them.
#pragma once

#include "colour_profile.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace zarn::jxl {

// The whole stream, at most max_image_bytes() of it; nothing when it is
// longer or cannot be read.
std::optional<std::vector<std::uint8_t>> read_all(std::FILE* stream);

enum class Step {
    Frame,   // a frame is in the buffer
    End,     // the file has no more frames
    Failed,  // damaged, cut short, or the buffer is too small
};

class Session {
public:
    // Starts decoding `bytes` and reads up to the basic information. False
    // (with the reason) when the bytes are no JPEG XL, are damaged, or
    // describe a picture past the pixel ceiling.
    bool open(std::vector<std::uint8_t> bytes);

    // Upright size unless the stored orientation is kept.
    std::uint32_t width() const { return info_.xsize; }
    std::uint32_t height() const { return info_.ysize; }
    const JxlBasicInfo& info() const { return info_; }
    bool grey() const { return info_.num_color_channels == 1; }
    bool alpha() const { return info_.alpha_bits > 0; }

    // Decodes the next frame, whole and blended as the file says, into `out`
    // as 8-bit samples of `colour_channels` (1 or 3; a grey picture may be
    // asked for 3) followed by straight alpha when `with_alpha`. The frame's
    // duration in ticks goes to `duration`.
    Step next_frame(unsigned char* out, std::size_t size, int colour_channels, bool with_alpha,
                    std::uint32_t& duration);
    // Goes back to the first frame.
    void rewind();

    // Turns `pixels` pixels of `colour_channels` samples each, as
    // next_frame gave them, into sRGB when libjxl could not.
    void to_srgb(unsigned char* pixels, std::size_t count, int colour_channels) const;
    // The colour space the pixels were turned from ("Display P3"), empty
    // when they came as they were stored. Known once a frame is decoded.
    const std::string& colour_name() const { return colour_name_; }

private:
    bool start();
    void choose_colours();

    std::vector<std::uint8_t> bytes_;
    JxlDecoderPtr decoder_;
    JxlThreadParallelRunnerPtr runner_;
    JxlBasicInfo info_{};
    SrgbTransform colours_;
    std::string colour_name_;
};

}  // namespace zarn::jxl
