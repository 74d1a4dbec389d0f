// A tiny driver for timing the lossless JPEG turn against jpegtran: turns the file in place.
// Usage: zarnturn right|left|flip [--trim] file.jpg
#include "zarngfx.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    const bool trim = argc == 4 && std::strcmp(argv[2], "--trim") == 0;
    if (argc != (trim ? 4 : 3)) {
        std::fprintf(stderr, "usage: zarnturn right|left|flip [--trim] file.jpg\n");
        return 2;
    }
    const char* turn = argv[1];
    const int code = std::strcmp(turn, "right") == 0  ? 1
                     : std::strcmp(turn, "left") == 0 ? 2
                     : std::strcmp(turn, "flip") == 0 ? 3
                                                      : 0;
    if (code == 0) return 2;
    const int result = _Pic_TurnJpegFile(argv[argc - 1], code, trim ? 1 : 0);
    if (result < 0) std::fprintf(stderr, "zarnturn: the edges do not fill whole blocks (try --trim)\n");
    return result == 1 ? 0 : 1;
}
