// Scanning through SANE: devices, each frame's parameters checked before use, and frames read line by line.
#include "sane_scan.h"

#include "checked.h"
#include "record.h"

#include <sane/sane.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace eztw32 {
namespace {

// Reads in a row that deliver nothing before the device counts as stuck.
constexpr int kMaxEmptyReads = 100000;
// A three-pass scanner sends one frame per colour.
constexpr int kMaxFrames = 3;

// sane_open for as long as this lives; any scan still running is cancelled
// and the device closed on every exit.
class OpenDevice {
public:
    explicit OpenDevice(const std::string& name)
    {
        if (sane_open(name.c_str(), &handle_) != SANE_STATUS_GOOD) handle_ = nullptr;
    }
    ~OpenDevice()
    {
        if (!handle_) return;
        sane_cancel(handle_);
        sane_close(handle_);
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    SANE_Handle get() const { return handle_; }

private:
    SANE_Handle handle_ = nullptr;
};

// What the lines of one frame hold.
struct Frame {
    int width = 0;     // pixels per line
    int depth = 0;     // bits per sample: 1, 8 or 16
    int samples = 1;   // samples per pixel: 3 for RGB, else 1
    int channel = -1;  // 0, 1, 2: the red, green or blue frame of a three-pass scan
    bool grey = false;
    std::size_t line_bytes = 0;  // what the device sends per line, padding included
    int lines = -1;              // as announced; not above 0 when only the end of the frame tells
};

// The frame's parameters, refused unless every line holds the pixels it claims.
std::optional<Frame> frame_of(const SANE_Parameters& parameters)
{
    Frame frame;
    switch (parameters.format) {
    case SANE_FRAME_GRAY: frame.grey = true; break;
    case SANE_FRAME_RGB: frame.samples = 3; break;
    case SANE_FRAME_RED: frame.channel = 0; break;
    case SANE_FRAME_GREEN: frame.channel = 1; break;
    case SANE_FRAME_BLUE: frame.channel = 2; break;
    default: return std::nullopt;
    }
    if (parameters.depth != 1 && parameters.depth != 8 && parameters.depth != 16) return std::nullopt;
    if (parameters.pixels_per_line <= 0 || parameters.bytes_per_line <= 0) return std::nullopt;
    frame.width = parameters.pixels_per_line;
    frame.depth = parameters.depth;
    frame.lines = parameters.lines;
    frame.line_bytes = static_cast<std::size_t>(parameters.bytes_per_line);

    const auto line_bits =
        zarn::checked_mul(static_cast<std::size_t>(frame.width), static_cast<std::size_t>(frame.samples * frame.depth));
    if (!line_bits || frame.line_bytes < (*line_bits + 7) / 8) return std::nullopt;
    if (frame.line_bytes > zarn::max_image_bytes()) return std::nullopt;
    return frame;
}

// One sample of a line as eight bits: 16-bit samples come in the machine's
// byte order and give their high byte; a 1-bit sample is full or nothing.
std::uint8_t sample(const std::uint8_t* line, std::size_t index, int depth)
{
    if (depth == 1) return (line[index / 8] >> (7 - index % 8)) & 1 ? 255 : 0;
    if (depth == 8) return line[index];
    std::uint16_t value = 0;
    std::memcpy(&value, line + 2 * index, sizeof value);
    return static_cast<std::uint8_t>(value >> 8);
}

// The image the frames build, row by row in the record's layout: line art
// (grey at 1 bit) stays 1-bit, other grey is 8-bit, colour is 24-bit.
class Image {
public:
    static std::optional<Image> for_first(const Frame& frame)
    {
        Image image;
        image.bits_ = frame.grey ? (frame.depth == 1 ? 1 : 8) : 24;
        image.width_ = frame.width;
        image.three_pass_ = frame.channel >= 0;
        const auto row = zarn::row_bytes(frame.width, image.bits_);
        if (!row || *row > zarn::max_image_bytes()) return std::nullopt;
        image.row_bytes_ = *row;
        return image;
    }

    // A later frame is another colour of a three-pass scan, as wide as the first.
    bool takes(const Frame& frame) const { return three_pass_ && frame.channel >= 0 && frame.width == width_; }

    std::size_t rows() const { return rows_; }

    // Puts the frame's line into `row`, which is either an existing row or
    // the next new one; new rows stop at the library's ceiling.
    bool put_line(const Frame& frame, const std::uint8_t* line, std::size_t row)
    {
        if (row > rows_) return false;
        if (row == rows_) {
            const auto bytes = zarn::image_bytes(width_, static_cast<std::int64_t>(rows_) + 1, bits_);
            if (!bytes) return false;
            pixels_.resize(*bytes);
            ++rows_;
        }
        std::uint8_t* out = pixels_.data() + row * row_bytes_;
        const auto width = static_cast<std::size_t>(width_);
        if (bits_ == 1) {
            // SANE sends 1 for black; in the record index 1 is white.
            for (std::size_t i = 0; i < row_bytes_; ++i) out[i] = static_cast<std::uint8_t>(~line[i]);
            if (width % 8 != 0) out[row_bytes_ - 1] &= static_cast<std::uint8_t>(0xFF << (8 - width % 8));
        } else if (frame.channel >= 0) {
            const auto channel = static_cast<std::size_t>(frame.channel);
            for (std::size_t x = 0; x < width; ++x) out[3 * x + channel] = sample(line, x, frame.depth);
        } else {
            const std::size_t samples = width * static_cast<std::size_t>(frame.samples);
            for (std::size_t i = 0; i < samples; ++i) out[i] = sample(line, i, frame.depth);
        }
        return true;
    }

