// Quarter turns and flips of JPEG files without decoding them again.
#include "zarngfx.h"

extern "C" ZARNGFX_EXPORT int _Pic_TurnJpegFile(const char*, int, int)
{
    return 0;
}
