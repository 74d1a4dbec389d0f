// JPEG XL decoding shared by the reader and the frame player: the bytes in memory, libjxl asked for 8-bit sRGB, or
// lcms2 turning a picture kept in its own colour space into sRGB.
#include "jxl_decode.h"

#include "checked.h"
#include "exif.h"
#include "record.h"
#include "shared_rules.h"

#include <jxl/encode.h>

#include <sys/stat.h>

#include <array>
#include <cmath>
#include <cstdio>

namespace zarn::jxl {
namespace {

constexpr int kEvents = JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME | JXL_DEC_FULL_IMAGE;
constexpr std::size_t kReadBlock = std::size_t(1) << 20;

// A reader turning the bytes down, for the routines that answer true or false.
bool refused(bool cut_short)
{
    refuse(cut_short);
    return false;
}

// No real profile comes near this; a longer one is not looked at.
constexpr std::size_t kMaxProfileBytes = std::size_t(16) << 20;

// sRGB, or what stands for it: sRGB's primaries and white with its curve or
// a plain gamma of 2.2, the way PNG files say sRGB. Such a picture comes out
// as stored.
bool srgb_like(const JxlColorEncoding& colours)
{
    if (colours.color_space != JXL_COLOR_SPACE_RGB && colours.color_space != JXL_COLOR_SPACE_GRAY) return false;
    if (colours.white_point != JXL_WHITE_POINT_D65) return false;
    if (colours.color_space == JXL_COLOR_SPACE_RGB && colours.primaries != JXL_PRIMARIES_SRGB) return false;
    if (colours.transfer_function == JXL_TRANSFER_FUNCTION_SRGB) return true;
    return colours.transfer_function == JXL_TRANSFER_FUNCTION_GAMMA && std::fabs(colours.gamma - 1.0 / 2.2) < 0.0005;
}

bool near(const double xy[2], double x, double y)
{
    return std::fabs(xy[0] - x) < 0.002 && std::fabs(xy[1] - y) < 0.002;
}

// A name for a colour space the file gives by its parts, for the
// description; empty for one that is neither RGB nor grey.
std::string encoded_name(const JxlColorEncoding& colours)
{
    std::string name;
    if (colours.color_space != JXL_COLOR_SPACE_RGB && colours.color_space != JXL_COLOR_SPACE_GRAY) return name;
    if (colours.color_space == JXL_COLOR_SPACE_GRAY) name = "Grey";
    else if (colours.primaries == JXL_PRIMARIES_SRGB) name = "sRGB";
    else if (colours.primaries == JXL_PRIMARIES_2100) name = "BT.2020";
    else if (colours.primaries == JXL_PRIMARIES_P3)
        name = colours.white_point == JXL_WHITE_POINT_DCI ? "DCI-P3" : "Display P3";
    else if (near(colours.primaries_red_xy, 0.64, 0.33) && near(colours.primaries_green_xy, 0.21, 0.71) &&
             near(colours.primaries_blue_xy, 0.15, 0.06))
        name = "Adobe RGB";
    else name = "RGB";
    switch (colours.transfer_function) {
    case JXL_TRANSFER_FUNCTION_LINEAR: return name + " linear";
    case JXL_TRANSFER_FUNCTION_PQ: return name + " PQ";
    case JXL_TRANSFER_FUNCTION_HLG: return name + " HLG";
    case JXL_TRANSFER_FUNCTION_GAMMA:
        if (colours.gamma > 0 && (colours.color_space == JXL_COLOR_SPACE_GRAY || name == "sRGB")) {
            char text[24] = {};
            std::snprintf(text, sizeof text, " gamma %.1f", 1.0 / colours.gamma);
            return name + text;
        }
        return name;
    default: return name;
    }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> read_all(std::FILE* stream)
{
    const std::size_t limit = max_image_bytes();
    std::vector<std::uint8_t> bytes;
    struct stat status {};
    if (fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        if (std::uint64_t(status.st_size) > limit) return std::nullopt;
        bytes.reserve(std::size_t(status.st_size));
    }
    for (;;) {
        const std::size_t have = bytes.size();
        if (have >= limit && std::fgetc(stream) != EOF) return std::nullopt;
        if (have >= limit) break;
        const std::size_t want = std::min(kReadBlock, limit - have);
        bytes.resize(have + want);
        const std::size_t got = std::fread(bytes.data() + have, 1, want, stream);
        bytes.resize(have + got);
        if (got < want) break;
    }
    if (std::ferror(stream)) return std::nullopt;
    return bytes;
}

bool Session::start()
{
    decoder_ = JxlDecoderMake(nullptr);
    if (!decoder_) return false;
    JxlDecoder* const decoder = decoder_.get();
    const int threads = codec_threads();
    // One thread decodes on the caller's own, with no pool at all.
    if (threads > 1 && !runner_) runner_ = JxlThreadParallelRunnerMake(nullptr, std::size_t(threads));
    if (runner_ && JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, runner_.get()) != JXL_DEC_SUCCESS)
        return false;
    // Unpremultiplied samples take the one way onto white every reader uses.
    return JxlDecoderSubscribeEvents(decoder, kEvents) == JXL_DEC_SUCCESS &&
           JxlDecoderSetKeepOrientation(decoder, keep_stored_orientation() ? JXL_TRUE : JXL_FALSE) == JXL_DEC_SUCCESS &&
           JxlDecoderSetUnpremultiplyAlpha(decoder, JXL_TRUE) == JXL_DEC_SUCCESS &&
           JxlDecoderSetInput(decoder, bytes_.data(), bytes_.size()) == JXL_DEC_SUCCESS &&
           (JxlDecoderCloseInput(decoder), true);
}

bool Session::open(std::vector<std::uint8_t> bytes)
{
    bytes_ = std::move(bytes);
    const JxlSignature signature = JxlSignatureCheck(bytes_.data(), bytes_.size());
    if (signature != JXL_SIG_CODESTREAM && signature != JXL_SIG_CONTAINER)
        return refused(signature == JXL_SIG_NOT_ENOUGH_BYTES);
    if (!start()) {
        set_failure(Failure::OutOfMemory);
        return false;
    }
    // The basic information is the first event. All input is there, so
    // wanting more means the file is cut short.
    const JxlDecoderStatus status = JxlDecoderProcessInput(decoder_.get());
    if (status != JXL_DEC_BASIC_INFO) return refused(status == JXL_DEC_NEED_MORE_INPUT);
    if (JxlDecoderGetBasicInfo(decoder_.get(), &info_) != JXL_DEC_SUCCESS) return refused(false);
    if (info_.xsize == 0 || info_.ysize == 0) return refused(false);
    // The size is checked before libjxl allocates a single frame buffer.
    const int bits = grey() ? 8 : 24;
    if (!image_bytes(info_.xsize, info_.ysize, bits)) {
        fail_too_large(info_.xsize, info_.ysize, bits);
        return false;
    }
    return true;
}

Step Session::next_frame(unsigned char* out, std::size_t size, int colour_channels, bool with_alpha,
                         std::uint32_t& duration)
{
    JxlDecoder* const decoder = decoder_.get();
    if (!decoder) return Step::Failed;
    const JxlPixelFormat format{std::uint32_t(colour_channels + (with_alpha ? 1 : 0)), JXL_TYPE_UINT8,
                                JXL_NATIVE_ENDIAN, 0};
    duration = 0;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder)) {
        case JXL_DEC_BASIC_INFO:  // again after a rewind
            continue;
        case JXL_DEC_COLOR_ENCODING: choose_colours(); continue;
        case JXL_DEC_FRAME: {
            JxlFrameHeader header{};
            if (JxlDecoderGetFrameHeader(decoder, &header) == JXL_DEC_SUCCESS) duration = header.duration;
            continue;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            std::size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(decoder, &format, &needed) != JXL_DEC_SUCCESS || needed > size ||
                JxlDecoderSetImageOutBuffer(decoder, &format, out, needed) != JXL_DEC_SUCCESS) {
                set_failure(Failure::Unreadable);
                return Step::Failed;
            }
            continue;
        }
        case JXL_DEC_FULL_IMAGE: return Step::Frame;
        case JXL_DEC_SUCCESS: return Step::End;
        case JXL_DEC_NEED_MORE_INPUT: refuse(true); return Step::Failed;
        default:  // an error, or an event never asked for
            refuse(false);
            return Step::Failed;
        }
    }
}

