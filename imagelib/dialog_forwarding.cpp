// The _Win* exports: each loads the dialog library for one call, runs one of its windows and unloads it.
#include "platform.h"
#include "zarngfx.h"

namespace zarn {
namespace {

struct DialogCall {
    bool loaded = false;
    bool found = false;
    bool unloaded = false;
    int result = 0;
};

// Loads the dialog library, calls `routine` through `call` when it is there,
// and unloads the library again: nothing of it stays between calls.
template <typename Routine, typename Call>
DialogCall call_dialog(const char* routine, Call call)
{
    DialogCall done;
    Module module = open_module("zarngfx24");
    if (!module) return done;
    done.loaded = true;
    if (const auto found = module.find_as<Routine>(routine)) {
        done.found = true;
        done.result = call(found);
    }
    done.unloaded = module.reset();
    return done;
}

// The windows without a result report whether the library was loaded and unloaded.
int unload_result(const DialogCall& done)
{
    return done.loaded && done.unloaded ? 1 : 0;
}

using SlideShowRoutine = void (*)(const char*, int, int, int, int, int);
using PathRoutine = void (*)(const char*);
using ShowRoutine = void (*)(const char*, int);
using ResultRoutine = int (*)(const char*);
using BrowseRoutine = void (*)(char*);

}  // namespace
}  // namespace zarn

using namespace zarn;

extern "C" ZARNGFX_EXPORT int _WinSlideShow(const char* folder, int delay, int force256, int loop, int valid_only,
                                            int beep)
{
    return unload_result(call_dialog<SlideShowRoutine>("_SlideShowImages", [&](SlideShowRoutine show) {
        show(folder, delay, force256, loop, valid_only, beep);
        return 0;
    }));
}

extern "C" ZARNGFX_EXPORT int _WinImagePrint(const char* path)
{
    return unload_result(call_dialog<PathRoutine>("_Print_Preview", [&](PathRoutine print) {
        print(path);
        return 0;
    }));
}

extern "C" ZARNGFX_EXPORT int _WinImageCopy(const char* path)
{
    return unload_result(call_dialog<PathRoutine>("_Copy_Image", [&](PathRoutine copy) {
        copy(path);
        return 0;
    }));
}

extern "C" ZARNGFX_EXPORT int _WinImageShow(const char* path, int force256)
{
    return unload_result(call_dialog<ShowRoutine>("_ShowImage", [&](ShowRoutine show) {
        show(path, force256);
        return 0;
    }));
}

extern "C" ZARNGFX_EXPORT int _WinImageSize(const char* path)
{
    return call_dialog<ResultRoutine>("_SizeImage", [&](ResultRoutine size) { return size(path); }).result;
}

extern "C" ZARNGFX_EXPORT int _WinImageAdjust(const char* path)
{
    return call_dialog<ResultRoutine>("_AdjustImage", [&](ResultRoutine adjust) { return adjust(path); }).result;
}

// The buffer is the caller's, at least 256 bytes: the start path on entry,
// the chosen file or an empty text on return. Left alone when the library
// or its routine is missing.
extern "C" ZARNGFX_EXPORT int _WinImageBrowse(char* path)
{
    if (!path) return 0;
    const DialogCall done = call_dialog<BrowseRoutine>("_Pic_Browse", [&](BrowseRoutine browse) {
        browse(path);
        return 0;
    });
    return done.found && path[0] != '\0' ? 1 : 0;
}
