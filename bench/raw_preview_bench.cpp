// A camera RAW's embedded preview against its whole demosaic, through the shared library's exports.
//   raw_preview_bench make IN.ppm OUT.dng   a DNG whose RGGB mosaic samples IN's pixels (made linear), with a
//                                           half-size JPEG preview written by the library's own JPEG writer
//   raw_preview_bench time FILE.dng [RUNS]  the best of RUNS (default 5) preview reads and whole reads
#include "dng_builder.h"
#include "zarngfx.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Record {
    PicImage pic{};
    ~Record() { std::free(pic.pixels); }
};

int make(const char* input, const char* output)
{
    Record source;
    if (!_Pic_Read(input, &source.pic, 0, 0) || source.pic.bits != 24) {
        std::fprintf(stderr, "raw_preview_bench: cannot read %s as 24-bit\n", input);
        return 1;
    }
    const int width = source.pic.width & ~1, height = source.pic.height & ~1;
    const unsigned char* pixels = source.pic.pixels;
    const std::size_t stride = std::size_t(source.pic.width) * 3;

    // The preview: every other pixel, as a JPEG at quality 90.
    Record half;
    half.pic.width = width / 2;
    half.pic.height = height / 2;
    half.pic.bits = 24;
    half.pic.pixels = static_cast<unsigned char*>(std::malloc(std::size_t(width / 2) * std::size_t(height / 2) * 3));
    if (!half.pic.pixels) return 1;
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x)
            std::memcpy(half.pic.pixels + (std::size_t(y) * std::size_t(width / 2) + std::size_t(x)) * 3,
                        pixels + std::size_t(2 * y) * stride + std::size_t(2 * x) * 3, 3);
    std::string jpeg = std::string(output) + ".preview.jpg";
    jpeg.resize(jpeg.size() + 8, '\0');
    if (!_Pic_Write(jpeg.data(), &half.pic, 2, 90)) return 1;
    std::ifstream in(jpeg.c_str(), std::ios::binary);
    zarn::test::DngPicture picture;
    picture.preview_jpeg.assign(std::istreambuf_iterator<char>(in), {});
    std::remove(jpeg.c_str());

    std::vector<std::uint16_t> linear(256);
    for (int v = 0; v < 256; ++v) linear[std::size_t(v)] = std::uint16_t(std::lround(std::pow(v / 255.0, 2.2) * 60000));
    picture.width = width;
    picture.height = height;
    picture.preview_width = width / 2;
    picture.preview_height = height / 2;
    picture.scene = [&](int x, int y, std::uint16_t rgb[3]) {
        const unsigned char* at = pixels + std::size_t(y) * stride + std::size_t(x) * 3;
        for (int c = 0; c < 3; ++c) rgb[c] = linear[at[c]];
    };
    const std::vector<std::uint8_t> dng = zarn::test::make_dng(picture);
    std::ofstream out(output, std::ios::binary);
    out.write(reinterpret_cast<const char*>(dng.data()), std::streamsize(dng.size()));
    return out ? 0 : 1;
}

template <typename Read>
double best_seconds(int runs, Read read)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!read()) return -1;
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

int time_reads(const char* path, int runs)
{
    std::int32_t full_width = 0, full_height = 0, preview_width = 0, preview_height = 0;
    const double preview = best_seconds(runs, [&] {
        Record record;
        const int read = _Pic_ReadPreview(path, &record.pic, &full_width, &full_height);
        preview_width = record.pic.width;
        preview_height = record.pic.height;
        return read;
    });
    const double whole = best_seconds(runs, [&] {
        Record record;
        return _Pic_Read(path, &record.pic, 0, 0);
    });
    if (preview < 0 || whole < 0) {
        std::fprintf(stderr, "raw_preview_bench: %s did not read\n", path);
        return 1;
    }
    std::printf("%-26s preview %dx%d %.4f s, demosaic %dx%d %.4f s, ratio %.3f (target: at most 0.3)\n",
                "RAW preview vs demosaic", preview_width, preview_height, preview, full_width, full_height, whole,
                preview / whole);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "make") == 0) return make(argv[2], argv[3]);
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "time") == 0)
        return time_reads(argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 5);
    std::fprintf(stderr, "usage: raw_preview_bench make IN.ppm OUT.dng | time FILE.dng [RUNS]\n");
    return 2;
}
