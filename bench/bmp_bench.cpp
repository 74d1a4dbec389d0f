// BMP read and write throughput on a 16-megapixel 24-bit image.
#include "codecs.h"
#include "record.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int kSide = 4096;

// A private folder with the image in memory and on disk, removed at exit.
class Workspace {
public:
    Workspace()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/bmp_bench.XXXXXX";
        if (::mkdtemp(pattern.data())) folder_ = pattern;
        input_ = folder_ + "/in.bmp";
        output_ = folder_ + "/out.bmp";

        // A pattern that changes in every channel, so no stage can skip work
        // on constant data.
        image_.width = image_.height = kSide;
        image_.bits = 24;
        const std::size_t bytes = std::size_t(3) * kSide * kSide;
        image_.pixels = static_cast<unsigned char*>(std::malloc(bytes));
        if (!image_.pixels) return;
        for (std::size_t i = 0; i < bytes; ++i) image_.pixels[i] = static_cast<unsigned char>(i * 7 + (i >> 12));
        ready_ = !folder_.empty() && zarn::write_bmp(input_.c_str(), &image_) == 1;
        struct stat info {};
        if (ready_ && ::stat(input_.c_str(), &info) == 0) file_bytes_ = info.st_size;
    }
    ~Workspace()
    {
        zarn::release_image(&image_);
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    bool ready() const { return ready_; }
    const std::string& input() const { return input_; }
    const std::string& output() const { return output_; }
    PicImage* image() { return &image_; }
    std::int64_t file_bytes() const { return file_bytes_; }

private:
    std::string folder_, input_, output_;
    PicImage image_{};
    std::int64_t file_bytes_ = 0;
    bool ready_ = false;
};

void read_bmp_bench(benchmark::State& state, Workspace* space)
{
    for (auto _ : state) {
        PicImage pic{};
        if (zarn::read_bmp(space->input().c_str(), &pic) != 1) state.SkipWithError("read_bmp failed");
        benchmark::DoNotOptimize(pic.pixels);
        zarn::release_image(&pic);
    }
    state.SetBytesProcessed(state.iterations() * space->file_bytes());
}

void write_bmp_bench(benchmark::State& state, Workspace* space)
{
    for (auto _ : state) {
        if (zarn::write_bmp(space->output().c_str(), space->image()) != 1) state.SkipWithError("write_bmp failed");
    }
    state.SetBytesProcessed(state.iterations() * space->file_bytes());
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Workspace space;
    if (!space.ready()) {
        std::fprintf(stderr, "bmp_bench: cannot prepare the test image\n");
        return 1;
    }
    const std::string size = "/" + std::to_string(kSide) + "x" + std::to_string(kSide) + "x24";
    benchmark::RegisterBenchmark(("read_bmp" + size).c_str(), read_bmp_bench, &space)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("write_bmp" + size).c_str(), write_bmp_bench, &space)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
