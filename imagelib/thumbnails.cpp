// The desktop's shared thumbnail cache.
#include "zarngfx.h"

extern "C" ZARNGFX_EXPORT int _Pic_Thumbnail(const char*, int, int, char* out, int out_size)
{
    if (out && out_size > 0) out[0] = '\0';
    return 0;
}

extern "C" ZARNGFX_EXPORT int _Pic_WriteThumbnail(const char*, int, const char*)
{
    return 0;
}
