// TImageForm (placeholder until the window lands)
#include "browse.h"
#include "windows.h"

namespace gfx24 {
void PicBrowse(char* path) { path[0] = 0; }
}  // namespace gfx24
