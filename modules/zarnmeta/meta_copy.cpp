// _Meta_Copy: a photo's EXIF, XMP and IPTC written into a converted or saved copy of it, through a temporary
// copy of the target that replaces it only once exiv2 has written it whole.
#include "meta_file.h"
#include "zarnmeta.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zarn::meta {
namespace {

// IFD0 tags that describe how a TIFF stores its pixels, and the places of
// the metadata kinds exiv2 carries separately (XMP, IPTC, the ICC profile).
// A TIFF or raw source's values would describe the wrong pixels in the
// target, and a TIFF target has its own.
constexpr std::uint16_t kStructureTags[] = {
    0x00fe, 0x00ff, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010a, 0x0111,
    0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011c, 0x0122, 0x0123, 0x0124, 0x0125, 0x012d, 0x013d,
    0x0140, 0x0141, 0x0142, 0x0143, 0x0144, 0x0145, 0x014a, 0x014c, 0x0150, 0x0151, 0x0152, 0x0153,
    0x0154, 0x0155, 0x0156, 0x015b, 0x0200, 0x0201, 0x0202, 0x0203, 0x0205, 0x0206, 0x0207, 0x0208,
    0x0209, 0x0211, 0x0212, 0x0214, 0x02bc, 0x828d, 0x828e, 0x83bb, 0x8649, 0x8773, 0x9216, 0x9217,
};
// DNGVersion (0xc612) onwards: a raw file's description of its sensor data.
constexpr std::uint16_t kFirstRawTag = 0xc612;
constexpr std::uint16_t kLastRawTag = 0xc7ff;

bool is_structure(const Exiv2::Exifdatum& datum)
{
    if (datum.groupName() != "Image") return false;
    const std::uint16_t tag = datum.tag();
    if (tag >= kFirstRawTag && tag <= kLastRawTag) return true;
    return std::ranges::find(kStructureTags, tag) != std::end(kStructureTags);
}

// The photo's own description travels: IFD0 without the structure, the
// Exif, GPS and interoperability IFDs and the maker's notes. Thumbnails,
// previews and a raw file's other images stay behind.
bool travels(const Exiv2::Exifdatum& datum)
{
    const std::string group = datum.groupName();
    if (group == "Image") return !is_structure(datum);
    return group == "Photo" || group == "GPSInfo" || group == "Iop" || Exiv2::ExifTags::isMakerGroup(group);
}

template <typename Data, typename Key>
bool has(const Data& data, const char* key)
{
    return data.findKey(Key(key)) != data.end();
}

struct Carried {
    Exiv2::ExifData exif;
    Exiv2::XmpData xmp;
    Exiv2::IptcData iptc;
    Exiv2::DataBuf profile;
    bool empty() const { return exif.empty() && xmp.empty() && iptc.empty() && profile.size_ <= 0; }
};

// What the source gives the target, with the orientation and size made
// those of the written picture.
Carried carried_from(Exiv2::Image& source, std::int32_t width, std::int32_t height, int flags)
{
    Carried carried;
    for (const Exiv2::Exifdatum& datum : source.exifData())
        if (travels(datum)) carried.exif.add(datum);
    Exiv2::ExifThumb(carried.exif).erase();
    carried.xmp = source.xmpData();
    carried.iptc = source.iptcData();
    if ((flags & ZARN_META_WITH_PROFILE) && source.iccProfileDefined()) {
        const Exiv2::DataBuf* profile = source.iccProfile();
        carried.profile.alloc(profile->size_);
        std::copy_n(profile->pData_, profile->size_, carried.profile.pData_);
    }

    Exiv2::ExifData& exif = carried.exif;
    Exiv2::XmpData& xmp = carried.xmp;
    if (!(flags & ZARN_META_KEEP_ORIENTATION)) {
        if (has<Exiv2::ExifData, Exiv2::ExifKey>(exif, "Exif.Image.Orientation"))
            exif["Exif.Image.Orientation"] = std::uint16_t(1);
        if (has<Exiv2::XmpData, Exiv2::XmpKey>(xmp, "Xmp.tiff.Orientation")) xmp["Xmp.tiff.Orientation"] = "1";
    }
    if (width > 0 && height > 0) {
        if (!exif.empty()) {
            exif["Exif.Photo.PixelXDimension"] = std::uint32_t(width);
            exif["Exif.Photo.PixelYDimension"] = std::uint32_t(height);
        }
        const std::pair<const char*, std::int32_t> sizes[] = {
            {"Xmp.exif.PixelXDimension", width},
            {"Xmp.exif.PixelYDimension", height},
            {"Xmp.tiff.ImageWidth", width},
            {"Xmp.tiff.ImageLength", height},
        };
        for (const auto& [key, value] : sizes)
            if (has<Exiv2::XmpData, Exiv2::XmpKey>(xmp, key)) xmp[key] = std::to_string(value);
    }
    return carried;
}

// A copy of the target beside it, private until commit() renames it over
// the target with the target's mode; removed unless committed.
class TargetCopy {
public:
    ~TargetCopy()
    {
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    bool make(const std::string& target)
    {
        char resolved[PATH_MAX];
        if (!::realpath(target.c_str(), resolved)) return false;
        target_ = resolved;
        const int in = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) return false;
        struct stat info {};
        bool copied = ::fstat(in, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileBytes;
        mode_ = info.st_mode & 07777;
        const std::size_t slash = target_.rfind('/');
        std::string name = target_.substr(0, slash + 1) + "." + target_.substr(slash + 1) + ".XXXXXX";
        const int out = copied ? ::mkostemp(name.data(), O_CLOEXEC) : -1;
        if (out >= 0) path_ = name;
        copied = copied && out >= 0 && copy_bytes(in, out);
        if (out >= 0 && ::close(out) != 0) copied = false;
        ::close(in);
        return copied;
    }

    const std::string& path() const { return path_; }

    bool commit()
    {
        if (::chmod(path_.c_str(), mode_) != 0 || ::rename(path_.c_str(), target_.c_str()) != 0) return false;
        path_.clear();
        return true;
    }

private:
    static bool copy_bytes(int in, int out)
    {
        std::vector<char> block(1 << 16);
        for (;;) {
            const ssize_t got = ::read(in, block.data(), block.size());
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return false;
            if (got == 0) return true;
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::write(out, block.data() + done, std::size_t(got - done));
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) return false;
                done += put;
            }
        }
    }

