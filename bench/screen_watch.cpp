// screen_watch: starts a program and times, from its start, until its picture is on the X screen; optionally
// presses Right a number of times and times each step the same way. For bench/first_paint_vs_peers.sh.
//
// Usage: screen_watch [--settle MS] [--timeout MS] [--tolerance N] [--share PERCENT]
//                     [--steps N] [--interval MS] -- PROGRAM [ARGUMENT]...
//
// The rule, the same for every program: the root window is sampled on a grid
// (every 8 pixels) about once a millisecond, and every sampling that differs
// from the one before is kept with its time. Once the screen has not changed
// for SETTLE ms (default 500), its last state is the program's picture. The
// points that picture changed (a channel differs by more than TOLERANCE,
// default 40, from the screen before) are the picture's area; the time
// printed is that of the first sampling in which SHARE percent (default 95)
// of those points already show their final colour within the tolerance. A
// window's frame and toolbars alone, or a window before its picture, cannot
// reach that share; a preview that the full picture later replaces in the
// same place counts as painted, as it looks the same.
//
// With --steps N, after the first paint the pointer rests on the middle of
// the picture's area (with no window manager the keyboard follows the
// pointer) and Right is pressed N times, one press every INTERVAL ms (default
// 1000); each step is timed from the key to its picture by the same rule,
// the picture being the screen once it has been still for SETTLE ms (or at
// the end of the interval).
//
// Prints "first MS", then "step MS" per step (-1: nothing changed), then
// "rss KIB", the program's peak resident memory (VmHWM, read just before it
// is killed). Exits 1 when nothing was painted before TIMEOUT (default 20000)
// ms, 2 on a usage or display error.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kGrid = 8;                    // pixels between sample points
constexpr std::size_t kMaxKept = 4000;      // samplings kept per measurement
constexpr long kPollNanoseconds = 1000000;  // about once a millisecond

using Samples = std::vector<std::uint32_t>;

struct Kept {
    double ms;  // since the program's start
    Samples samples;
};

double now_ms()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void pause_poll()
{
    const timespec wait{0, kPollNanoseconds};
    ::nanosleep(&wait, nullptr);
}

// The root window's pixels at the grid points, through shared memory when
// the server offers it (a full-screen copy then costs about a millisecond).
class RootSampler {
public:
    explicit RootSampler(Display* display) : display_(display), root_(DefaultRootWindow(display))
    {
        width_ = DisplayWidth(display, DefaultScreen(display));
        height_ = DisplayHeight(display, DefaultScreen(display));
        columns_ = (width_ + kGrid - 1) / kGrid;
        rows_ = (height_ + kGrid - 1) / kGrid;
        if (!XShmQueryExtension(display)) return;
        image_ = XShmCreateImage(display, DefaultVisual(display, DefaultScreen(display)),
                                 unsigned(DefaultDepth(display, DefaultScreen(display))), ZPixmap, nullptr, &shm_,
                                 unsigned(width_), unsigned(height_));
        if (!image_) return;
        shm_.shmid =
            ::shmget(IPC_PRIVATE, std::size_t(image_->bytes_per_line) * std::size_t(height_), IPC_CREAT | 0600);
        if (shm_.shmid < 0) {
            drop_shm();
            return;
        }
        shm_.shmaddr = image_->data = static_cast<char*>(::shmat(shm_.shmid, nullptr, 0));
        ::shmctl(shm_.shmid, IPC_RMID, nullptr);  // gone once both sides detach
        if (shm_.shmaddr == reinterpret_cast<char*>(-1)) {
            drop_shm();
            return;
        }
        shm_.readOnly = False;
        if (!XShmAttach(display, &shm_)) {
            drop_shm();
            return;
        }
        XSync(display, False);
        attached_ = true;
    }
    ~RootSampler()
    {
        if (attached_) XShmDetach(display_, &shm_);
        if (image_) {
            image_->data = nullptr;
            XDestroyImage(image_);
        }
        if (shm_.shmaddr && shm_.shmaddr != reinterpret_cast<char*>(-1)) ::shmdt(shm_.shmaddr);
    }
    RootSampler(const RootSampler&) = delete;
    RootSampler& operator=(const RootSampler&) = delete;

