// Setting exiv2 up once and opening files through it with their size checked first.
#include "meta_file.h"

#include <sys/stat.h>

namespace zarn::meta {

std::unique_lock<std::mutex> lock_exiv2()
{
    static std::mutex mutex;
    std::unique_lock lock(mutex);
    static const bool ready = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
#ifdef EXV_ENABLE_BMFF
        // HEIF, AVIF and CR3 photos, which exiv2 0.27 reads only when asked to.
        Exiv2::enableBMFF(true);
#endif
        return true;
    }();
    (void)ready;
    return lock;
}

std::unique_ptr<Exiv2::Image> open_image(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    if (info.st_size <= 0 || info.st_size > kMaxFileBytes) return nullptr;
    try {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        std::unique_ptr<Exiv2::Image> image(Exiv2::ImageFactory::open(path, false).release());
#pragma GCC diagnostic pop
        if (!image || !image->good()) return nullptr;
        image->readMetadata();
        return image;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace zarn::meta
