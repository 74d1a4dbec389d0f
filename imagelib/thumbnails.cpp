// The desktop's shared thumbnail cache: names, freshness, fail entries and the exports over them.
#include "codecs.h"
#include "record.h"
#include "thumbnail_md5.h"
#include "thumbnail_picture.h"
#include "zarngfx.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <fcntl.h>
#include <map>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn {
namespace {

constexpr const char* kSoftware = "zarngfx";
constexpr const char* kFailFolder = "fail/zarn-show";
constexpr int kLargestSize = 1024;
constexpr std::uint32_t kMaxTextChunk = 1 << 16;
constexpr int kMaxChunks = 1 << 12;

// The cache's folders by size: each holds thumbnails up to its size.
struct SizeFolder {
    int size;
    const char* name;
};
constexpr SizeFolder kSizeFolders[] = {{128, "normal"}, {256, "large"}, {512, "x-large"}, {1024, "xx-large"}};

std::optional<SizeFolder> size_folder(int size)
{
    for (const SizeFolder& folder : kSizeFolders)
        if (size <= folder.size) return folder;
    return std::nullopt;
}

std::string home_folder()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
    char buffer[4096];
    passwd entry{}, *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

// $XDG_CACHE_HOME/thumbnails; a relative XDG_CACHE_HOME counts as unset.
std::string cache_root()
{
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
        return std::string(cache) + "/thumbnails";
    const std::string home = home_folder();
    return home.empty() ? std::string() : home + "/.cache/thumbnails";
}

// The path made absolute against the working folder, with "." and ".."
// taken out by name as the desktop's file URIs do, links left as they are.
std::string absolute_path(const char* path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return {};
    return absolute.lexically_normal().string();
}

// Bytes the desktop leaves as they are in a file URI's path: the unreserved
// characters, the sub-delimiters but ';', and ':', '@' and '/'.
bool plain_in_uri(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::strchr("-._~!$&'()*+,=:@/", c) != nullptr && c != '\0';
}

std::string file_uri(const std::string& absolute)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char byte : absolute) {
        const auto c = static_cast<unsigned char>(byte);
        if (plain_in_uri(c)) {
            uri += byte;
        } else {
            uri += '%';
            uri += kDigits[c >> 4];
            uri += kDigits[c & 0xFu];
        }
    }
    return uri;
}

