// Filling the shared thumbnail cache for every picture of a folder through _Pic_Thumbnail on all cores, cold then warm.
//
//   thumbnail_fill_bench FOLDER [SIZE [THREADS]]
//
// The cache is a fresh folder under $TMPDIR (else /tmp), removed at the end.
#include "zarngfx.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Pass {
    double seconds = 0;
    double processor_seconds = 0;  // user and system time of every thread
    int made = 0;
};

double processor_seconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Pass run_pass(const std::vector<std::string>& files, int size, int make, unsigned threads)
{
    std::atomic<std::size_t> next{0};
    std::atomic<int> made{0};
    const auto start = std::chrono::steady_clock::now();
    const double processor_start = processor_seconds();
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            char out[4096];
            for (std::size_t i = next++; i < files.size(); i = next++)
                if (_Pic_Thumbnail(files[i].c_str(), size, make, out, sizeof out) == 1) ++made;
        });
    for (std::thread& worker : workers) worker.join();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), processor_seconds() - processor_start, made.load()};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [SIZE [THREADS]]\n", argv[0]);
        return 2;
    }
    const int size = argc > 2 ? std::atoi(argv[2]) : 128;
    const unsigned threads =
        argc > 3 ? unsigned(std::atoi(argv[3])) : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> files;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(argv[1], error))
        if (entry.is_regular_file()) files.push_back(fs::absolute(entry.path()).string());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no files in %s\n", argv[1]);
        return 2;
    }
    const char* temporary = std::getenv("TMPDIR");
    std::string cache = std::string(temporary && *temporary ? temporary : "/tmp") + "/thumbnail-fill-XXXXXX";
    if (!::mkdtemp(cache.data())) return 1;
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);

    const Pass cold = run_pass(files, size, 1, threads);
    const Pass warm = run_pass(files, size, 0, threads);
    std::printf("%zu files, size %d, %u threads\n", files.size(), size, threads);
    const auto report = [&](const char* name, const Pass& pass) {
        const double files_count = double(files.size());
        std::printf("%s %.3f s wall, %.2f ms a file; processor %.3f s, %.2f ms a file; %d of %zu\n", name, pass.seconds,
                    1000 * pass.seconds / files_count, pass.processor_seconds,
                    1000 * pass.processor_seconds / files_count, pass.made, files.size());
    };
    report("cold (made): ", cold);
    report("warm (found):", warm);
    fs::remove_all(cache, error);
    return cold.made == int(files.size()) && warm.made == cold.made ? 0 : 1;
}