    bool into(PicImage* pic) const
    {
        if (rows_ == 0) return false;
        zarn::PixelBlock block = zarn::allocate_pixels(pixels_.size());
        if (!block) return false;
        std::memcpy(block.get(), pixels_.data(), pixels_.size());
        pic->width = width_;
        pic->height = static_cast<std::int32_t>(rows_);
        pic->bits = bits_;
        pic->colours = bits_ == 1 ? 2 : bits_ == 8 ? 256 : 0;
        zarn::set_grey_palette(pic);
        pic->pixels = block.release();
        return true;
    }

private:
    Image() = default;

    int bits_ = 24;
    int width_ = 0;
    bool three_pass_ = false;
    std::size_t row_bytes_ = 0;
    std::size_t rows_ = 0;
    std::vector<std::uint8_t> pixels_;
};

// Reads one frame to its end, a line at a time. A later colour of a
// three-pass scan must deliver exactly `exact_rows`; a device that sends more
// lines than it announced is at fault. A part line before the end is dropped.
bool read_frame(SANE_Handle device, const Frame& frame, Image& image, std::optional<std::size_t> exact_rows)
{
    std::vector<std::uint8_t> line(frame.line_bytes);
    std::size_t filled = 0;
    std::size_t row = 0;
    int empty_reads = 0;
    for (;;) {
        const auto wanted = static_cast<SANE_Int>(std::min<std::size_t>(line.size() - filled, INT_MAX));
        SANE_Int got = 0;
        const SANE_Status status = sane_read(device, line.data() + filled, wanted, &got);
        if (status == SANE_STATUS_EOF) break;
        if (status != SANE_STATUS_GOOD || got < 0 || got > wanted) return false;
        if (got == 0) {
            if (++empty_reads > kMaxEmptyReads) return false;
            continue;
        }
        empty_reads = 0;
        filled += static_cast<std::size_t>(got);
        if (filled < line.size()) continue;
        filled = 0;
        if (frame.lines > 0 && row >= static_cast<std::size_t>(frame.lines)) return false;
        if (exact_rows && row >= *exact_rows) return false;
        if (!image.put_line(frame, line.data(), row)) return false;
        ++row;
    }
    return exact_rows ? row == *exact_rows : row > 0;
}

// Reads the frames of one scan, started here, into `pic`.
bool read_image(SANE_Handle device, PicImage* pic)
{
    std::optional<Image> image;
    std::array<bool, 3> colours_done{};
    for (int number = 0; number < kMaxFrames; ++number) {
        SANE_Parameters parameters{};
        if (sane_start(device) != SANE_STATUS_GOOD) return false;
        if (sane_get_parameters(device, &parameters) != SANE_STATUS_GOOD) return false;
        const std::optional<Frame> frame = frame_of(parameters);
        if (!frame) return false;

        std::optional<std::size_t> exact_rows;
        if (!image) {
            image = Image::for_first(*frame);
            if (!image) return false;
        } else {
            if (!image->takes(*frame)) return false;
            exact_rows = image->rows();
        }
        if (frame->channel >= 0) {
            bool& done = colours_done[static_cast<std::size_t>(frame->channel)];
            if (done) return false;
            done = true;
        }
        if (!read_frame(device, *frame, *image, exact_rows)) return false;

        if (parameters.last_frame) {
            const bool complete =
                frame->channel < 0 || std::ranges::all_of(colours_done, [](bool done) { return done; });
            return complete && image->into(pic);
        }
        // Only the colours of a three-pass scan come in more than one frame.
        if (frame->channel < 0) return false;
    }
    return false;
}

}  // namespace

std::vector<Source> list_sources()
{
    std::vector<Source> sources;
    const SANE_Device** devices = nullptr;
    if (sane_get_devices(&devices, SANE_FALSE) != SANE_STATUS_GOOD || !devices) return sources;
    for (; *devices; ++devices) {
        const SANE_Device& device = **devices;
        if (!device.name || !*device.name) continue;
        std::string label;
        for (const char* part : {device.vendor, device.model})
            if (part && *part) label += (label.empty() ? "" : " ") + std::string(part);
        label += label.empty() ? device.name : " (" + std::string(device.name) + ")";
        sources.push_back({device.name, label});
    }
    return sources;
}

ScanResult scan_image(const std::string& device, PicImage* pic)
{
    const OpenDevice scanner(device);
    if (!scanner) return ScanResult::kNotOpened;
    return read_image(scanner.get(), pic) ? ScanResult::kDone : ScanResult::kFailed;
}

}  // namespace eztw32
