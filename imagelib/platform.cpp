// The library's platform layer: modules by name and the message handler.
#include "platform.h"

#include "zarngfx.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>

namespace zarn {
namespace {

std::atomic<PicMessageHandler> message_handler{nullptr};

}  // namespace

Module open_module(const char* name)
{
    if (!name || !*name || std::strchr(name, '/')) return Module();
    return open_module_file(std::string("lib") + name + ".so");
}

void* load_module(const char* name)
{
    return open_module(name).release();
}

void free_module(void* module)
{
    Module{module}.reset();
}

void* find_export(void* module, const char* symbol)
{
    return module ? ::dlsym(module, symbol) : nullptr;
}

void show_message(const char* text, const char* caption)
{
    if (PicMessageHandler handler = message_handler.load()) {
        handler(text, caption);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

}  // namespace zarn

extern "C" ZARNGFX_EXPORT void _Pic_SetMessageHandler(PicMessageHandler handler)
{
    zarn::message_handler.store(handler);
}
