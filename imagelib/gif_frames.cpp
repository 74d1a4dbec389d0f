// GIF animation: every image of the file in turn, drawn on the logical screen as its disposal methods ask.
#include "byte_reader.h"
#include "checked.h"
#include "codecs.h"
#include "gif_lzw.h"
#include "record.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace zarn {
namespace {

using namespace gif;

constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kWhite = 255;

// What the Graphic Control Extension says about the image after it.
struct Control {
    int disposal = 0;      // 0, 1 keep; 2 back to the background; 3 back to what was there
    int transparent = -1;  // the index that leaves the canvas as it is, -1 for none
    int delay_cs = 0;      // hundredths of a second
};

// A frame's rectangle cut to the canvas.
struct Area {
    std::size_t left = 0, top = 0, width = 0, height = 0;
};

enum class Step { Frame, End, Damaged };

// The background shows through a frame's transparent pixels and where a
// frame is disposed of to the background: it is white here, as alpha laid
// over white is everywhere else in the library.
void fill_white(std::vector<std::uint8_t>& canvas)
{
    std::ranges::fill(canvas, kWhite);
}

}  // namespace

class GifFrames {
public:
    explicit GifFrames(std::FILE* stream) : in_(stream) {}

    // The header and the global table; false when this is no GIF.
    bool open()
    {
        std::uint8_t header[6] = {};
        if (in_.read(header) != sizeof header || std::memcmp(header, "GIF", 3) != 0) return false;
        std::uint16_t width = 0, height = 0;
        std::uint8_t flags = 0, background = 0, aspect = 0;
        if (!in_.u16le(width) || !in_.u16le(height) || !in_.u8(flags) || !in_.u8(background) || !in_.u8(aspect))
            return false;
        screen_width_ = width;
        screen_height_ = height;
        screen_code_ = flags & 7;
        if (flags & 0x80) {
            global_entries_ = 2 << screen_code_;
            global_ = std::make_unique<std::array<std::uint8_t, 768>>();
            global_->fill(0);
            if (!in_.read_or_fill({global_->data(), 3 * std::size_t(global_entries_)})) return false;
        }
        first_block_ = in_.tell();
        // Two good images make an animation; they are decoded here once so
        // that a file which only looks like one is refused now.
        if (step() != Step::Frame || step() != Step::Frame) return false;
        return rewind();
    }

    int next(PicImage* frame, std::int32_t* delay_ms)
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (known_frames_ > 0 && in_pass_ == known_frames_ && !rewind()) return 0;
            if (step() == Step::Frame) {
                ++in_pass_;
                return hand_out(frame, delay_ms);
            }
            // The trailer, the end of the file or a damaged image: what came
            // before it is the whole animation, which starts over.
            if (in_pass_ < 2) return 0;
            known_frames_ = in_pass_;
            if (!rewind()) return 0;
        }
        return 0;
    }

