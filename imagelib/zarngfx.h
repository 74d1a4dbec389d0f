/* zarngfx: the image library's public C interface: the working record and every export. */
#ifndef ZARNGFX_H
#define ZARNGFX_H

#include <stdint.h>
#include <stdio.h>

#if defined(ZARNGFX_BUILDING)
#define ZARNGFX_EXPORT __attribute__((visibility("default")))
#else
#define ZARNGFX_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Called once per row as (row, height) by readers and writers, and in percent
   as (n, 100) by the colour reducer. It carries no context. */
typedef void (*PicProgress)(int32_t current, int32_t total);

/* Shows one message to the user; a host registers it with _Pic_SetMessageHandler.
   Without one the text goes to standard error. */
typedef void (*PicMessageHandler)(const char* text, const char* caption);

/* The working record. The caller owns it; every deliverable and outside module
   sees this exact layout, so fields keep their order and widths, with no gaps. */
typedef struct PicImage {
    int32_t width;              /* pixels per row */
    int32_t height;             /* number of rows */
    int32_t bits;               /* 1 packed monochrome, 2..8 one palette index per byte, 24 RGB */
    int32_t colours;            /* palette entries in use; 0 for 24-bit */
    FILE* in_file;              /* stream of the read in progress, else null */
    char description[80];       /* one line about the loaded image */
    unsigned char palette[768]; /* 256 entries of red, green, blue */
    void* spare_module;         /* released by release_image when set */
    void* tiff_module;          /* outside TIFF module kept by its reader */
    void* png_module;           /* outside PNG module kept by its reader */
    unsigned char* pixels;      /* top-down rows without padding, malloc'd */
    FILE* out_file;             /* stream of the write in progress, else null */
    void* colour_table;         /* the colour reducer's scratch table */
    PicProgress progress;       /* optional progress callback */
    void* extra_module;         /* released by release_image when set */
} PicImage;

/* Format table */
ZARNGFX_EXPORT int _Pic_Count(void);
ZARNGFX_EXPORT const char* _Pic_Description(int index);
ZARNGFX_EXPORT const char* _Pic_Pattern(int index);
ZARNGFX_EXPORT const char* _Pic_Extension(int index);
ZARNGFX_EXPORT const char* _Pic_Copyright(int index);
ZARNGFX_EXPORT const char* _Pic_GetSaveFormats(void);

/* Detection: a format code 1..16 or 100, 0 for unknown */
ZARNGFX_EXPORT int _Pic_ExtValid(const char* extension);
ZARNGFX_EXPORT int _Pic_Valid(const char* path);
ZARNGFX_EXPORT int _Pic_ValidExt(const char* path, int extension_only);

/* Reading, writing and conversion; non-zero means success */
ZARNGFX_EXPORT int _Pic_Read(const char* path, PicImage* pic, int pcd_resolution, int jpeg_scale);
ZARNGFX_EXPORT int _Pic_Write(char* path, PicImage* pic, int save_type, int quality);
ZARNGFX_EXPORT int _Pic_Convert(const char* in, const char* out, PicImage* pic, int pcd_resolution, int jpeg_scale,
                                int save_type, int quality);
ZARNGFX_EXPORT int _anytobmps(const char* in, const char* bmp, PicImage* pic, int pcd_resolution, int jpeg_scale);
ZARNGFX_EXPORT int _bmptoanys(const char* bmp, char* out, PicImage* pic, int save_type, int quality);
ZARNGFX_EXPORT int _checkbmp(const char* path, PicImage* pic);
/* The same as _anytobmps, but a 24-bit image is first ordered-dithered to 256
   colours (_anyto256) or turned into 8-bit greyscale (_anytogrey). */
ZARNGFX_EXPORT int _anyto256(const char* in, const char* bmp, PicImage* pic, int pcd_resolution, int jpeg_scale);
ZARNGFX_EXPORT int _anytogrey(const char* in, const char* bmp, PicImage* pic, int pcd_resolution, int jpeg_scale);

