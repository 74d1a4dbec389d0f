// What the viewer benchmarks share: wall and processor clocks, medians, and a display to run on.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>
#include <utility>
#include <vector>

namespace viewer_bench {

// This process's processor time, which other work on a busy machine does
// not inflate the way it inflates the clock on the wall.
inline double cpu_ms()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Timing {
    QElapsedTimer wall;
    double cpu_start = cpu_ms();
    Timing() { wall.start(); }
    std::pair<double, double> stop() const { return {double(wall.nsecsElapsed()) / 1e6, cpu_ms() - cpu_start}; }
};

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Without a display the program runs itself again under xvfb-run; returns
// only when there is a display (or 1 when none can be had).
inline int ensure_display(int argc, char* argv[])
{
    if (std::getenv("DISPLAY")) return 0;
    std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), const_cast<char*>("-s"),
                            const_cast<char*>("-screen 0 1280x1024x24")};
    for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execvp("xvfb-run", args.data());
    std::fprintf(stderr, "no display and no xvfb-run\n");
    return 1;
}

// Points the temporary folder, settings and desktop data into `scratch`, so
// that a benchmark never touches the user's own.
inline void use_scratch_folders(const QTemporaryDir& scratch)
{
    for (const char* name : {"TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        const QString dir = scratch.path() + '/' + name;
        QDir().mkpath(dir);
        ::setenv(name, QFile::encodeName(dir).constData(), 1);
    }
}

// A photograph-like picture: smooth gradients with grain.
inline QImage photo_like(int width, int height, QImage::Format format)
{
    QImage picture(width, height, format);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 27) - 16;
            const int base[3] = {x * 255 / width, y * 255 / height, (x + y) * 255 / (width + height)};
            for (int c = 0; c < 3; ++c) row[3 * x + c] = uchar(std::clamp(base[c] + grain, 0, 255));
        }
    }
    return picture;
}

}  // namespace viewer_bench
