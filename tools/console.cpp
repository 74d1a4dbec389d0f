// Message and progress-bar output, serialised so that lines from worker threads never interleave.
#include "console.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace zarnconv {
namespace {

constexpr int kBarCells = 30;
constexpr const char* kClearLine = "\r\033[K";

}  // namespace

void Console::print_line(const std::string& text)
{
    // A message goes above the bar: wipe the bar, print, draw the bar again.
    if (!bar_.empty()) std::fputs(kClearLine, stderr);
    std::fprintf(stderr, "zarnconv: %s\n", text.c_str());
    if (!bar_.empty()) std::fputs(bar_.c_str(), stderr);
    std::fflush(stderr);
}

void Console::error(const std::string& text)
{
    const std::lock_guard lock(mutex_);
    print_line(text);
}

void Console::note(const std::string& text)
{
    if (quiet_) return;
    const std::lock_guard lock(mutex_);
    print_line(text);
}

void Console::progress(std::int64_t done, std::int64_t total, std::size_t files_done, std::size_t files)
{
    if (!show_bar_ || total <= 0) return;
    done = std::clamp<std::int64_t>(done, 0, total);
    const int cells = int(done * kBarCells / total);
    const int percent = int(done * 100 / total);
    std::string bar = "\r[";
    bar.append(std::size_t(cells), '#');
    bar.append(std::size_t(kBarCells - cells), '.');
    char tail[64];
    std::snprintf(tail, sizeof tail, "] %3d%%  %zu/%zu files", percent, files_done, files);
    bar += tail;

    const std::lock_guard lock(mutex_);
    if (bar == bar_) return;
    bar_ = std::move(bar);
    std::fputs(bar_.c_str(), stderr);
    std::fflush(stderr);
}

void Console::finish()
{
    const std::lock_guard lock(mutex_);
    if (bar_.empty()) return;
    std::fputs(kClearLine, stderr);
    std::fflush(stderr);
    bar_.clear();
}

bool stderr_is_terminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace zarnconv
