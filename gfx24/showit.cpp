// TImageShow (placeholder until the window lands)
#include "showit.h"
#include "windows.h"

namespace gfx24 {
void ShowImage(const char*, int) {}
}  // namespace gfx24
