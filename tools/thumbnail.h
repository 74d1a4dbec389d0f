// zarnconv --thumbnail: one picture's thumbnail by the desktop thumbnail cache's rules.
#pragma once

#include "options.h"

namespace zarnconv {

// Writes the thumbnail of options.inputs[0] at options.thumbnail_size to
// options.output: 0 on success, else 1 with a message on standard error.
int make_thumbnail(const Options& options);

}  // namespace zarnconv