std::uint32_t big_endian(const unsigned char* bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

using TextEntries = std::map<std::string, std::string>;

// Reads a file at any offset through one block of it, fetched with pread,
// so the usual cache entry, its text and then a few kilobytes of pixels,
// takes one call; no seek is made.
class BlockReader {
public:
    explicit BlockReader(int open_file) : descriptor(open_file) {}

    // The `length` bytes at `offset`; false when the file ends first.
    bool read(std::uint64_t offset, unsigned char* out, std::size_t length)
    {
        while (length > 0) {
            if (offset < base || offset - base >= filled) {
                if (offset > std::uint64_t(std::numeric_limits<off_t>::max())) return false;
                ssize_t got = 0;
                do {
                    got = ::pread(descriptor, block.data(), block.size(), off_t(offset));
                } while (got < 0 && errno == EINTR);
                if (got <= 0) return false;
                base = offset;
                filled = std::size_t(got);
            }
            const auto from = std::size_t(offset - base);
            const std::size_t count = std::min(length, filled - from);
            std::memcpy(out, block.data() + from, count);
            out += count;
            offset += count;
            length -= count;
        }
        return true;
    }

private:
    int descriptor;
    std::array<unsigned char, 16384> block{};
    std::uint64_t base = 0;
    std::size_t filled = 0;
};

// The tEXt entries of a PNG file, wherever they stand among its chunks;
// nothing when it is no PNG. Chunk lengths are checked, and no chunk is
// decompressed or read whole but the small text ones.
std::optional<TextEntries> png_text_entries(const std::string& path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{descriptor};
    BlockReader file(descriptor);
    static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[8];
    if (!file.read(0, head, 8) || std::memcmp(head, kSignature, 8) != 0) return std::nullopt;
    TextEntries entries;
    std::string data;
    std::uint64_t at = 8;
    for (int count = 0; count < kMaxChunks; ++count) {
        if (!file.read(at, head, 8)) break;
        const std::uint32_t length = big_endian(head);
        if (length > 0x7FFFFFFFu) break;
        if (std::memcmp(head + 4, "IEND", 4) == 0) break;
        if (std::memcmp(head + 4, "tEXt", 4) == 0 && length <= kMaxTextChunk) {
            data.resize(length);
            if (!file.read(at + 8, reinterpret_cast<unsigned char*>(data.data()), length)) break;
            const std::size_t nul = data.find('\0');
            if (nul != std::string::npos && nul > 0) entries.emplace(data.substr(0, nul), data.substr(nul + 1));
        }
        at += std::uint64_t(length) + 12;
    }
    return entries;
}

struct Original {
    std::string uri;
    std::string md5;
    std::int64_t mtime = 0;
    std::int64_t bytes = 0;
};

std::optional<Original> original_of(const char* path)
{
    struct stat info {};
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    const std::string absolute = absolute_path(path);
    if (absolute.empty()) return std::nullopt;
    Original original;
    original.uri = file_uri(absolute);
    original.md5 = md5_hex(original.uri);
    original.mtime = std::int64_t(info.st_mtime);
    original.bytes = std::int64_t(info.st_size);
    return original;
}

// A cached file stands for the original when it names the same URI and
// modification time, and the same byte size if it gives one.
bool fresh(const std::string& cached, const Original& original)
{
    const std::optional<TextEntries> entries = png_text_entries(cached);
    if (!entries) return false;
    const auto uri = entries->find("Thumb::URI");
    const auto mtime = entries->find("Thumb::MTime");
    if (uri == entries->end() || mtime == entries->end() || uri->second != original.uri) return false;
    if (mtime->second != std::to_string(original.mtime)) return false;
    const auto bytes = entries->find("Thumb::Size");
    return bytes == entries->end() || bytes->second == std::to_string(original.bytes);
}

// Every folder from the cache's parent down to `folder`, each one made 0700.
bool make_folders(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool make_private_folders(const std::string& root, const std::string& sub)
{
    const std::size_t slash = root.rfind('/');
    if (slash == std::string::npos || slash == 0) return false;
    const std::string parent = root.substr(0, slash);
    if (::access(parent.c_str(), F_OK) != 0) {
        if (!make_folders(parent)) return false;
        ::chmod(parent.c_str(), 0700);
    }
    std::string folder = root;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    std::size_t from = 0;
    while (from <= sub.size()) {
        const std::size_t end = std::min(sub.find('/', from), sub.size());
        folder += '/' + sub.substr(from, end - from);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
        from = end + 1;
    }
    return true;
}

struct Entries {
    std::vector<std::string> keys, values;
    void add(std::string key, std::string value)
    {
        keys.push_back(std::move(key));
        values.push_back(std::move(value));
    }
};

Entries thumbnail_entries(const Original& original, std::int32_t width, std::int32_t height)
{
    Entries entries;
    entries.add("Thumb::URI", original.uri);
    entries.add("Thumb::MTime", std::to_string(original.mtime));
    entries.add("Thumb::Size", std::to_string(original.bytes));
    if (width > 0 && height > 0) {
        entries.add("Thumb::Image::Width", std::to_string(width));
        entries.add("Thumb::Image::Height", std::to_string(height));
    }
    entries.add("Software", kSoftware);
    return entries;
}

int write_with_entries(const char* path, PicImage* pic, const Entries& entries)
{
    std::vector<const char*> keys, values;
    for (std::size_t i = 0; i < entries.keys.size(); ++i) {
        keys.push_back(entries.keys[i].c_str());
        values.push_back(entries.values[i].c_str());
    }
    return write_png_text(path, pic, keys.data(), values.data(), int(keys.size()));
}

// Writes the picture into the cache as `final_path`: to a private
// temporary (0600) in the same folder, then renamed over the old entry, so
// a reader in another thread or program never sees half a file.
bool write_cache_file(const std::string& final_path, PicImage* pic, const Entries& entries)
{
    std::string temporary = final_path + ".XXXXXX";
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) return false;
    ::close(descriptor);
    const bool written = write_with_entries(temporary.c_str(), pic, entries) != 0 &&
                         ::chmod(temporary.c_str(), 0600) == 0 && ::rename(temporary.c_str(), final_path.c_str()) == 0;
    if (!written) ::unlink(temporary.c_str());
    return written;
}

// The fail entry: a one-pixel PNG whose entries say which version of the
// original could not be read.
bool write_fail_entry(const std::string& root, const std::string& fail_path, const Original& original)
{
    if (!make_private_folders(root, kFailFolder)) return false;
    PicImage pic{};
    PixelBlock pixel = allocate_image(1, 1, 24);
    if (!pixel) return false;
    pic.width = pic.height = 1;
    pic.bits = 24;
    pic.pixels = pixel.release();
    const bool written = write_cache_file(fail_path, &pic, thumbnail_entries(original, 0, 0));
    release_image(&pic);
    return written;
}

bool copy_out(const std::string& path, char* out, int out_size)
{
    if (path.size() >= std::size_t(out_size)) return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

int thumbnail(const char* path, int size, bool make, char* out, int out_size)
{
    const std::optional<SizeFolder> folder = size_folder(size);
    const std::optional<Original> original = original_of(path);
    const std::string root = cache_root();
    if (!folder || !original || root.empty()) return 0;
    // Thumbnails of the cache's own files would feed on themselves.
    if (absolute_path(path).starts_with(root + '/')) return 0;

    const std::string name = original->md5 + ".png";
    const std::string cached = root + '/' + folder->name + '/' + name;
    if (fresh(cached, *original)) return copy_out(cached, out, out_size) ? 1 : 0;
    const std::string failed = root + '/' + kFailFolder + '/' + name;
    if (fresh(failed, *original)) return 2;
    if (!make) return 0;

    PicImage pic{};
    std::int32_t full_width = 0, full_height = 0;
    const bool read = read_thumbnail_picture(path, folder->size, &pic, full_width, full_height);
    bool written = false;
    if (read && make_private_folders(root, folder->name))
        written = write_cache_file(cached, &pic, thumbnail_entries(*original, full_width, full_height));
    release_image(&pic);
    if (written) return copy_out(cached, out, out_size) ? 1 : 0;
    // Only a picture that could not be read is marked; a cache that cannot
    // be written is tried again next time.
    if (!read && original_of(path)) write_fail_entry(root, failed, *original);
    return 0;
}

// Whether two names are one existing file.
bool same_file(const char* a, const char* b)
{
    struct stat first {
    }, second{};
    return ::stat(a, &first) == 0 && ::stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

int write_thumbnail(const char* path, int size, const char* png)
{
    const std::optional<Original> original = original_of(path);
    if (!original) {
        set_failure(Failure::FileNotFound);
        return 0;
    }
    if (same_file(path, png)) {
        set_failure(Failure::WriteFailed);
        return 0;
    }
    PicImage pic{};
    std::int32_t full_width = 0, full_height = 0;
    int written = 0;
    if (read_thumbnail_picture(path, size, &pic, full_width, full_height))
        written = write_with_entries(png, &pic, thumbnail_entries(*original, full_width, full_height));
    release_image(&pic);
    return written;
}

}  // namespace
}  // namespace zarn

extern "C" ZARNGFX_EXPORT int _Pic_Thumbnail(const char* path, int size, int make, char* out, int out_size)
{
    if (!out || out_size <= 0) return 0;
    out[0] = '\0';
    if (!path || !*path || size <= 0 || size > zarn::kLargestSize) return 0;
    return zarn::guarded([&] { return zarn::thumbnail(path, size, make != 0, out, out_size); });
}

extern "C" ZARNGFX_EXPORT int _Pic_WriteThumbnail(const char* path, int size, const char* png)
{
    if (!path || !png || !*png || size <= 0 || size > zarn::kLargestSize) return 0;
    return zarn::guarded([&] {
        zarn::begin_attempt();
        const int written = zarn::write_thumbnail(path, size, png);
        if (written) zarn::clear_failure();
        else if (zarn::last_failure() == zarn::Failure::None) zarn::set_failure(zarn::Failure::Unreadable);
        return written;
    });
}