    int columns() const { return columns_; }
    int rows() const { return rows_; }

    Samples sample()
    {
        Samples out(std::size_t(columns_) * std::size_t(rows_), 0);
        XImage* image = image_;
        XImage* fetched = nullptr;
        if (attached_) {
            if (!XShmGetImage(display_, root_, image_, 0, 0, AllPlanes)) return out;
        } else {
            fetched = XGetImage(display_, root_, 0, 0, unsigned(width_), unsigned(height_), AllPlanes, ZPixmap);
            if (!fetched) return out;
            image = fetched;
        }
        for (int row = 0; row < rows_; ++row)
            for (int column = 0; column < columns_; ++column)
                out[std::size_t(row) * std::size_t(columns_) + std::size_t(column)] =
                    std::uint32_t(XGetPixel(image, column * kGrid, row * kGrid) & 0xFFFFFFu);
        if (fetched) XDestroyImage(fetched);
        return out;
    }

private:
    void drop_shm()
    {
        if (image_) {
            image_->data = nullptr;
            XDestroyImage(image_);
            image_ = nullptr;
        }
    }

    Display* display_;
    Window root_;
    int width_ = 0, height_ = 0, columns_ = 0, rows_ = 0;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool attached_ = false;
};

bool close_to(std::uint32_t a, std::uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference = int((a >> shift) & 0xFFu) - int((b >> shift) & 0xFFu);
        if (std::abs(difference) > tolerance) return false;
    }
    return true;
}

struct Rule {
    int tolerance = 40;
    double share = 0.95;
};

// The time of the first kept sampling that shows the last one's changes
// from `before`, or -1 when the last one shows none.
double painted_at(const Samples& before, const std::vector<Kept>& kept, const Rule& rule)
{
    if (kept.empty()) return -1;
    const Samples& last = kept.back().samples;
    std::vector<std::size_t> area;
    for (std::size_t i = 0; i < last.size() && i < before.size(); ++i)
        if (!close_to(before[i], last[i], rule.tolerance)) area.push_back(i);
    if (area.empty()) return -1;
    for (const Kept& state : kept) {
        std::size_t matching = 0;
        for (const std::size_t i : area)
            if (close_to(state.samples[i], last[i], rule.tolerance)) ++matching;
        if (double(matching) >= rule.share * double(area.size())) return state.ms;
    }
    return kept.back().ms;
}

// The middle of the points that differ between two samplings, in pixels.
bool middle_of_change(const Samples& before, const Samples& after, int columns, const Rule& rule, int& x, int& y)
{
    int left = columns, right = -1, top = 1 << 30, bottom = -1;
    for (std::size_t i = 0; i < after.size() && i < before.size(); ++i) {
        if (close_to(before[i], after[i], rule.tolerance)) continue;
        const int column = int(i % std::size_t(columns)), row = int(i / std::size_t(columns));
        left = std::min(left, column), right = std::max(right, column);
        top = std::min(top, row), bottom = std::max(bottom, row);
    }
    if (right < 0) return false;
    x = (left + right) / 2 * kGrid;
    y = (top + bottom) / 2 * kGrid;
    return true;
}

bool alive(pid_t child)
{
    int status = 0;
    return ::waitpid(child, &status, WNOHANG) == 0;
}

// Keeps every sampling that differs from the one before, until the screen
// has been still for `settle` ms after a change (`settle` 0: until `until`),
// or `until` passes, or the program ends. False when the program ended.
bool watch(RootSampler& screen, pid_t child, double start, double until, double settle, const Samples& before,
           std::vector<Kept>& kept)
{
    Samples previous = before;
    double last_change = -1;
    while (now_ms() < until && kept.size() < kMaxKept) {
        const double at = now_ms();
        Samples samples = screen.sample();
        if (samples != previous) {
            previous = samples;
            last_change = at;
            kept.push_back({at - start, std::move(samples)});
        } else if (settle > 0 && last_change >= 0 && at - last_change >= settle) {
            return true;
        }
        if (!alive(child)) return false;
        pause_poll();
    }
    return true;
}

