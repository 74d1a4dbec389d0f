// The library's platform layer: dlopen, the message handler and the private temporary folder.
#include "platform.h"

#include "zarngfx.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn {
namespace {

std::atomic<PicMessageHandler> message_handler{nullptr};

bool file_exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string library_dir()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&library_dir), &info) == 0 || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    if (path.find('/') == std::string::npos) {
        // The main program itself was named without a folder.
        char self[4096];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return {};
        path.assign(self, static_cast<std::size_t>(n));
    }
    return path.substr(0, path.rfind('/'));
}

void* load_module(const char* name)
{
    if (!name || !*name || std::strchr(name, '/')) return nullptr;
    const std::string file = std::string("lib") + name + ".so";
    const std::string beside = library_dir();
    if (!beside.empty() && file_exists(beside + "/" + file)) {
        if (void* module = ::dlopen((beside + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    }
    // A bare name makes dlopen search RUNPATH, the cache and the system
    // folders; the current directory is not among them.
    return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void free_module(void* module)
{
    if (module) ::dlclose(module);
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

std::string private_temp_dir()
{
    const char* base = std::getenv("TMPDIR");
    std::string dir = (base && *base == '/') ? base : "/tmp";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    dir += "/zarn-" + std::to_string(::getuid());

    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
    // Someone else may have made the name first: accept only our own real
    // folder that nobody else can enter.
    struct stat info {};
    if (::lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return {};
    if ((info.st_mode & 0077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return {};
    return dir;
}

}  // namespace zarn

extern "C" ZARNGFX_EXPORT void _Pic_SetMessageHandler(PicMessageHandler handler)
{
    zarn::message_handler.store(handler);
}
