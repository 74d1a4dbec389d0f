// zarnconv: converts image files between the library's formats.
#include "zarngfx.h"

int main() { return 0; }
