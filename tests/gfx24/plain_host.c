/* A program without Qt that opens the dialog library's windows through the
   image library, as any C host would. Each call prints one line: the result,
   and whether the dialog library is still mapped afterwards.
     plain_host copy FILE N     _WinImageCopy N times
     plain_host browse TEXT     _WinImageBrowse on a 256-byte buffer holding TEXT
     plain_host all FILE        every _Win* export once */
#include "zarngfx.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int dialog_library_mapped(void)
{
    FILE* maps = fopen("/proc/self/maps", "r");
    char line[4096];
    int found = 0;
    if (!maps) return -1;
    while (fgets(line, sizeof line, maps))
        if (strstr(line, "libzarngfx24.so")) found = 1;
    fclose(maps);
    return found;
}

static void report(const char* call, int result)
{
    printf("%s %d %d\n", call, result, dialog_library_mapped());
    fflush(stdout);
}

int main(int argc, char** argv)
{
    if (argc >= 4 && strcmp(argv[1], "copy") == 0) {
        const int times = atoi(argv[3]);
        for (int i = 0; i < times; ++i) report("copy", _WinImageCopy(argv[2]));
        return 0;
    }
    if (argc >= 3 && strcmp(argv[1], "browse") == 0) {
        char buffer[256];
        snprintf(buffer, sizeof buffer, "%s", argv[2]);
        report("browse", _WinImageBrowse(buffer));
        printf("buffer %s\n", buffer);
        return 0;
    }
    if (argc >= 3 && strcmp(argv[1], "all") == 0) {
        char buffer[256];
        snprintf(buffer, sizeof buffer, "%s", argv[2]);
        report("slide", _WinSlideShow(argv[2], 1, 0, 0, 1, 0));
        report("print", _WinImagePrint(argv[2]));
        report("size", _WinImageSize(argv[2]));
        report("copy", _WinImageCopy(argv[2]));
        report("show", _WinImageShow(argv[2], 0));
        report("browse", _WinImageBrowse(buffer));
        report("adjust", _WinImageAdjust(argv[2]));
        printf("buffer %s\n", buffer);
        return 0;
    }
    fprintf(stderr, "usage: plain_host copy FILE N | browse TEXT | all FILE\n");
    return 2;
}