/* Why the last read, conversion or write in this thread failed, in a few
   lower-case words ("file not found", "not a BMP file", "file truncated"),
   or "" after a success. _Pic_WarningText says what a successful read had to
   make up ("file truncated, the rest filled in"), else "". */
ZARNGFX_EXPORT const char* _Pic_FailureText(void);
ZARNGFX_EXPORT const char* _Pic_WarningText(void);
/* 1 when the library has already shown the user a message of its own about
   the last failure (through the message handler), so the host need not. */
ZARNGFX_EXPORT int _Pic_FailureShown(void);

/* The frames of an animated picture (GIF, WebP, and AVIF and JPEG XL
   sequences), for playback; _Pic_Read keeps reading the first frame alone.
   _Pic_FramesOpen gives null when the file has fewer than two frames or
   cannot be read. _Pic_FramesNext puts the next frame, the whole canvas
   with earlier frames composited as the file asks and alpha laid over white,
   into `frame` as a 24-bit picture (its pixels freed and replaced), and its
   stored delay in milliseconds into `delay_ms`; after the last frame it
   starts again at the first. 0 when a frame cannot be decoded. */
typedef struct PicFrames PicFrames;
ZARNGFX_EXPORT PicFrames* _Pic_FramesOpen(const char* path);
ZARNGFX_EXPORT int _Pic_FramesNext(PicFrames* frames, PicImage* frame, int32_t* delay_ms);
ZARNGFX_EXPORT void _Pic_FramesClose(PicFrames* frames);

/* A quick reduced picture where the file carries one (a camera RAW's
   embedded preview), upright, into `pic`, and the upright size of the whole
   picture into `full_width` and `full_height`. 0 when the file has none. */
ZARNGFX_EXPORT int _Pic_ReadPreview(const char* path, PicImage* pic, int32_t* full_width, int32_t* full_height);

/* The desktop's shared thumbnail of `path` (the freedesktop thumbnail cache
   under $XDG_CACHE_HOME/thumbnails) at `size` 128 ("normal") or 256
   ("large"): the cached PNG's path into `out` (`out_size` bytes). With
   `make` 0 it only looks for a fresh one (same modification time); with 1 it
   makes one when it is missing or stale. 1: a thumbnail is at `out`; 0: none
   (not cached, or it could not be made: a fail entry is then written); 2: a
   fail entry says the file cannot be read. */
ZARNGFX_EXPORT int _Pic_Thumbnail(const char* path, int size, int make, char* out, int out_size);
/* A thumbnail of `path`, at most `size` pixels on its longer side, written to
   `png` by the cache's rules (its URI, modification time and size inside). */
ZARNGFX_EXPORT int _Pic_WriteThumbnail(const char* path, int size, const char* png);

/* Turns the JPEG file at `path` without decoding it again: `turn` 1 a
   quarter turn right, 2 left, 3 a flip. With `trim` 0 a picture whose edge
   blocks would be lost is left alone (-1); with 1 they are trimmed. The Exif
   orientation becomes 1, the other markers stay; the file is replaced
   through a temporary name. 1 done, 0 failed (the file untouched), -1 not
   perfect (untouched). */
ZARNGFX_EXPORT int _Pic_TurnJpegFile(const char* path, int turn, int trim);

/* In-memory processing of the record's pixels */
ZARNGFX_EXPORT void _Pic_Dither(PicImage* pic); /* 24-bit to the fixed 225-colour palette */
ZARNGFX_EXPORT int _Pic_RGB24(PicImage* pic);   /* palette kinds 4..8 to 24-bit; 0 when out of memory */
ZARNGFX_EXPORT void _Pic_Rotate(PicImage* pic); /* a quarter turn clockwise */
ZARNGFX_EXPORT int _Pic_Crop(PicImage* pic, int x, int y, int w, int h); /* 0 when refused */

/* BMP file to BMP file processing. Each reads the source, applies one
   operation, writes the destination (which may be the same file) and
   releases the record; the result is always the record. */
ZARNGFX_EXPORT PicImage* _bmpcrop(const char* source, const char* destination, PicImage* pic, int x, int y, int w,
                                  int h);
