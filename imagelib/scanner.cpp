// The scanner exports: each loads the eztw32 module for one call, runs one of its routines and frees it again.
#include "platform.h"
#include "zarngfx.h"

namespace zarn {
namespace {

using SelectRoutine = int (*)(void* window);
using ManagerRoutine = int (*)();
using ClipboardRoutine = int (*)(void* window, int pixel_types);
using FileRoutine = int (*)(void* window, const char* path, int pixel_types);

constexpr const char* kModule = "eztw32";
constexpr int kNotAcquired = -1;

// Loads the module, starts its source manager and, only when that reports
// more than 0, calls the acquire routine through `acquire`. The manager is
// stopped and the module freed on every path, an exception from any routine
// included. 1 exactly when the acquire routine returned 0.
template <typename Routine, typename Call>
int acquire_with(const char* routine, Call acquire) noexcept
{
    const Module module = open_module(kModule);
    if (!module) return 0;
    const auto load = module.find_as<ManagerRoutine>("TWAIN_LoadSourceManager");
    const auto unload = module.find_as<ManagerRoutine>("TWAIN_UnloadSourceManager");
    if (!load || !unload) return 0;
    int acquired = kNotAcquired;
    try {
        if (load() > 0) {
            if (const auto found = module.find_as<Routine>(routine)) acquired = acquire(found);
        }
    } catch (...) {
        acquired = kNotAcquired;
    }
    try {
        unload();
    } catch (...) {
    }
    return acquired == 0 ? 1 : 0;
}

}  // namespace
}  // namespace zarn

using namespace zarn;

extern "C" ZARNGFX_EXPORT int _SelectScanSource(void* window)
{
    const Module module = open_module(kModule);
    if (!module) return 0;
    int result = 0;
    try {
        if (const auto select = module.find_as<SelectRoutine>("TWAIN_SelectImageSource")) result = select(window);
    } catch (...) {
        result = 0;
    }
    return result;
}

extern "C" ZARNGFX_EXPORT int _ScanToClipboard(void* window)
{
    return acquire_with<ClipboardRoutine>("TWAIN_AcquireToClipboard",
                                          [&](ClipboardRoutine acquire) { return acquire(window, 0); });
}

extern "C" ZARNGFX_EXPORT int _ScanToFile(void* window, const char* path)
{
    if (!path) return 0;
    return acquire_with<FileRoutine>("TWAIN_AcquireToFilename",
                                     [&](FileRoutine acquire) { return acquire(window, path, 0); });
}
