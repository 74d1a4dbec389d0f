/* The zarnmeta module: EXIF, XMP and IPTC of picture files, through exiv2.
   Loaded by name (libzarnmeta.so); every routine catches everything inside. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define ZARNMETA_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define ZARNMETA_EXPORT __attribute__((visibility("default")))
#endif

/* _Meta_Copy's flags */
#define ZARN_META_WITH_PROFILE 1     /* also the source's ICC profile */
#define ZARN_META_KEEP_ORIENTATION 2 /* the pixels are as stored: keep the source's orientation tag */

/* Copies the source's EXIF, XMP and IPTC into the written target: orientation 1,
   pixel dimensions width x height, no EXIF thumbnail. 1 when something was
   copied, 0 otherwise (the target is then untouched). */
ZARNMETA_EXPORT int _Meta_Copy(const char* source, const char* target, int32_t width, int32_t height, int flags);

/* The panel's entries as "Label\tValue\n" lines into buffer (NUL-terminated
   when size > 0); the length the whole text needs, without the NUL. */
ZARNMETA_EXPORT size_t _Meta_Describe(const char* path, char* buffer, size_t size);
