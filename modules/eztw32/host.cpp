// Finding the Qt host: the helper module is loaded only where Qt Widgets already is.
#include "host.h"

#include "platform.h"

#include <dlfcn.h>

namespace eztw32 {
namespace {

bool qt_widgets_loaded()
{
    void* widgets = ::dlopen("libQt6Widgets.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (!widgets) return false;
    ::dlclose(widgets);
    return true;
}

using TableEntry = const QtHostTable* (*)();

}  // namespace

Host::Host()
{
    if (!qt_widgets_loaded()) return;
    module_ = zarn::open_module("eztw32_qt");
    if (const auto entry = module_.find_as<TableEntry>(EZTW32_QT_ENTRY)) table_ = entry();
}

}  // namespace eztw32
