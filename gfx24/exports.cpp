// The dialog library's seven exports; each opens one window for the call.
#include "dialog_session.h"
#include "windows.h"
#include "zarngfx24.h"

using gfx24::runExport;

// The slide show, the full-screen show, the browser and the print preview
// open their windows here once they exist; until then they return at once.
extern "C" ZARNGFX24_EXPORT void _SlideShowImages(const char* folder, int delay, int force256, int loop, int valid_only,
                                       int beep)
{
    (void)folder, (void)delay, (void)force256, (void)loop, (void)valid_only, (void)beep;
}

extern "C" ZARNGFX24_EXPORT void _ShowImage(const char* path, int force256)
{
    (void)path, (void)force256;
}

// The buffer holds at least 256 bytes; nothing longer is ever written back.
extern "C" ZARNGFX24_EXPORT void _Pic_Browse(char* path)
{
    if (path) path[0] = '\0';
}

extern "C" ZARNGFX24_EXPORT void _Print_Preview(const char* path)
{
    (void)path;
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
