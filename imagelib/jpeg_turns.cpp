// Quarter turns and flips of JPEG files without decoding them again.
#include "exif.h"
#include "record.h"
#include "shared_rules.h"
#include "write_path.h"
#include "zarngfx.h"

#include <turbojpeg.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace zarn {
namespace {

// A transform of the picture's plane: first a mirror left to right when
// `mirrored`, then `quarters` quarter turns clockwise.
struct PlaneTurn {
    int quarters = 0;
    bool mirrored = false;
};

// (a after b): a mirror reverses the direction of the turns that follow it.
PlaneTurn after(PlaneTurn a, PlaneTurn b)
{
    const int quarters = a.mirrored ? a.quarters - b.quarters : a.quarters + b.quarters;
    return {((quarters % 4) + 4) % 4, a.mirrored != b.mirrored};
}

// What turns stored pixels upright for each Exif orientation.
PlaneTurn upright_turn(int orientation)
{
    switch (orientation) {
    case 2: return {0, true};
    case 3: return {2, false};
    case 4: return {2, true};
    case 5: return {3, true};  // transpose
    case 6: return {1, false};
    case 7: return {1, true};  // transverse
    case 8: return {3, false};
    default: return {0, false};
    }
}

int transform_op(PlaneTurn turn)
{
    if (!turn.mirrored) {
        constexpr int kTurns[] = {TJXOP_NONE, TJXOP_ROT90, TJXOP_ROT180, TJXOP_ROT270};
        return kTurns[turn.quarters];
    }
    constexpr int kMirrored[] = {TJXOP_HFLIP, TJXOP_TRANSVERSE, TJXOP_VFLIP, TJXOP_TRANSPOSE};
    return kMirrored[turn.quarters];
}

// The first Exif APP1 segment's data (after its length) in a JPEG stream:
// markers are walked from the start, each length checked, up to the first
// scan.
std::optional<std::span<std::uint8_t>> exif_segment(std::span<std::uint8_t> jpeg)
{
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        if (jpeg[at] != 0xFF) return std::nullopt;
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return std::nullopt;
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (length < 2 || jpeg.size() - at - 2 < length) return std::nullopt;
        const std::span<std::uint8_t> data = jpeg.subspan(at + 4, length - 2);
        if (marker == 0xE1 && data.size() >= 6 && std::memcmp(data.data(), "Exif\0\0", 6) == 0) return data;
        at += 2 + length;
    }
    return std::nullopt;
}

int stored_orientation(std::span<std::uint8_t> jpeg)
{
    const auto segment = exif_segment(jpeg);
    return segment ? exif_orientation(*segment) : 1;
}

void set_orientation_upright(std::span<std::uint8_t> jpeg)
{
    const auto segment = exif_segment(jpeg);
    if (!segment) return;
    const auto field = exif_orientation_field(*segment);
    if (!field) return;
    std::uint8_t* value = segment->data() + field->offset;
    value[0] = field->big_endian ? 0 : 1;
    value[1] = field->big_endian ? 1 : 0;
}

bool read_whole(const char* path, std::vector<std::uint8_t>& bytes)
{
    FilePtr file(std::fopen(path, "rb"));
    if (!file) return false;
    struct stat info {};
    if (::fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return false;
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size > max_image_bytes()) return false;
    bytes.resize(size);
    return std::fread(bytes.data(), 1, size, file.get()) == size;
}

struct TurboFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
struct TurboHandle {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboBuffer = std::unique_ptr<unsigned char, TurboFree>;

// The transformed stream; nothing when libturbojpeg refuses (a damaged file, even one it would only warn about,
// or with TJXOPT_PERFECT an edge that does not fill a block).
std::optional<std::vector<std::uint8_t>> transform(void* handle, const std::vector<std::uint8_t>& in, int op,
                                                   int options)
{
    tjtransform spec{};
    spec.op = op;
    spec.options = options;
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    const int failed = tjTransform(handle, in.data(), static_cast<unsigned long>(in.size()), 1, &out, &out_size, &spec,
                                   TJFLAG_STOPONWARNING);
    const TurboBuffer owned(out);
    if (failed != 0 || !out || out_size == 0) return std::nullopt;
    return std::vector<std::uint8_t>(out, out + out_size);
}

int turn_jpeg_file(const char* path, int turn, int trim)
{
    const PlaneTurn asked = turn == 1 ? PlaneTurn{1, false} : turn == 2 ? PlaneTurn{3, false} : PlaneTurn{0, true};
    std::vector<std::uint8_t> in;
    if (!read_whole(path, in)) return 0;
    const std::unique_ptr<void, TurboHandle> handle(tjInitTransform());
    if (!handle) return 0;
    int width = 0, height = 0, subsampling = 0, colours = 0;
    if (tjDecompressHeader3(handle.get(), in.data(), static_cast<unsigned long>(in.size()), &width, &height,
                            &subsampling, &colours) != 0)
        return 0;

    // The picture turns as the user sees it, upright by its orientation.
    const int op = transform_op(after(asked, upright_turn(stored_orientation(in))));
    std::optional<std::vector<std::uint8_t>> out = transform(handle.get(), in, op, TJXOPT_PERFECT);
    if (!out) {
        // Only a stream that turns once its edge blocks go was imperfect;
        // any other refusal is a failure.
        out = transform(handle.get(), in, op, TJXOPT_TRIM);
        if (!out) return 0;
        if (!trim) return -1;
    }
    set_orientation_upright(*out);

    TemporaryPath temporary(path);
    if (!temporary) return 0;
    FilePtr file(std::fopen(temporary.name(), "wb"));
    if (!file) return 0;
    const bool written = std::fwrite(out->data(), 1, out->size(), file.get()) == out->size();
    const bool closed = std::fclose(file.release()) == 0;
    return written && closed && temporary.commit() ? 1 : 0;
}

}  // namespace
}  // namespace zarn

extern "C" ZARNGFX_EXPORT int _Pic_TurnJpegFile(const char* path, int turn, int trim)
{
    if (!path || !*path || turn < 1 || turn > 3) return 0;
    return zarn::guarded([&] { return zarn::turn_jpeg_file(path, turn, trim); });
}
