// Loading zarnmeta once, and its two routines in C++ terms.
#include "metadata_module.h"

#include "shared_rules.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace zarn {
namespace {

using CopyRoutine = int (*)(const char*, const char*, std::int32_t, std::int32_t, int);
using DescribeRoutine = std::size_t (*)(const char*, char*, std::size_t);
constexpr int kWithProfile = 1;      // ZARN_META_WITH_PROFILE
constexpr int kKeepOrientation = 2;  // ZARN_META_KEEP_ORIENTATION

struct MetadataModule {
    Module module;
    CopyRoutine copy = nullptr;
    DescribeRoutine describe = nullptr;
};

// Loaded on first use and kept for the life of the process.
const MetadataModule& metadata_module()
{
    static MetadataModule* loaded = [] {
        auto* result = new MetadataModule;
        result->module = open_module_file("libzarnmeta.so");
        result->copy = result->module.find_as<CopyRoutine>("_Meta_Copy");
        result->describe = result->module.find_as<DescribeRoutine>("_Meta_Describe");
        return result;
    }();
    return *loaded;
}

// Files whose first bytes name a format that has no place for EXIF, XMP
// or IPTC (BMP, GIF, the netpbm family, PCX, IFF): a conversion between
// those need not load the module and exiv2, which cost more than the rest
// of converting a small picture.
bool has_no_metadata(const std::string& path)
{
    unsigned char head[4] = {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return true;
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (got < sizeof head) return true;
    return (head[0] == 'B' && head[1] == 'M') || std::memcmp(head, "GIF8", 4) == 0 ||
           (head[0] == 'P' && head[1] >= '1' && head[1] <= '7') || (head[0] == 0x0A && head[1] <= 5 && head[2] == 1) ||
           std::memcmp(head, "FORM", 4) == 0;
}

}  // namespace

bool metadata_available()
{
    return metadata_module().copy != nullptr;
}

bool copy_metadata(const std::string& source, const std::string& target, std::int32_t width, std::int32_t height,
                   MetadataProfile profile, bool keep_orientation)
{
    if (has_no_metadata(source) || has_no_metadata(target)) return false;
    const CopyRoutine copy = metadata_module().copy;
    if (!copy) return false;
    const int flags = (profile == MetadataProfile::Copy ? kWithProfile : 0) | (keep_orientation ? kKeepOrientation : 0);
    return copy(source.c_str(), target.c_str(), width, height, flags) != 0;
}

std::vector<std::pair<std::string, std::string>> describe_metadata(const std::string& path)
{
    std::vector<std::pair<std::string, std::string>> entries;
    const DescribeRoutine describe = metadata_module().describe;
    if (!describe) return entries;
    const std::size_t needed = describe(path.c_str(), nullptr, 0);
    if (needed == 0 || needed > (1u << 20)) return entries;
    std::string text(needed + 1, '\0');
    describe(path.c_str(), text.data(), text.size());
    text.resize(needed);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::size_t tab = text.find('\t', at);
        if (tab != std::string::npos && tab < end)
            entries.emplace_back(text.substr(at, tab - at), text.substr(tab + 1, end - tab - 1));
        at = end + 1;
    }
    return entries;
}

}  // namespace zarn
