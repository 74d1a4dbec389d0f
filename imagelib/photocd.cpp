// PhotoCD reader: the three base resolutions of an image pack, YCC to RGB, turned upright.
#include "byte_reader.h"
#include "checked.h"
#include "codecs.h"
#include "progress.h"
#include "record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace zarn {
namespace {

constexpr std::uint64_t kOrientationAt = 0xE02;

struct Resolution {
    std::size_t width, height;
    std::uint64_t offset;
};

Resolution resolution_for(int choice)
{
    if (choice == 1) return {192, 128, 8192};
    if (choice == 2) return {384, 256, 47104};
    return {768, 512, 196608};
}

// Integer YCC tables with 12 fractional bits.
// Every sum of a luma and chroma entry, shifted, lies in -512..767, so one
// more table clamps it without a comparison.
struct YccTables {
    static constexpr std::int32_t kClampBias = 512;
    std::array<std::int32_t, 256> luma, red_c2, blue_c1, green_c1, green_c2;
    std::array<std::uint8_t, 1280> clamp;
    YccTables()
    {
        for (std::int32_t i = 0; i < 256; ++i) {
            luma[std::size_t(i)] = 5564 * i + 2048;
            red_c2[std::size_t(i)] = 7461 * i - 1022138;
            blue_c1[std::size_t(i)] = 9085 * i - 1417185;
            green_c1[std::size_t(i)] = 274934 - 1762 * i;
            green_c2[std::size_t(i)] = 520268 - 3798 * i;
        }
        for (std::int32_t v = 0; v < std::int32_t(clamp.size()); ++v)
            clamp[std::size_t(v)] = clamp_channel(v - kClampBias);
    }
};

const YccTables& ycc_tables()
{
    static const YccTables tables;
    return tables;
}

// Widens a chrominance plane stored as w x h in the top-left corner (row
// stride 2w) to 2w x 2h in place: even rows from the bottom up, each right
// to left, then the odd rows between them, then the last row copied.
void interpolate_chroma(std::vector<std::uint8_t>& plane, std::size_t w, std::size_t h)
{
    const std::size_t stride = 2 * w;
    std::vector<unsigned> source(w);
    for (std::size_t s = h; s-- > 0;) {
        const std::uint8_t* in = plane.data() + s * stride;
        for (std::size_t k = 0; k < w; ++k) source[k] = in[k];
        std::uint8_t* out = plane.data() + 2 * s * stride;
        out[2 * w - 2] = out[2 * w - 1] = std::uint8_t(source[w - 1]);
        for (std::size_t k = w - 1; k-- > 0;) {
            out[2 * k] = std::uint8_t(source[k]);
            out[2 * k + 1] = std::uint8_t((source[k] + source[k + 1] + 1) >> 1);
        }
    }
    for (std::size_t i = 0; i + 1 < h; ++i) {
        const std::uint8_t* a = plane.data() + 2 * i * stride;
        const std::uint8_t* b = a + 2 * stride;
        std::uint8_t* out = plane.data() + (2 * i + 1) * stride;
        for (std::size_t k = 0; k + 1 < w; ++k) {
            out[2 * k] = std::uint8_t((a[2 * k] + b[2 * k] + 1) >> 1);
            out[2 * k + 1] = std::uint8_t((a[2 * k] + a[2 * k + 2] + b[2 * k] + b[2 * k + 2] + 2) >> 2);
        }
        out[2 * w - 2] = std::uint8_t((a[2 * w - 2] + b[2 * w - 2] + 1) >> 1);
        out[2 * w - 1] = std::uint8_t((a[2 * w - 1] + b[2 * w - 1] + 1) >> 1);
    }
    std::memcpy(plane.data() + (2 * h - 1) * stride, plane.data() + (2 * h - 2) * stride, stride);
}

// Table-driven: one lookup per component, arithmetic shifts, clamped.
void ycc_to_rgb(const YccTables& t, std::uint8_t y, std::uint8_t c1, std::uint8_t c2, std::uint8_t* rgb)
{
    const std::int32_t l = t.luma[y];
    const std::uint8_t* clamp = t.clamp.data() + YccTables::kClampBias;
    rgb[0] = clamp[(l + t.red_c2[c2]) >> 12];
    rgb[1] = clamp[(l + t.green_c1[c1] + t.green_c2[c2]) >> 12];
    rgb[2] = clamp[(l + t.blue_c1[c1]) >> 12];
}

}  // namespace

int read_photocd_stream(std::FILE* stream, PicImage* pic, int resolution)
{
    ByteReader in(stream);
    std::uint8_t orientation = 0;
    if (!in.seek(kOrientationAt) || !in.u8(orientation)) return refuse(true);
    orientation &= 3;
    const Resolution res = resolution_for(resolution);
    const std::size_t W = res.width, H = res.height;
    const bool turned = orientation == 1 || orientation == 3;
    const std::size_t out_width = turned ? H : W, out_height = turned ? W : H;

    if (!in.seek(res.offset)) return refuse(true);
    std::vector<std::uint8_t> luma(W * H), c1(W * H), c2(W * H);
    std::size_t got = 0;
    for (std::size_t g = 0; g < H / 2; ++g) {
        got += in.read({luma.data() + 2 * g * W, 2 * W});
        got += in.read({c1.data() + g * W, W / 2});
        got += in.read({c2.data() + g * W, W / 2});
    }
    // A file that ends before the chosen resolution's data is no picture;
    // data missing after that start stays zero.
    if (got == 0) return refuse(true);
    if (got < 3 * W * H / 2) warn_filled_in();
    interpolate_chroma(c1, W / 2, H / 2);
    interpolate_chroma(c2, W / 2, H / 2);

    PixelBlock pixels = allocate_image(std::int64_t(out_width), std::int64_t(out_height), 24);
    if (!pixels) return 0;

    const YccTables& tables = ycc_tables();
    std::uint8_t* out = pixels.get();
    for (std::size_t i = 0; i < out_height; ++i) {
        // Where the row starts in the stored planes, and the step along it.
        std::ptrdiff_t at = std::ptrdiff_t(i * W), step = 1;                                    // upright
        if (orientation == 3) at = std::ptrdiff_t((H - 1) * W + i), step = -std::ptrdiff_t(W);  // clockwise
        else if (orientation == 1) at = std::ptrdiff_t(W - 1 - i), step = std::ptrdiff_t(W);    // counter-clockwise
        for (std::size_t j = 0; j < out_width; ++j, out += 3, at += step) {
            const auto k = std::size_t(at);
            ycc_to_rgb(tables, luma[k], c1[k], c2[k], out);
        }
        report_progress(pic, std::int64_t(i), std::int64_t(out_height));
    }

    pic->width = std::int32_t(out_width);
    pic->height = std::int32_t(out_height);
    pic->bits = 24;
    pic->colours = 0;
    describe(pic, "PhotoCD : %ldx%ld - 24bit", long(out_width), long(out_height));
    pic->pixels = pixels.release();
    return 1;
}

int read_photocd(const char* path, PicImage* pic, int resolution)
{
    return read_path(path, pic, [resolution](std::FILE* stream, PicImage* record) {
        return read_photocd_stream(stream, record, resolution);
    });
}

}  // namespace zarn