    std::string target_;
    std::string path_;
    mode_t mode_ = 0644;
};

bool can_write(const Exiv2::Image& image, Exiv2::MetadataId kind)
{
    return (image.checkMode(kind) & Exiv2::amWrite) != 0;
}

int copy_metadata(const std::string& source_path, const std::string& target_path, std::int32_t width,
                  std::int32_t height, int flags)
{
    const auto lock = lock_exiv2();
    const std::unique_ptr<Exiv2::Image> source = open_image(source_path);
    if (!source) return 0;
    Carried carried = carried_from(*source, width, height, flags);
    if (carried.empty()) return 0;

    TargetCopy copy;
    if (!copy.make(target_path)) return 0;
    std::unique_ptr<Exiv2::Image> target = open_image(copy.path());
    if (!target) return 0;
    bool changed = false;
    if (!carried.exif.empty() && can_write(*target, Exiv2::mdExif)) {
        // A TIFF keeps the tags that describe its own pixels.
        if (target->imageType() == Exiv2::ImageType::tiff)
            for (const Exiv2::Exifdatum& datum : target->exifData())
                if (datum.groupName() == "Image" &&
                    carried.exif.findKey(Exiv2::ExifKey(datum.key())) == carried.exif.end())
                    carried.exif.add(datum);
        target->setExifData(carried.exif);
        changed = true;
    }
    if (!carried.xmp.empty() && can_write(*target, Exiv2::mdXmp)) {
        target->setXmpData(carried.xmp);
        changed = true;
    }
    if (!carried.iptc.empty() && can_write(*target, Exiv2::mdIptc)) {
        target->setIptcData(carried.iptc);
        changed = true;
    }
    // exiv2's table of formats says nothing of profiles: those it writes are
    // those it writes XMP into.
    if (carried.profile.size_ > 0 && can_write(*target, Exiv2::mdXmp)) {
        target->setIccProfile(carried.profile, true);
        changed = true;
    }
    if (!changed) return 0;
    target->writeMetadata();
    target.reset();
    return copy.commit() ? 1 : 0;
}

}  // namespace
}  // namespace zarn::meta

ZARNMETA_EXPORT int _Meta_Copy(const char* source, const char* target, int32_t width, int32_t height, int flags)
{
    if (!source || !target) return 0;
    try {
        return zarn::meta::copy_metadata(source, target, width, height, flags);
    } catch (...) {
        return 0;
    }
}
