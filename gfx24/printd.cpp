// TPrintPreview (placeholder until the window lands)
#include "printd.h"
#include "windows.h"

namespace gfx24 {
void PrintPreview(const char*) {}
}  // namespace gfx24
