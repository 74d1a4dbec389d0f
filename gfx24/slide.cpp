// TSlideShow (placeholder until the window lands)
#include "slide.h"
#include "windows.h"

namespace gfx24 {
void SlideShowImages(const char*, int, int, int, int, int) {}
}  // namespace gfx24
