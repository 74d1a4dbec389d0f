// The image library loaded at run time by the controls that bind to it by name.
#include "zarngfx_module.h"

namespace controls {

std::string ownFolder()
{
    return zarn::own_folder();
}

bool ZarngfxModule::load()
{
    if (!module_) module_ = zarn::open_module_file("libzarngfx.so");
    return static_cast<bool>(module_);
}

}  // namespace controls
