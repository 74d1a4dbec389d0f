// Quarter turns and flips of JPEG files without decoding them again.
#include "exif.h"
#include "record.h"
#include "shared_rules.h"
#include "write_path.h"
#include "zarngfx.h"

#include <turbojpeg.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>

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
template <class Byte>
std::optional<std::span<Byte>> exif_segment(std::span<Byte> jpeg)
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
        const std::span<Byte> data = jpeg.subspan(at + 4, length - 2);
        if (marker == 0xE1 && data.size() >= 6 && std::memcmp(data.data(), "Exif\0\0", 6) == 0) return data;
        at += 2 + length;
    }
    return std::nullopt;
}

int stored_orientation(std::span<const std::uint8_t> jpeg)
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

// The file mapped whole and read ahead: no copy of it, and its pages are
// there before libturbojpeg walks them.
class MappedFile {
public:
    explicit MappedFile(const char* path)
    {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
            static_cast<std::uint64_t>(info.st_size) <= max_image_bytes()) {
            const auto size = static_cast<std::size_t>(info.st_size);
            void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (mapped != MAP_FAILED) {
                data_ = static_cast<const std::uint8_t*>(mapped);
                size_ = size;
            }
        }
        ::close(fd);
    }
    ~MappedFile()
    {
        if (data_) ::munmap(const_cast<std::uint8_t*>(data_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    explicit operator bool() const { return data_ != nullptr; }
    std::span<const std::uint8_t> bytes() const { return {data_, size_}; }

private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

struct TurboFree {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
struct TurboHandle {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TurboBuffer = std::unique_ptr<unsigned char, TurboFree>;

struct TurnedStream {
    TurboBuffer bytes;
    std::size_t size = 0;
    std::span<std::uint8_t> span() const { return {bytes.get(), size}; }
};

// The transformed stream; nothing when libturbojpeg refuses (a damaged file,
// even one it would only warn about, or with TJXOPT_PERFECT an edge that
// does not fill a block).
std::optional<TurnedStream> transform(void* handle, std::span<const std::uint8_t> in, int op, int options)
{
    tjtransform spec{};
    spec.op = op;
    spec.options = options;
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    const int failed = tjTransform(handle, in.data(), static_cast<unsigned long>(in.size()), 1, &out, &out_size, &spec,
                                   TJFLAG_STOPONWARNING);
    TurboBuffer owned(out);
    if (failed != 0 || !out || out_size == 0) return std::nullopt;
    return TurnedStream{std::move(owned), static_cast<std::size_t>(out_size)};
}

int turn_jpeg_file(const char* path, int turn, int trim)
{
    const PlaneTurn asked = turn == 1 ? PlaneTurn{1, false} : turn == 2 ? PlaneTurn{3, false} : PlaneTurn{0, true};
    const MappedFile mapped(path);
    if (!mapped) return 0;
    const std::span<const std::uint8_t> in = mapped.bytes();
    const std::unique_ptr<void, TurboHandle> handle(tjInitTransform());
    if (!handle) return 0;

    // The picture turns as the user sees it, upright by its orientation.
    const int op = transform_op(after(asked, upright_turn(stored_orientation(in))));
    std::optional<TurnedStream> out = transform(handle.get(), in, op, TJXOPT_PERFECT);
    if (!out) {
        // Only a stream that turns once its edge blocks go was imperfect;
        // any other refusal is a failure.
        out = transform(handle.get(), in, op, TJXOPT_TRIM);
        if (!out) return 0;
        if (!trim) return -1;
    }
    set_orientation_upright(out->span());

    TemporaryPath temporary(path);
    if (!temporary) return 0;
    FilePtr file(std::fopen(temporary.name(), "wb"));
    if (!file) return 0;
    const bool written = std::fwrite(out->bytes.get(), 1, out->size, file.get()) == out->size;
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
