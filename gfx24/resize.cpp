// TSizeIt: the resize dialog.
#include "windows.h"

namespace gfx24 {
int SizeImage(const char*) { return 0; }
}  // namespace gfx24