// A picture stored in the codec's own space is given in sRGB by libjxl when
// asked; one kept in its original space comes out in it whatever is asked,
// and lcms2 turns it into sRGB from its profile (libjxl makes one for a
// space the file names by its parts). sRGB, and any picture when the stored
// colours are kept, comes out as stored; except that a picture in the
// codec's own space described by an ICC profile would then come out as
// linear light, so sRGB is asked for all the same.
void Session::choose_colours()
{
    JxlDecoder* const decoder = decoder_.get();
    colours_ = SrgbTransform();
    colour_name_.clear();
    JxlColorEncoding original{};
    const bool encoded = JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                                            &original) == JXL_DEC_SUCCESS;
    const bool keep = keep_stored_colours();
    if (encoded && (keep || srgb_like(original))) return;
    std::vector<std::uint8_t> icc;
    std::size_t icc_size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, &icc_size) ==
            JXL_DEC_SUCCESS &&
        icc_size > 0 && icc_size <= kMaxProfileBytes) {
        icc.resize(icc_size);
        if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, icc.data(),
                                           icc.size()) != JXL_DEC_SUCCESS)
            icc.clear();
    }
    const SrgbTransform transform =
        keep ? SrgbTransform() : SrgbTransform::from_icc(icc, grey() ? ProfileInput::Grey : ProfileInput::Rgb);
    if (!info_.uses_original_profile) {
        JxlColorEncoding srgb{};
        JxlColorEncodingSetToSRGB(&srgb, grey() ? JXL_TRUE : JXL_FALSE);
        if (JxlDecoderSetPreferredColorProfile(decoder, &srgb) == JXL_DEC_SUCCESS) {
            if (!keep && (encoded || transform)) colour_name_ = encoded ? encoded_name(original) : transform.name();
            return;
        }
    }
    if (!transform) return;
    colours_ = transform;
    colour_name_ = encoded ? encoded_name(original) : transform.name();
}

