// In-memory pixel operations on a 16-megapixel 24-bit picture: reduction, greyscale, dither, turn, resize, tone.
#include "checked.h"
#include "operations.h"
#include "record.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSide = 4096;

// A smooth picture with grain, like a photograph: far more than 256 colours,
// and runs of similar ones.
const unsigned char* source_picture()
{
    static unsigned char* pixels = [] {
        auto* p = static_cast<unsigned char*>(std::malloc(std::size_t(3) * kSide * kSide));
        unsigned noise = 12345;
        for (std::size_t y = 0; y < kSide; ++y)
            for (std::size_t x = 0; x < kSide; ++x) {
                noise = noise * 1103515245u + 12345u;
                const int grain = int(noise >> 28) - 8;
                unsigned char* rgb = p + 3 * (y * kSide + x);
                rgb[0] = zarn::clamp_channel(int(x * 255 / kSide) + grain);
                rgb[1] = zarn::clamp_channel(int(y * 255 / kSide) + grain);
                rgb[2] = zarn::clamp_channel(128 + int(100 * std::sin(double(x) * 0.01 + double(y) * 0.007)) + grain);
            }
        return p;
    }();
    return pixels;
}

// A fresh copy of the picture for each run, made outside the timing.
class Picture {
public:
    Picture() { std::memset(&pic_, 0, sizeof pic_); }
    ~Picture() { zarn::release_image(&pic_); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    PicImage* fresh(int bits = 24)
    {
        zarn::release_image(&pic_);
        pic_.width = pic_.height = kSide;
        pic_.bits = 24;
        pic_.colours = 0;
        const std::size_t bytes = std::size_t(3) * kSide * kSide;
        pic_.pixels = static_cast<unsigned char*>(std::malloc(bytes));
        std::memcpy(pic_.pixels, source_picture(), bytes);
        if (bits == 8) zarn::make_grey(&pic_);
        return &pic_;
    }

private:
    PicImage pic_;
};

template <typename Operation>
void run(benchmark::State& state, int bits, Operation operation)
{
    Picture picture;
    for (auto _ : state) {
        state.PauseTiming();
        PicImage* pic = picture.fresh(bits);
        state.ResumeTiming();
        operation(pic);
        benchmark::DoNotOptimize(pic->pixels);
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kSide) * kSide);
}

void BM_ReduceDiffused(benchmark::State& state)
{
    run(state, 24, [](PicImage* p) { zarn::reduce_diffused(p); });
}
void BM_MakeGrey(benchmark::State& state)
{
    run(state, 24, [](PicImage* p) { zarn::make_grey(p); });
}
void BM_OrderedDither(benchmark::State& state)
{
    run(state, 24, [](PicImage* p) { zarn::ordered_dither(p); });
}
void BM_MakeMono(benchmark::State& state)
{
    run(state, 8, [](PicImage* p) { zarn::make_mono(p); });
}
void BM_QuarterTurn24(benchmark::State& state)
{
    run(state, 24, [](PicImage* p) { zarn::rotate_quarter(p); });
}
void BM_QuarterTurn8(benchmark::State& state)
{
    run(state, 8, [](PicImage* p) { zarn::rotate_quarter(p); });
}
void BM_ResizeNearest(benchmark::State& state)
{
    run(state, 24, [](PicImage* p) { zarn::resize_image(p, 3000, 3000); });
}
void BM_ResizeSmoothed(benchmark::State& state)
{
    run(state, 24, [](PicImage* p) { zarn::resize_image(p, 5000, 5000); });
}
void BM_AdjustTone(benchmark::State& state)
{
    run(state, 24, [](PicImage* p) { zarn::adjust_tone(p, 5, 0, -5, 5, 5, 0, 255); });
}
void BM_Sharpen(benchmark::State& state)
{
    run(state, 24, [](PicImage* p) { zarn::sharpen_image(p, 2.5); });
}

}  // namespace

BENCHMARK(BM_ReduceDiffused)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeGrey)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderedDither)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeMono)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuarterTurn24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuarterTurn8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeNearest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeSmoothed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AdjustTone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
