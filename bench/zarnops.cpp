// A tiny driver for timing the library's file-to-file operations against peer tools.
// Usage: zarnops reduce|grey|dither|rotate|resize WxH|code N  in.bmp out.bmp
#include "zarngfx.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: zarnops reduce|grey|dither|rotate|resize WxH|code N in.bmp out.bmp\n");
        return 2;
    }
    const char* operation = argv[1];
    const bool with_argument = std::strcmp(operation, "resize") == 0 || std::strcmp(operation, "code") == 0;
    if (with_argument && argc < 5) return 2;
    const char* in = argv[with_argument ? 3 : 2];
    const char* out = argv[with_argument ? 4 : 3];

    PicImage pic;
    std::memset(&pic, 0, sizeof pic);
    if (std::strcmp(operation, "resize") == 0) {
        int width = 0, height = 0;
        if (std::sscanf(argv[2], "%dx%d", &width, &height) != 2) return 2;
        _bmpresize(in, out, &pic, width, height);
    } else {
        int code = -1;
        if (std::strcmp(operation, "reduce") == 0) code = 102;
        else if (std::strcmp(operation, "grey") == 0) code = 3;
        else if (std::strcmp(operation, "dither") == 0) code = 2;
        else if (std::strcmp(operation, "rotate") == 0) code = 0;
        else if (std::strcmp(operation, "code") == 0) code = std::atoi(argv[2]);
        else return 2;
        _bmprocess(in, out, &pic, code);
    }
    // The wrapper answers with the record either way; the written header
    // says whether it worked.
    return _checkbmp(out, &pic) ? 0 : 1;
}
