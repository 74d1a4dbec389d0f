// The dialog library's seven exports; each opens one window for the call.
#include "dialog_session.h"
#include "windows.h"
#include "zarngfx24.h"

using gfx24::runExport;

extern "C" ZARNGFX24_EXPORT void _SlideShowImages(const char* folder, int delay, int force256, int loop, int valid_only,
                                                  int beep)
{
    if (!folder) return;
    runExport(0, [&] {
        gfx24::SlideShowImages(folder, delay, force256, loop, valid_only, beep);
        return 0;
    });
}

extern "C" ZARNGFX24_EXPORT void _ShowImage(const char* path, int force256)
{
    if (!path) return;
    runExport(0, [&] {
        gfx24::ShowImage(path, force256);
        return 0;
    });
}

// The buffer holds at least 256 bytes; nothing longer is ever written back,
// and whatever goes wrong it is left empty rather than half written.
extern "C" ZARNGFX24_EXPORT void _Pic_Browse(char* path)
{
    if (!path) return;
    const int chosen = runExport(0, [&] {
        gfx24::PicBrowse(path);
        return 1;
    });
    if (!chosen) path[0] = '\0';
}

extern "C" ZARNGFX24_EXPORT void _Print_Preview(const char* path)
{
    if (!path) return;
    runExport(0, [&] {
        gfx24::PrintPreview(path);
        return 0;
    });
}

extern "C" ZARNGFX24_EXPORT int _SizeImage(const char* path)
{
    if (!path) return 0;
    return runExport(0, [&] { return gfx24::SizeImage(path); });
}

extern "C" ZARNGFX24_EXPORT int _AdjustImage(const char* path)
{
    if (!path) return 0;
    return runExport(0, [&] { return gfx24::AdjustImage(path); });
}

extern "C" ZARNGFX24_EXPORT void _Copy_Image(const char* path)
{
    if (!path) return;
    runExport(0, [&] {
        gfx24::CopyImage(path);
        return 0;
    });
}
