// The viewer's start, from `Show picture.jpg` to the picture painted, against `zarnconv picture.jpg out.bmp`,
// for a 16-megapixel JPEG: whole processes, taking turns. Without a display it reruns itself under xvfb-run.
#include "viewer_bench_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using viewer_bench::median;

constexpr int kWidth = 4608, kHeight = 3456;  // 16 megapixels
constexpr int kRuns = 5;
constexpr double kDeadlineMs = 60000;

double monotonic_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Run {
    bool ok = false;
    double wall_ms = 0, cpu_ms = 0, peak_mib = 0;
};

double rusage_cpu_ms(const rusage& usage)
{
    const auto ms = [](timeval t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Starts `arguments` with its standard output thrown away; the process id, or -1.
pid_t start(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

// Waits for `pid` (killing it past the deadline): its processor time and peak memory.
bool finish(pid_t pid, double started_ms, Run& run, bool poll)
{
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(pid, &status, poll ? WNOHANG : 0, &usage);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return false;
        if (monotonic_ms() - started_ms > kDeadlineMs) ::kill(pid, SIGKILL);
        const timespec pause{0, 2'000'000};
        ::nanosleep(&pause, nullptr);
    }
    run.cpu_ms = rusage_cpu_ms(usage);
    run.peak_mib = double(usage.ru_maxrss) / 1024;  // kilobytes
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

Run convert(const std::string& zarnconv, const std::string& in, const std::string& out)
{
    Run run;
    const double started = monotonic_ms();
    const pid_t pid = start({zarnconv, "-q", in, out});
    if (pid < 0) return run;
    run.ok = finish(pid, started, run, false);
    run.wall_ms = monotonic_ms() - started;
    return run;
}

// The viewer writes the monotonic clock and its processor time, in
// nanoseconds, to the file named by ZARN_REPORT_FIRST_PAINT once its picture
// is painted, and ends. Its peak memory is that of its whole run.
Run show(const std::string& viewer, const std::string& picture, const std::string& report)
{
    Run run;
    std::remove(report.c_str());
    ::setenv("ZARN_REPORT_FIRST_PAINT", report.c_str(), 1);
    const double started = monotonic_ms();
    const pid_t pid = start({viewer, picture});
    ::unsetenv("ZARN_REPORT_FIRST_PAINT");
    if (pid < 0) return run;
    const bool exited = finish(pid, started, run, true);
    std::FILE* file = std::fopen(report.c_str(), "r");
    long long painted_ns = 0, cpu_ns = 0;
    const bool read = file && std::fscanf(file, "%lld %lld", &painted_ns, &cpu_ns) == 2;
    if (file) std::fclose(file);
    run.ok = exited && read;
    run.wall_ms = double(painted_ns) / 1e6 - started;
    run.cpu_ms = double(cpu_ns) / 1e6;  // up to the paint, not the exit after it
    return run;
}

bool make_picture(const QString& bmp)
{
    return viewer_bench::photo_like(kWidth, kHeight, QImage::Format_RGB888).save(bmp, "BMP");
}

void print_row(const char* name, const std::vector<Run>& runs)
{
    std::vector<double> wall, cpu, peak;
    for (const Run& run : runs) {
        wall.push_back(run.wall_ms);
        cpu.push_back(run.cpu_ms);
        peak.push_back(run.peak_mib);
    }
    std::printf("  %-44s %8.1f  %8.1f  %8.1f\n", name, median(wall), median(cpu), median(peak));
}

}  // namespace

int main(int argc, char* argv[])
{
    if (const int unavailable = viewer_bench::ensure_display(argc, argv)) return unavailable;
    const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::string viewer = (bin / "Show").string(), zarnconv = (bin / "zarnconv").string();
    for (const std::string& program : {viewer, zarnconv}) {
        if (::access(program.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "viewer_first_paint_bench: no %s\n", program.c_str());
            return 1;
        }
    }
    // Settings, desktop entries and the working file go to a scratch folder,
    // never the user's own; the viewer finds no other copy of itself there.
    QTemporaryDir scratch;
    if (!scratch.isValid()) return 1;
    viewer_bench::use_scratch_folders(scratch);
    const std::string folder = QFile::encodeName(scratch.path()).toStdString();
    const std::string bmp = folder + "/source.bmp", jpeg = folder + "/picture.jpg";
    // Made in a child process: a child's peak memory counts from its
    // parent's at the fork, which must stay small to measure the others.
    const pid_t maker = ::fork();
    if (maker == 0) ::_exit(make_picture(QString::fromStdString(bmp)) ? 0 : 1);
    int made = -1;
    if (maker < 0 || ::waitpid(maker, &made, 0) != maker || made != 0 || !convert(zarnconv, bmp, jpeg).ok) {
        std::fprintf(stderr, "viewer_first_paint_bench: cannot make the picture\n");
        return 1;
    }
    std::remove(bmp.c_str());

    // Taking turns, after one round that fills the caches and writes the
    // viewer's desktop entries and settings for the first time.
    std::vector<Run> conversions, viewers;
    for (int round = 0; round <= kRuns; ++round) {
        // A fresh output, as the viewer's working file is: replacing a file
        // whose pages are still being written out waits for the disk.
        std::remove((folder + "/out.bmp").c_str());
        const Run converted = convert(zarnconv, jpeg, folder + "/out.bmp");
        const Run shown = show(viewer, jpeg, folder + "/painted");
        if (!converted.ok || !shown.ok) {
            std::fprintf(stderr, "viewer_first_paint_bench: %s failed\n", converted.ok ? "Show" : "zarnconv");
            return 1;
        }
        if (round == 0) continue;
        conversions.push_back(converted);
        viewers.push_back(shown);
    }

    std::printf("16-megapixel JPEG (%dx%d), median of %d runs   wall ms    cpu ms  peak MiB\n", kWidth, kHeight, kRuns);
    print_row("zarnconv picture.jpg out.bmp:", conversions);
    print_row("Show picture.jpg, start to picture painted:", viewers);
    std::vector<double> ratios, cpu_ratios;
    for (int i = 0; i < kRuns; ++i) {
        ratios.push_back(viewers[std::size_t(i)].wall_ms / conversions[std::size_t(i)].wall_ms);
        cpu_ratios.push_back(viewers[std::size_t(i)].cpu_ms / conversions[std::size_t(i)].cpu_ms);
    }
    std::printf("  ratio Show / zarnconv (median of the rounds):  %8.2f  %8.2f   (budget 1.30)\n", median(ratios),
                median(cpu_ratios));
    return 0;
}