long peak_rss_kib(pid_t child)
{
    std::ifstream status("/proc/" + std::to_string(child) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

void end(pid_t child)
{
    ::kill(-child, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(child, nullptr, WNOHANG) == child) return;
        pause_poll();
    }
    ::kill(-child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

struct Options {
    Rule rule;
    double settle = 500, timeout = 20000, interval = 1000;
    long steps = 0;
};

// Everything from the empty screen to the program killed; the sampler's
// shared memory goes before the display closes.
int run(Display* display, const Options& options, char** command)
{
    RootSampler screen(display);
    const Samples empty = screen.sample();

    const double start = now_ms();
    const pid_t child = ::fork();
    if (child < 0) return 2;
    if (child == 0) {
        ::setpgid(0, 0);  // its helpers are ended with it
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
            ::close(null);
        }
        ::execvp(command[0], command);
        ::_exit(127);
    }
    ::setpgid(child, child);

    std::vector<Kept> kept;
    const bool running = watch(screen, child, start, start + options.timeout, options.settle, empty, kept);
    const double first = painted_at(empty, kept, options.rule);
    if (!running || first < 0) {
        std::fprintf(stderr, "screen_watch: %s\n", running ? "nothing was painted" : "the program ended");
        if (running) end(child);
        return 1;
    }
    std::printf("first %.1f\n", first);
    std::fflush(stdout);

    if (options.steps > 0) {
        Samples before = kept.back().samples;
        int x = 0, y = 0;
        if (middle_of_change(empty, before, screen.columns(), options.rule, x, y)) {
            XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
            XSync(display, False);
        }
        const KeyCode right = XKeysymToKeycode(display, XK_Right);
        for (long step = 0; step < options.steps; ++step) {
            const double key = now_ms();
            XTestFakeKeyEvent(display, right, True, CurrentTime);
            XTestFakeKeyEvent(display, right, False, CurrentTime);
            XSync(display, False);
            kept.clear();
            if (!watch(screen, child, key, key + options.interval, std::min(options.settle, options.interval), before,
                       kept))
                break;
            const double at = painted_at(before, kept, options.rule);
            std::printf("step %.1f\n", at);
            std::fflush(stdout);
            if (!kept.empty()) before = kept.back().samples;
            while (now_ms() < key + options.interval) pause_poll();
        }
    }

    std::printf("rss %ld\n", peak_rss_kib(child));
    end(child);
    return 0;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: screen_watch [--settle MS] [--timeout MS] [--tolerance N] [--share PERCENT]\n"
                 "                    [--steps N] [--interval MS] -- PROGRAM [ARGUMENT]...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    int first_argument = 1;
    for (; first_argument < argc; ++first_argument) {
        const std::string option = argv[first_argument];
        if (option == "--") {
            ++first_argument;
            break;
        }
        if (first_argument + 1 >= argc) return usage();
        char* end_of_number = nullptr;
        const double value = std::strtod(argv[++first_argument], &end_of_number);
        if (*end_of_number != '\0' || value < 0) return usage();
        if (option == "--settle") options.settle = value;
        else if (option == "--timeout") options.timeout = value;
        else if (option == "--tolerance") options.rule.tolerance = int(value);
        else if (option == "--share") options.rule.share = std::clamp(value, 1.0, 100.0) / 100;
        else if (option == "--steps") options.steps = long(value);
        else if (option == "--interval") options.interval = value;
        else return usage();
    }
    if (first_argument >= argc) return usage();

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "screen_watch: no X display\n");
        return 2;
    }
    const int result = run(display, options, argv + first_argument);
    XCloseDisplay(display);
    return result;
}
