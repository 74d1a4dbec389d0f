// zarnconv --thumbnail SIZE IN OUT: what a desktop thumbnailer entry runs for a file manager.
#include "thumbnail.h"

#include "zarngfx.h"

#include <cstdio>

namespace zarnconv {

int make_thumbnail(const Options& options)
{
    const char* input = options.inputs.front().c_str();
    const char* output = options.output.c_str();
    if (_Pic_WriteThumbnail(input, options.thumbnail_size, output)) return 0;
    const char* reason = _Pic_FailureText();
    std::fprintf(stderr, "zarnconv: no thumbnail of '%s' written to '%s': %s\n", input, output,
                 *reason ? reason : "it could not be made");
    return 1;
}

}  // namespace zarnconv
