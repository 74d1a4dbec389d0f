// The image library loaded at run time by the controls that bind to it by name.
#include "zarngfx_module.h"

#include <dlfcn.h>
#include <string>
#include <sys/stat.h>

namespace controls {
std::string ownFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ownFolder), &info) == 0 || !info.dli_fname) return {};
    const std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool ZarngfxModule::load()
{
    if (handle_) return true;
    const std::string folder = ownFolder();
    struct stat info {};
    const std::string beside = folder + "/libzarngfx.so";
    if (!folder.empty() && ::stat(beside.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        handle_ = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) handle_ = ::dlopen("libzarngfx.so", RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

void ZarngfxModule::unload()
{
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

void* ZarngfxModule::symbol(const char* name) const
{
    return handle_ ? ::dlsym(handle_, name) : nullptr;
}

}  // namespace controls
