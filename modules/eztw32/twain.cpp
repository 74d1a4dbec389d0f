// The scanner module's routines: choosing a SANE device, and acquiring one image to a file or the clipboard.
#include "eztw32.h"

#include "codecs.h"
#include "host.h"
#include "record.h"
#include "sane_scan.h"

#include <sane/sane.h>

#include <algorithm>
#include <cstddef>

namespace eztw32 {
namespace {

// Results of the acquire routines: 0 is success, anything else a failure.
enum Acquired : int { kAcquired = 0, kNoSource = 1, kScanFailed = 2, kNotDelivered = 3 };

// Set between TWAIN_LoadSourceManager and TWAIN_UnloadSourceManager. The
// module is unloaded after every call, so this never outlives one call.
bool manager_running = false;

// SANE running for one routine: started (and stopped again) here unless the
// source manager already runs.
class SaneRunning {
public:
    SaneRunning()
    {
        if (manager_running) return;
        SANE_Int version = 0;
        own_ = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
    }
    ~SaneRunning()
    {
        if (own_) sane_exit();
    }
    SaneRunning(const SaneRunning&) = delete;
    SaneRunning& operator=(const SaneRunning&) = delete;

    bool running() const { return manager_running || own_; }

private:
    bool own_ = false;
};

// A zero-filled working record whose pixels are freed at scope exit.
class Record {
public:
    Record() = default;
    ~Record() { zarn::release_image(&pic_); }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    PicImage* get() { return &pic_; }

private:
    PicImage pic_{};
};

// The stored source's index while it is present, else the first device's.
std::size_t source_index(const Host& host, const std::vector<Source>& sources)
{
    const std::string stored = host.stored_source();
    for (std::size_t i = 0; i < sources.size(); ++i)
        if (sources[i].name == stored) return i;
    return 0;
}

// A device name from the settings file goes to sane_open only with a plain
// backend name before its first ':', as SANE loads a library by that name.
bool plain_backend(const std::string& name)
{
    const std::size_t colon = name.find(':');
    if (colon == 0 || colon == std::string::npos) return false;
    return std::all_of(name.begin(), name.begin() + std::ptrdiff_t(colon), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

// The stored source is opened directly, sparing the search for devices
// (seconds with network backends); when it is gone, the first device found
// is taken.
int scan(const Host& host, PicImage* pic)
{
    const SaneRunning sane;
    if (!sane.running()) return kNoSource;
    const Host::WaitCursor waiting(host);
    const std::string stored = host.stored_source();
    if (plain_backend(stored)) {
        const ScanResult result = scan_image(stored, pic);
        if (result != ScanResult::kNotOpened) return result == ScanResult::kDone ? kAcquired : kScanFailed;
    }
    const std::vector<Source> sources = list_sources();
    if (sources.empty()) return kNoSource;
    return scan_image(sources.front().name, pic) == ScanResult::kDone ? kAcquired : kScanFailed;
}

// Nothing thrown leaves a routine: the host is C.
template <typename Work>
int guarded(int failure, Work&& work) noexcept
{
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

}  // namespace
}  // namespace eztw32

using namespace eztw32;

// In a widget host the user picks from the devices and the choice is
// stored for the acquisitions that follow; elsewhere the first device is
// taken, as it is by every acquisition without a stored choice.
EZTW32_EXPORT int TWAIN_SelectImageSource(void* window)
{
    return guarded(0, [&] {
        const Host host;
        const SaneRunning sane;
        if (!sane.running()) return 0;
        const std::vector<Source> sources = list_sources();
        if (sources.empty()) return 0;
        if (!host.has_widgets()) return 1;
        std::vector<std::string> labels;
        for (const Source& source : sources) labels.push_back(source.label);
        const std::optional<std::size_t> chosen = host.ask_for_source(window, labels, source_index(host, sources));
        if (!chosen) return 0;
        host.store_source(sources[*chosen].name);
        return 1;
    });
}

EZTW32_EXPORT int TWAIN_LoadSourceManager(void)
{
    return guarded(0, [] {
        if (!manager_running) {
            SANE_Int version = 0;
            manager_running = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
        }
        return manager_running ? 1 : 0;
    });
}

EZTW32_EXPORT int TWAIN_UnloadSourceManager(void)
{
    if (!manager_running) return 0;
    sane_exit();
    manager_running = false;
    return 1;
}

// Only a widget host has a clipboard to put the image on; without one
// nothing is scanned.
EZTW32_EXPORT int TWAIN_AcquireToClipboard(void*, int)
{
    return guarded(kNotDelivered, [] {
        const Host host;
        if (!host.has_widgets()) return int(kNotDelivered);
        Record pic;
        const int scanned = scan(host, pic.get());
        if (scanned != kAcquired) return scanned;
        return host.put_on_clipboard(*pic.get()) ? int(kAcquired) : int(kNotDelivered);
    });
}

// The image is written as a Windows bitmap to exactly `path`, through the
// library's write path: the old file stays as it was unless the new one is
// complete.
EZTW32_EXPORT int TWAIN_AcquireToFilename(void*, const char* path, int)
{
    return guarded(kNotDelivered, [&] {
        if (!path || !*path) return int(kNotDelivered);
        const Host host;
        Record pic;
        const int scanned = scan(host, pic.get());
        if (scanned != kAcquired) return scanned;
        return zarn::write_bmp(path, pic.get()) ? int(kAcquired) : int(kNotDelivered);
    });
}
