// A plain 24-bit BMP converted to BMP or JPEG a batch of rows at a time, never whole in memory.
#include "bmp_layout.h"
#include "channel_swap.h"
#include "checked.h"
#include "codecs.h"
#include "record.h"
#include "write_path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace zarn {
namespace {

// `count` rows from file row `first` on, with as few calls as the system allows.
bool read_file_rows(int fd, std::uint64_t pixel_offset, std::size_t file_row, std::size_t first, std::size_t count,
                    std::uint8_t* into)
{
    std::size_t wanted = count * file_row;
    auto at = static_cast<off_t>(pixel_offset + first * file_row);
    while (wanted > 0) {
        const ssize_t got = ::pread(fd, into, wanted, at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        into += got;
        wanted -= std::size_t(got);
        at += got;
    }
    return true;
}

}  // namespace

Streamed stream_bmp_conversion(const char* input, char* output, PicImage* pic, int save_type, int quality)
{
    if (save_type < 1 || save_type > 3 || _Pic_Valid(input) != 1) return Streamed::NotTried;
    FilePtr stream{std::fopen(input, "rb")};
    if (!stream) return Streamed::NotTried;
    BmpHeader header;
    {
        ByteReader in(stream.get(), 512);
        if (!read_headers(in, header)) return Streamed::NotTried;
    }
    if (header.bits != 24 || header.compression != kRgb) return Streamed::NotTried;
    const std::int64_t height = header.height < 0 ? -header.height : header.height;
    if (header.width < 1 || height < 1 || height > INT32_MAX || !image_bytes(header.width, height, 24))
        return Streamed::NotTried;
    // Only a whole regular file: the reader reads what is missing as zero
    // bytes, which is its business.
    const auto width = static_cast<std::size_t>(header.width);
    const auto rows = static_cast<std::size_t>(height);
    const std::size_t file_row = file_row_bytes(width, 24);
    const int fd = fileno(stream.get());
    struct stat info {};
    const auto end = checked_add(std::size_t(header.pixel_offset), file_row * rows);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !end || std::uint64_t(info.st_size) < *end)
        return Streamed::NotTried;

    pic->width = static_cast<std::int32_t>(header.width);
    pic->height = static_cast<std::int32_t>(height);
    pic->bits = 24;
    pic->colours = 0;
    describe(pic, "BMP : %ldx%ld - 24bit", long(pic->width), long(pic->height));
    std::strcpy(output + save_extension_start(output), save_kind(save_type)->extension);

    // Batches of about 256 KiB. Picture row y is file row y when the file
    // is stored top down, else file row height - 1 - y; a batch of either
    // order is one run of file rows.
    const bool top_down = header.height < 0;
    const std::size_t batch_rows = std::clamp<std::size_t>((std::size_t(1) << 18) / file_row, 1, rows);
    std::vector<std::uint8_t> batch(batch_rows * file_row);
    bool read_failed = false;

    if (save_type == 1) {
        // The file's rows go out bottom up, blue, green, red as they came
        // in, with the padding zeroed.
        OutputFile out(output, pic);
        if (!out) return Streamed::WriteFailed;
        write_headers(out, pic->width, pic->height, 24, 0);
        std::vector<std::uint8_t> reversed(top_down ? batch.size() : 0);
        for (std::size_t done = 0; done < rows && out.ok(); done += batch_rows) {
            const std::size_t count = std::min(batch_rows, rows - done);
            const std::size_t first = top_down ? rows - done - count : done;
            if (!read_file_rows(fd, header.pixel_offset, file_row, first, count, batch.data())) {
                read_failed = true;
                break;
            }
            std::uint8_t* ready = batch.data();
            if (top_down) {
                for (std::size_t k = 0; k < count; ++k)
                    std::memcpy(reversed.data() + k * file_row, batch.data() + (count - 1 - k) * file_row, file_row);
                ready = reversed.data();
            }
            if (file_row > 3 * width)
                for (std::size_t k = 0; k < count; ++k)
                    std::memset(ready + k * file_row + 3 * width, 0, file_row - 3 * width);
            out.write({ready, count * file_row});
        }
        if (read_failed) return Streamed::ReadFailed;
        return out.commit() ? Streamed::Written : Streamed::WriteFailed;
    }

    // JPEG: the picture's rows top down, red, green, blue.
    std::vector<std::uint8_t> rgb(batch_rows * 3 * width);
    std::size_t batch_start = 0, batch_count = 0;
    const auto next_row = [&](std::size_t y) -> const unsigned char* {
        if (y >= batch_start + batch_count) {
            batch_start = y;
            batch_count = std::min(batch_rows, rows - y);
            const std::size_t first = top_down ? y : rows - y - batch_count;
            if (!read_file_rows(fd, header.pixel_offset, file_row, first, batch_count, batch.data())) {
                read_failed = true;
                return nullptr;
            }
            for (std::size_t k = 0; k < batch_count; ++k) {
                const std::size_t file_index = top_down ? k : batch_count - 1 - k;
                swap_red_blue(batch.data() + file_index * file_row, rgb.data() + k * 3 * width, width);
            }
        }
        return rgb.data() + (y - batch_start) * 3 * width;
    };
    const int written = write_jpeg_rows(output, pic, quality, save_type == 3, next_row);
    if (read_failed) return Streamed::ReadFailed;
    return written ? Streamed::Written : Streamed::WriteFailed;
}

}  // namespace zarn