ZARNGFX_EXPORT PicImage* _bmprotate(const char* source, const char* destination, PicImage* pic, int angle);
ZARNGFX_EXPORT PicImage* _bmpresize(const char* source, const char* destination, PicImage* pic, int new_width,
                                    int new_height);
ZARNGFX_EXPORT PicImage* _bmpprocess(const char* source, const char* destination, PicImage* pic, int red, int green,
                                     int blue, int brightness, int contrast);
ZARNGFX_EXPORT PicImage* _bmpsharpen(const char* source, const char* destination, PicImage* pic, double amount);
ZARNGFX_EXPORT PicImage* _bmprocess(const char* source, const char* destination, PicImage* pic, int code);

/* The dialog library's windows, loaded for the one call. The four without a
   result of their own return whether the dialog library was loaded and
   unloaded; _WinImageSize and _WinImageAdjust return 1 when the user pressed
   "Ok" and the file was rewritten; _WinImageBrowse returns 1 when a file was
   chosen into `path` (a buffer of at least 256 bytes). All give 0 when the
   dialog library is missing. */
ZARNGFX_EXPORT int _WinSlideShow(const char* folder, int delay, int force256, int loop, int valid_only, int beep);
ZARNGFX_EXPORT int _WinImagePrint(const char* path);
ZARNGFX_EXPORT int _WinImageCopy(const char* path);
ZARNGFX_EXPORT int _WinImageShow(const char* path, int force256);
ZARNGFX_EXPORT int _WinImageSize(const char* path);
ZARNGFX_EXPORT int _WinImageAdjust(const char* path);
ZARNGFX_EXPORT int _WinImageBrowse(char* path);

/* The scanner, through the eztw32 module loaded for the one call. `window` is
   the caller's top-level window (a QWidget or its native id), the owner of
   the module's dialogs. _SelectScanSource returns 1 when a source was chosen;
   _ScanToClipboard and _ScanToFile return 1 when an image was acquired to the
   clipboard, or written as a Windows bitmap to `path`. All give 0 when the
   module is missing or the scan failed; a failed scan leaves `path` as it was. */
ZARNGFX_EXPORT int _SelectScanSource(void* window);
ZARNGFX_EXPORT int _ScanToClipboard(void* window);
ZARNGFX_EXPORT int _ScanToFile(void* window, const char* path);

/* The host's message box */
ZARNGFX_EXPORT void _Pic_SetMessageHandler(PicMessageHandler handler);

#ifdef __cplusplus
}

#include <cstddef>
static_assert(offsetof(PicImage, width) == 0);
static_assert(offsetof(PicImage, height) == 4);
static_assert(offsetof(PicImage, bits) == 8);
static_assert(offsetof(PicImage, colours) == 12);
static_assert(offsetof(PicImage, in_file) == 16);
static_assert(offsetof(PicImage, description) == 16 + sizeof(void*));
static_assert(offsetof(PicImage, palette) == offsetof(PicImage, description) + 80);
static_assert(offsetof(PicImage, spare_module) == offsetof(PicImage, palette) + 768);
static_assert(offsetof(PicImage, spare_module) % alignof(void*) == 0, "no gap before the handles");
static_assert(offsetof(PicImage, tiff_module) == offsetof(PicImage, spare_module) + sizeof(void*));
static_assert(offsetof(PicImage, png_module) == offsetof(PicImage, tiff_module) + sizeof(void*));
static_assert(offsetof(PicImage, pixels) == offsetof(PicImage, png_module) + sizeof(void*));
static_assert(offsetof(PicImage, out_file) == offsetof(PicImage, pixels) + sizeof(void*));
static_assert(offsetof(PicImage, colour_table) == offsetof(PicImage, out_file) + sizeof(void*));
static_assert(offsetof(PicImage, progress) == offsetof(PicImage, colour_table) + sizeof(void*));
static_assert(offsetof(PicImage, extra_module) == offsetof(PicImage, progress) + sizeof(void*));
static_assert(sizeof(PicImage) == offsetof(PicImage, extra_module) + sizeof(void*));
#endif

#endif
