// Draws the bundled sample pictures: make_samples FOLDER writes them there as BMP files.
#include "checked.h"
#include "codecs.h"
#include "record.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using zarn::PixelBlock;

struct Sample {
    const char* name;
    int width, height, bits;
    void (*draw)(PicImage* pic);
};

// Hue around the circle, brightness from top to bottom.
void draw_colour_wheel(PicImage* pic)
{
    const double cx = pic->width / 2.0, cy = pic->height / 2.0;
    for (int y = 0; y < pic->height; ++y) {
        for (int x = 0; x < pic->width; ++x) {
            unsigned char* p = pic->pixels + 3 * (std::size_t(y) * std::size_t(pic->width) + std::size_t(x));
            const double angle = std::atan2(y - cy, x - cx);
            const double light = 1.0 - 0.6 * y / pic->height;
            for (int c = 0; c < 3; ++c) {
                const double wave = 0.5 + 0.5 * std::cos(angle - c * 2.0943951);
                p[c] = static_cast<unsigned char>(255.0 * wave * light);
            }
        }
    }
}

// Concentric rings over a 256-colour palette of warm to cool tones.
void draw_rings(PicImage* pic)
{
    for (int i = 0; i < 256; ++i) {
        pic->palette[3 * i] = static_cast<unsigned char>(i);
        pic->palette[3 * i + 1] = static_cast<unsigned char>((i * 3) & 0xFF);
        pic->palette[3 * i + 2] = static_cast<unsigned char>(255 - i);
    }
    for (int y = 0; y < pic->height; ++y)
        for (int x = 0; x < pic->width; ++x) {
            const int dx = x - pic->width / 2, dy = y - pic->height / 2;
            pic->pixels[std::size_t(y) * std::size_t(pic->width) + std::size_t(x)] =
                static_cast<unsigned char>(int(std::sqrt(dx * dx + dy * dy) * 3) & 0xFF);
        }
}

// Sixteen vertical bars of a grey ramp.
void draw_grey_bars(PicImage* pic)
{
    zarn::set_grey_palette(pic);
    for (int y = 0; y < pic->height; ++y)
        for (int x = 0; x < pic->width; ++x)
            pic->pixels[std::size_t(y) * std::size_t(pic->width) + std::size_t(x)] =
                static_cast<unsigned char>(x * 16 / pic->width);
}

// A checkerboard of 8-pixel squares, one bit per pixel.
void draw_checkerboard(PicImage* pic)
{
    std::memset(pic->palette, 0, 3);
    std::memset(pic->palette + 3, 255, 3);
    const std::size_t row = (std::size_t(pic->width) + 7) / 8;
    for (int y = 0; y < pic->height; ++y)
        for (std::size_t b = 0; b < row; ++b)
            pic->pixels[std::size_t(y) * row + b] = ((y / 8 + int(b)) & 1) ? 0xFF : 0x00;
}

const Sample kSamples[] = {
    {"colour-wheel.bmp", 160, 120, 24, draw_colour_wheel},
    {"rings-256.bmp", 120, 90, 8, draw_rings},
    {"grey-bars-16.bmp", 97, 40, 4, draw_grey_bars},
    {"checkerboard-mono.bmp", 64, 64, 1, draw_checkerboard},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples FOLDER\n");
        return 2;
    }
    int failures = 0;
    for (const Sample& sample : kSamples) {
        PicImage pic{};
        pic.width = sample.width;
        pic.height = sample.height;
        pic.bits = sample.bits;
        pic.colours = sample.bits == 24 ? 0 : 1 << sample.bits;
        pic.pixels = zarn::allocate_pixels(*zarn::image_bytes(sample.width, sample.height, sample.bits)).release();
        sample.draw(&pic);
        const std::string path = std::string(argv[1]) + "/" + sample.name;
        if (!zarn::write_bmp(path.c_str(), &pic)) {
            std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
            ++failures;
        }
        zarn::release_image(&pic);
    }
    return failures ? 1 : 0;
}
