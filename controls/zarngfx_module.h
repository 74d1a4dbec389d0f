// The image library loaded at run time by the controls that bind to it by name.
#pragma once

#include "shared_rules.h"

#include <string>

namespace controls {

// The folder of the program or library this code was linked into, also for
// a program started by a bare name; empty when it cannot be told.
std::string ownFolder();

// "libzarngfx.so", from the folder of the code holding this control first,
// then through the system's search order. Unloaded on destruction.
class ZarngfxModule {
public:
    // True when the library is loaded (now or before).
    bool load();
    void unload() { module_.reset(); }
    bool isLoaded() const { return static_cast<bool>(module_); }

    // The named export, or null when the library is not loaded or lacks it.
    template <typename Function>
    Function find(const char* name) const
    {
        return module_.find_as<Function>(name);
    }

private:
    zarn::Module module_;
};

}  // namespace controls
