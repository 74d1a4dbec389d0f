// TAdjuster24: the photo adjustment dialog.
#include "windows.h"

namespace gfx24 {
int AdjustImage(const char*) { return 0; }
}  // namespace gfx24
