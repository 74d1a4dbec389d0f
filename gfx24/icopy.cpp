// TImCopy: the copy dialog.
#include "windows.h"

namespace gfx24 {
void CopyImage(const char*) {}
}  // namespace gfx24
