// JPEG XL decoding shared by the reader and the frame player: the bytes in memory, libjxl asked for 8-bit sRGB.
#include "jxl_decode.h"

#include "checked.h"
#include "exif.h"
#include "record.h"
#include "shared_rules.h"

#include <jxl/encode.h>

#include <sys/stat.h>

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
        case JXL_DEC_COLOR_ENCODING: {
            // A picture that names its colour space (sRGB, mostly) comes
            // out in it as it is. One described by an ICC profile and stored
            // in the codec's own space would come out as linear light unless
            // asked otherwise; sRGB is asked for instead. The others, kept in
            // their profile's space, come out in it whatever is asked.
            if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL, nullptr) !=
                JXL_DEC_SUCCESS) {
                JxlColorEncoding srgb{};
                JxlColorEncodingSetToSRGB(&srgb, grey() ? JXL_TRUE : JXL_FALSE);
                (void)JxlDecoderSetPreferredColorProfile(decoder, &srgb);
            }
            continue;
        }
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
