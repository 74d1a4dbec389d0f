/* zarngfx24: the dialog library's exports, one modal window each. */
#ifndef ZARNGFX24_H
#define ZARNGFX24_H

#if defined(ZARNGFX24_BUILDING)
#define ZARNGFX24_EXPORT __attribute__((visibility("default")))
#else
#define ZARNGFX24_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

ZARNGFX24_EXPORT void _SlideShowImages(const char* folder, int delay, int force256, int loop, int valid_only, int beep);
ZARNGFX24_EXPORT void _ShowImage(const char* path, int force256);
/* `path`: at least 256 bytes; on entry the start path, on return the chosen file or empty. */
ZARNGFX24_EXPORT void _Pic_Browse(char* path);
ZARNGFX24_EXPORT void _Print_Preview(const char* path);
/* 1 when the user pressed "Ok" and the BMP file was rewritten, else 0. */
ZARNGFX24_EXPORT int _SizeImage(const char* path);
ZARNGFX24_EXPORT int _AdjustImage(const char* path);
ZARNGFX24_EXPORT void _Copy_Image(const char* path);

#ifdef __cplusplus
}
#endif

#endif
