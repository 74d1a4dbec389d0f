// Reading the working file into a QImage quickly: the uncompressed BMPs the image library writes.
#include "bmp_picture.h"

#include "shared_rules.h"

#include <QFile>

#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include <sys/mman.h>
#include <sys/uio.h>

namespace controls {
namespace {

std::uint32_t u32(const uchar* at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}
std::uint16_t u16(const uchar* at)
{
    return std::uint16_t(at[0] | at[1] << 8);
}

constexpr std::int64_t kMaxSide = 1 << 16;
#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // older headers lack the name; older kernels refuse it
#endif

// An image whose memory the kernel maps in one go: a large picture faulted
// in page by page costs more than reading its rows.
QImage populated_image(int width, int height, QImage::Format format)
{
    const qsizetype line = (qsizetype(width) * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32 * 4;
    const std::size_t bytes = std::size_t(line) * std::size_t(height);
    void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return QImage(width, height, format);
    // In 2 MiB pages where the kernel has them, and all mapped by one call.
    ::madvise(memory, bytes, MADV_HUGEPAGE);
    ::madvise(memory, bytes, kPopulateWrite);  // else the reads fault the pages in
    struct Mapping {
        void* memory;
        std::size_t bytes;
    };
    auto* mapping = new Mapping{memory, bytes};
    return QImage(
        static_cast<uchar*>(memory), width, height, line, format,
        [](void* info) {
            auto* owned = static_cast<Mapping*>(info);
            ::munmap(owned->memory, owned->bytes);
            delete owned;
        },
        mapping);
}

// Reads the file's rows of `used` bytes each (every `stride` bytes from
// `offset`) straight into the picture's lines, many rows per call; the
// padding of each row goes to a scratch buffer. False when the file ends first.
bool read_rows(int fd, std::int64_t offset, std::size_t stride, std::size_t used, bool top_down, QImage& picture)
{
    const int height = picture.height();
    std::array<uchar, 4> padding{};
    const std::size_t pad = stride - used;  // under 4 bytes
    const int rows_per_call = IOV_MAX / 2;
    std::vector<iovec> parts;
    parts.reserve(std::size_t(rows_per_call) * 2);
    for (int row = 0; row < height;) {
        parts.clear();
        std::size_t expected = 0;
        for (int n = 0; n < rows_per_call && row < height; ++n, ++row) {
            const int y = top_down ? row : height - 1 - row;
            parts.push_back({picture.scanLine(y), used});
            if (pad) parts.push_back({padding.data(), pad});
            expected += stride;
        }
        const ssize_t got = ::preadv(fd, parts.data(), int(parts.size()), offset);
        if (got < 0 || std::size_t(got) != expected) return false;
        offset += std::int64_t(expected);
    }
    return true;
}

}  // namespace

bool pictureFitsCeiling(QSize size, QImage::Format format)
{
    if (size.width() <= 0 || size.height() <= 0 || format == QImage::Format_Invalid) return false;
    const std::uint64_t bits = std::uint64_t(size.width()) * QImage::toPixelFormat(format).bitsPerPixel();
    const std::uint64_t line = (bits + 31) / 32 * 4;
    return line * std::uint64_t(size.height()) <= zarn::max_image_bytes();
}

QImage readBmpPicture(const QString& path, QImage* reuse)
{
    QFile file(path);
    // Whole rows per read, and no buffer in between to copy through.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return {};
    const qint64 size = file.size();
    uchar header[54 + 4 * 256];
    const qint64 header_bytes = file.read(reinterpret_cast<char*>(header), qint64(sizeof header));
    if (header_bytes < 54 || header[0] != 'B' || header[1] != 'M') return {};

    const std::uint32_t pixel_offset = u32(header + 10);
    const std::uint32_t header_size = u32(header + 14);
    const std::int64_t width = std::int32_t(u32(header + 18));
    const std::int64_t signed_height = std::int32_t(u32(header + 22));
    const int bits = u16(header + 28);
    const std::uint32_t compression = u32(header + 30);
    std::uint32_t colours = u32(header + 46);
    if (header_size != 40 || u16(header + 26) != 1 || compression != 0) return {};
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return {};
    const bool top_down = signed_height < 0;
    const std::int64_t height = top_down ? -signed_height : signed_height;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return {};
    const std::int64_t stride = (width * bits + 31) / 32 * 4;
    if (std::int64_t(pixel_offset) + stride * height > size) return {};

    QList<QRgb> palette;
    if (bits < 24) {
        const std::uint32_t table = 1u << bits;
        if (colours == 0 || colours > table) colours = table;
        if (54 + 4 * std::int64_t(colours) > header_bytes) return {};
        for (std::uint32_t i = 0; i < colours; ++i) {
            const uchar* entry = header + 54 + 4 * i;
            palette << qRgb(entry[2], entry[1], entry[0]);
        }
        palette.resize(bits == 1 ? 2 : 256, qRgb(0, 0, 0));  // an index past the table shows black
    }

    // 24-bit rows go straight into a BGR image, 8-bit rows into an indexed
    // one and 1-bit rows into a one-bit one (most significant bit first, as
    // in the file): the file's rows are already the image's rows, read in
    // batches of rows with no pass over the pixels. 4 bits widen to indexes.
    const QImage::Format format = bits == 24  ? QImage::Format_BGR888
                                  : bits == 1 ? QImage::Format_Mono
                                              : QImage::Format_Indexed8;
    if (!pictureFitsCeiling(QSize(int(width), int(height)), format)) return {};
    // A picture of the same size and kind that nothing else shares takes the
    // rows in place: fresh memory costs more to map than the rows to read.
    const bool reused = reuse && reuse->width() == width && reuse->height() == height && reuse->format() == format &&
                        reuse->isDetached();
    QImage picture = reused ? std::move(*reuse) : populated_image(int(width), int(height), format);
    const auto fail = [&] {
        if (reused) *reuse = std::move(picture);
        return QImage();
    };
    if (picture.isNull()) return fail();
    if (bits < 24) picture.setColorTable(palette);
    const int w = int(width);
    if (bits != 4) {
        const std::size_t used = std::size_t(bits == 24 ? width * 3 : bits == 8 ? width : (width + 7) / 8);
        if (!read_rows(file.handle(), pixel_offset, std::size_t(stride), used, top_down, picture)) return fail();
        return picture;
    }
    QByteArray packed(qsizetype(stride), Qt::Uninitialized);
    for (std::int64_t row = 0; row < height; ++row) {
        const std::int64_t y = top_down ? row : height - 1 - row;
        uchar* out = picture.scanLine(int(y));
        if (!file.seek(pixel_offset + stride * row)) return fail();
        if (file.read(packed.data(), stride) != stride) return fail();
        const auto* in = reinterpret_cast<const uchar*>(packed.constData());
        for (int x = 0; x < w; ++x) out[x] = (in[x / 2] >> (x % 2 ? 0 : 4)) & 0x0f;
    }
    return picture;
}

}  // namespace controls
