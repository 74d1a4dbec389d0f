// The image library loaded at run time by the controls that bind to it by name.
#pragma once

#include <string>

namespace controls {

// The folder of the program or library this code was linked into; empty
// when it cannot be told.
std::string ownFolder();

// "libzarngfx.so", from the folder of the code holding this control first,
// then through the system's search order. Unloaded on destruction.
class ZarngfxModule {
public:
    ZarngfxModule() = default;
    ~ZarngfxModule() { unload(); }
    ZarngfxModule(const ZarngfxModule&) = delete;
    ZarngfxModule& operator=(const ZarngfxModule&) = delete;

    // True when the library is loaded (now or before).
    bool load();
    void unload();
    bool isLoaded() const { return handle_ != nullptr; }

    // The named export, or null when the library is not loaded or lacks it.
    template <typename Function>
    Function find(const char* name) const
    {
        return reinterpret_cast<Function>(symbol(name));
    }

private:
    void* symbol(const char* name) const;
    void* handle_ = nullptr;
};

}  // namespace controls
