// The scanner module's routines, which the image library's scanner exports look up by name.
#pragma once

#define EZTW32_EXPORT extern "C" __attribute__((visibility("default")))

// `window` is the host's top-level window (a QWidget or its native id); it
// only ever owns the module's dialog and is never dereferenced otherwise.
// `pixel_types` 0 takes whatever the device delivers.

// 1 when a source was chosen and stored, 0 when cancelled or there is none.
EZTW32_EXPORT int TWAIN_SelectImageSource(void* window);
// Starts SANE for the calls that follow: above 0 on success.
EZTW32_EXPORT int TWAIN_LoadSourceManager(void);
// Stops what TWAIN_LoadSourceManager started: 1 when it was running.
EZTW32_EXPORT int TWAIN_UnloadSourceManager(void);
// Scan one image from the chosen source: 0 on success, non-zero on failure.
EZTW32_EXPORT int TWAIN_AcquireToClipboard(void* window, int pixel_types);
EZTW32_EXPORT int TWAIN_AcquireToFilename(void* window, const char* path, int pixel_types);
