// Rules the image library and the Qt controls both follow: the private folder, the ceiling, the module loader.
#include "shared_rules.h"

#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn {
namespace {

bool file_exists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

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
    if (::lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) return {};
    if ((info.st_mode & 0077) != 0 && ::chmod(dir.c_str(), 0700) != 0) return {};
    return dir;
}

std::size_t max_image_bytes()
{
    constexpr std::size_t kDefault = std::size_t(1) << 30;
    const char* text = std::getenv("ZARN_MAX_IMAGE_BYTES");
    if (!text || !*text) return kDefault;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0' || value == 0) return kDefault;
    return static_cast<std::size_t>(value);
}

int codec_threads()
{
    if (const char* text = std::getenv("ZARN_THREADS"); text && *text) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (*end == '\0' && value >= 1 && value <= 64) return int(value);
    }
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    return cores < 1 ? 1 : cores > 8 ? 8 : int(cores);
}

std::string own_folder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&own_folder), &info) == 0 || !info.dli_fname) return {};
    std::string path = info.dli_fname;
    if (path.find('/') == std::string::npos) {
        // For the main program the system gives the name it was started by,
        // which has no folder when it was found through PATH.
        char self[4096];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) return {};
        path.assign(self, static_cast<std::size_t>(n));
    }
    return path.substr(0, path.rfind('/'));
}

bool Module::reset()
{
    void* handle = std::exchange(handle_, nullptr);
    return !handle || ::dlclose(handle) == 0;
}

void* Module::find(const char* symbol) const
{
    return handle_ ? ::dlsym(handle_, symbol) : nullptr;
}

Module open_module_file(const std::string& file_name)
{
    const std::string folder = own_folder();
    const std::string beside = folder + "/" + file_name;
    if (!folder.empty() && file_exists(beside)) {
        if (void* handle = ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return Module(handle);
    }
    // A bare name makes dlopen search RUNPATH, the cache and the system
    // folders; the current directory is not among them.
    return Module(::dlopen(file_name.c_str(), RTLD_NOW | RTLD_LOCAL));
}

}  // namespace zarn