void Session::to_srgb(unsigned char* pixels, std::size_t count, int colour_channels) const
{
    if (!colours_ || !pixels) return;
    if (colours_.input() != ProfileInput::Grey) {
        if (colour_channels == 3) colours_.convert(pixels, pixels, count);
        return;
    }
    // A grey picture may have been asked for as RGB: each sample goes
    // through the grey curve on its own.
    std::array<unsigned char, 256> levels{};
    for (std::size_t i = 0; i < levels.size(); ++i) levels[i] = static_cast<unsigned char>(i);
    colours_.convert(levels.data(), levels.data(), levels.size());
    const std::size_t samples = count * static_cast<std::size_t>(colour_channels);
    for (std::size_t i = 0; i < samples; ++i) pixels[i] = levels[pixels[i]];
}

void Session::rewind()
{
    JxlDecoder* const decoder = decoder_.get();
    if (!decoder) return;
    // The input is handed back before the rewind and given again after it.
    // libjxl keeps the other settings but forgets the events asked for.
    JxlDecoderReleaseInput(decoder);
    JxlDecoderRewind(decoder);
    if (JxlDecoderSubscribeEvents(decoder, kEvents) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder, bytes_.data(), bytes_.size()) != JXL_DEC_SUCCESS) {
        decoder_.reset();
        return;
    }
    JxlDecoderCloseInput(decoder);
}

}  // namespace zarn::jxl