private:
    bool rewind()
    {
        if (!in_.seek(first_block_)) return false;
        fill_white(canvas_);
        disposal_ = 0;
        in_pass_ = 0;
        return true;
    }

    int hand_out(PicImage* frame, std::int32_t* delay_ms)
    {
        PixelBlock pixels = allocate_image(std::int64_t(canvas_width_), std::int64_t(canvas_height_), 24);
        if (!pixels) return 0;
        std::memcpy(pixels.get(), canvas_.data(), canvas_.size());
        std::free(frame->pixels);
        frame->pixels = pixels.release();
        frame->width = static_cast<std::int32_t>(canvas_width_);
        frame->height = static_cast<std::int32_t>(canvas_height_);
        frame->bits = 24;
        frame->colours = 0;
        *delay_ms = delay_ms_;
        return 1;
    }

    // The canvas is the logical screen, or where that is given as empty,
    // the extent of the first image.
    bool make_canvas(std::size_t right, std::size_t bottom)
    {
        if (!canvas_.empty()) return true;
        canvas_width_ = screen_width_ ? screen_width_ : right;
        canvas_height_ = screen_height_ ? screen_height_ : bottom;
        if (!image_bytes(std::int64_t(canvas_width_), std::int64_t(canvas_height_), 24)) return false;
        canvas_.assign(canvas_width_ * canvas_height_ * 3, kWhite);
        return true;
    }

    // Undoes the last frame as its disposal method asks, before the next is drawn.
    void dispose()
    {
        const std::size_t row = canvas_width_ * 3;
        for (std::size_t y = 0; y < last_.height && (disposal_ == 2 || disposal_ == 3); ++y) {
            std::uint8_t* at = canvas_.data() + (last_.top + y) * row + last_.left * 3;
            if (disposal_ == 2) std::memset(at, kWhite, last_.width * 3);
            else std::memcpy(at, saved_.data() + y * last_.width * 3, last_.width * 3);
        }
        disposal_ = 0;
    }

    // Extension blocks up to the next image; the graphic control one is kept.
    Step find_image(Control& control)
    {
        std::uint8_t b = 0;
        while (in_.u8(b)) {
            if (b == kTrailer) return Step::End;
            if (b == kImageSeparator) return Step::Frame;
            if (b != kExtensionIntroducer) continue;  // stray bytes, passed over as the reader does
            std::uint8_t label = 0, count = 0;
            if (!in_.u8(label) || !in_.u8(count)) return Step::End;
            if (label == kGraphicControlLabel && count >= 4) {
                std::uint8_t fields[4] = {};
                if (in_.read(fields) != sizeof fields) return Step::End;
                control.disposal = fields[0] >> 2 & 7;
                control.transparent = fields[0] & 1 ? fields[3] : -1;
                control.delay_cs = le16(fields + 1);
                count = static_cast<std::uint8_t>(count - 4);
            }
            while (count != 0) {
                if (!in_.skip(count) || !in_.u8(count)) return Step::End;
            }
        }
        return Step::End;
    }

    // The rest of an image's sub-blocks once its pixels are all there.
    void skip_data()
    {
        std::uint8_t count = 0;
        while (in_.u8(count) && count != 0)
            if (!in_.skip(count)) return;
    }

    Step step()
    {
        Control control;
        const Step found = find_image(control);
        if (found != Step::Frame) return found;

        std::uint16_t left = 0, top = 0, width = 0, height = 0;
        std::uint8_t flags = 0;
        if (!in_.u16le(left) || !in_.u16le(top) || !in_.u16le(width) || !in_.u16le(height) || !in_.u8(flags))
            return Step::Damaged;
        std::array<std::uint8_t, 768> local{};
        const std::uint8_t* palette = nullptr;
        int entries = 2 << screen_code_;
        if (flags & 0x80) {
            entries = 2 << (flags & 7);
            if (in_.read({local.data(), 3 * std::size_t(entries)}) != 3 * std::size_t(entries)) return Step::Damaged;
            palette = local.data();
        } else if (global_) {
            palette = global_->data();
        } else {
            // No table at all: greys, as the first-image reader shows it.
            const int step = 255 / (entries - 1);
            for (int i = 0; i < entries; ++i)
                std::fill_n(local.begin() + 3 * i, 3, static_cast<std::uint8_t>(i * step));
            palette = local.data();
        }
        std::uint8_t minimum_code_size = 0;
        if (!in_.u8(minimum_code_size) || minimum_code_size < 2 || minimum_code_size > 11) return Step::Damaged;
        if (!make_canvas(std::size_t(left) + width, std::size_t(top) + height)) return Step::Damaged;
        dispose();

        if (width == 0 || height == 0) {
            skip_data();  // an image without pixels still takes its place in time
        } else {
            PixelBlock indexes = allocate_image(width, height, 8);
            if (!indexes) return Step::Damaged;
            PicImage quiet{};  // no progress: a frame is one step of playback, not a read
            RowSink sink(&quiet, indexes.get(), width, height, (flags & 0x40) != 0, 8);
            const bool ended = decode_lzw(in_, minimum_code_size, entries, sink);
            if (sink.filled_in()) return Step::Damaged;
            if (!ended) skip_data();
            draw(indexes.get(), left, top, width, height, palette, control);
        }
        delay_ms_ = control.delay_cs * 10;
        return Step::Frame;
    }

    void draw(const std::uint8_t* indexes, std::size_t left, std::size_t top, std::size_t width, std::size_t height,
              const std::uint8_t* palette, const Control& control)
    {
        last_ = {};
        if (left < canvas_width_ && top < canvas_height_)
            last_ = {left, top, std::min(width, canvas_width_ - left), std::min(height, canvas_height_ - top)};
        disposal_ = control.disposal;
        const std::size_t row = canvas_width_ * 3;
        if (disposal_ == 3) {
            saved_.resize(last_.width * last_.height * 3);
            for (std::size_t y = 0; y < last_.height; ++y)
                std::memcpy(saved_.data() + y * last_.width * 3,
                            canvas_.data() + (last_.top + y) * row + last_.left * 3, last_.width * 3);
        }
        for (std::size_t y = 0; y < last_.height; ++y) {
            const std::uint8_t* in = indexes + y * width;
            std::uint8_t* out = canvas_.data() + (last_.top + y) * row + last_.left * 3;
            for (std::size_t x = 0; x < last_.width; ++x, out += 3) {
                if (in[x] == control.transparent) continue;
                std::memcpy(out, palette + 3 * std::size_t(in[x]), 3);
            }
        }
    }

    ByteReader in_;
    std::size_t screen_width_ = 0, screen_height_ = 0;
    int screen_code_ = 0;
    int global_entries_ = 0;
    std::unique_ptr<std::array<std::uint8_t, 768>> global_;
    std::uint64_t first_block_ = 0;

    std::size_t canvas_width_ = 0, canvas_height_ = 0;
    std::vector<std::uint8_t> canvas_;  // 24-bit, top-down
    int disposal_ = 0;                  // of the last frame drawn
    Area last_;
    std::vector<std::uint8_t> saved_;  // what the last frame covered, for disposal 3
    std::int32_t delay_ms_ = 0;

    int in_pass_ = 0;       // frames handed out since the first
    int known_frames_ = 0;  // the good frames of the file, once its end was met
};

void GifFramesCloser::operator()(GifFrames* frames) const
{
    delete frames;
}

GifFramesPtr open_gif_frames(std::FILE* stream)
{
    GifFramesPtr frames(new GifFrames(stream));
    if (!frames->open()) return nullptr;
    return frames;
}

int next_gif_frame(GifFrames& frames, PicImage* frame, std::int32_t* delay_ms)
{
    return frames.next(frame, delay_ms);
}

int read_gif_frames_stream(std::FILE* stream, PicImage* pic, int count)
{
    const GifFramesPtr frames = open_gif_frames(stream);
    if (!frames) return 0;
    std::int32_t delay_ms = 0;
    for (int i = 0; i < count; ++i)
        if (!frames->next(pic, &delay_ms)) return 0;
    return 1;
}

}  // namespace zarn
