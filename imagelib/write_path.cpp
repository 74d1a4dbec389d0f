// The shared write path: temporary file, checked close, rename.
#include "write_path.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn {
namespace {

constexpr std::size_t kStreamBuffer = 1 << 18;

// The process's umask, read without changing it (umask() itself would race
// with other threads creating files).
unsigned current_umask()
{
    if (FilePtr status{std::fopen("/proc/self/status", "r")}) {
        char line[256];
        while (std::fgets(line, sizeof line, status.get())) {
            if (std::strncmp(line, "Umask:", 6) == 0) return static_cast<unsigned>(std::strtoul(line + 6, nullptr, 8));
        }
    }
    return 022;
}

// Where a write really goes, and how: a link is followed so that its target
// is replaced rather than the link; an existing file that is no regular file
// (a device, a pipe) is written directly; otherwise a fresh temporary file
// beside the destination, to be renamed over it with the old file's mode.
struct Placement {
    std::string destination;
    bool direct = false;
    unsigned mode = 0644;
    int temporary_fd = -1;
    std::string temporary;
};

Placement place(const char* path)
{
    Placement placement;
    placement.destination = path;
    struct stat info {};
    if (::lstat(path, &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* target = ::realpath(path, nullptr)) {
            placement.destination = target;
            std::free(target);
        }
    }
    if (::stat(placement.destination.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            placement.direct = true;
            return placement;
        }
        placement.mode = info.st_mode & 07777;
    } else {
        placement.mode = 0666 & ~current_umask();
    }
    const std::string& destination = placement.destination;
    const std::size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : destination.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    placement.temporary_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (placement.temporary_fd >= 0) placement.temporary = pattern;
    return placement;
}

}  // namespace

OutputFile::OutputFile(const char* path, PicImage* pic) : pic_(pic)
{
    if (!path || !*path) return;
    Placement placement = place(path);
    destination_ = placement.destination;
    if (placement.direct) {
        stream_ = std::fopen(destination_.c_str(), "wb");
        if (stream_) pic_->out_file = stream_;
        return;
    }
    if (placement.temporary_fd < 0) return;
    mode_ = placement.mode;
    temporary_ = placement.temporary;
    stream_ = ::fdopen(placement.temporary_fd, "wb");
    if (!stream_) {
        ::close(placement.temporary_fd);
        ::unlink(temporary_.c_str());
        temporary_.clear();
        return;
    }
    // glibc ignores the size unless it is handed the buffer itself.
    buffer_ = std::make_unique_for_overwrite<char[]>(kStreamBuffer);
    std::setvbuf(stream_, buffer_.get(), _IOFBF, kStreamBuffer);
    pic_->out_file = stream_;
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::write(std::span<const std::uint8_t> bytes)
{
    if (!stream_ || failed_) return false;
    if (bytes.empty()) return true;
    if (bytes.size() < kStreamBuffer / 2) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) failed_ = true;
        return !failed_;
    }
    // A large block goes to the system as it is, after what the stream
    // holds, rather than copied through the stream's buffer first.
    if (std::fflush(stream_) != 0) {
        failed_ = true;
        return false;
    }
    const int fd = ::fileno(stream_);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failed_ = true;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    // The stream learns its position again, for callers that seek on it;
    // on a pipe this fails and changes nothing.
    (void)::fseeko(stream_, 0, SEEK_CUR);
    return true;
}

bool OutputFile::u16le(std::uint16_t value)
{
    const std::uint8_t bytes[2] = {std::uint8_t(value), std::uint8_t(value >> 8)};
    return write(bytes);
}

bool OutputFile::u32le(std::uint32_t value)
{
    const std::uint8_t bytes[4] = {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
                                   std::uint8_t(value >> 24)};
    return write(bytes);
}

bool OutputFile::u16be(std::uint16_t value)
{
    const std::uint8_t bytes[2] = {std::uint8_t(value >> 8), std::uint8_t(value)};
    return write(bytes);
}

bool OutputFile::u32be(std::uint32_t value)
{
    const std::uint8_t bytes[4] = {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
                                   std::uint8_t(value)};
    return write(bytes);
}

bool OutputFile::commit()
{
    if (!stream_) return false;
    std::FILE* stream = stream_;
    stream_ = nullptr;
    pic_->out_file = nullptr;
    bool clean = !failed_ && std::fflush(stream) == 0 && !std::ferror(stream);
    if (clean && !temporary_.empty()) clean = ::fchmod(::fileno(stream), mode_) == 0;
    clean = (std::fclose(stream) == 0) && clean;
    if (temporary_.empty()) return clean;
    if (clean && ::rename(temporary_.c_str(), destination_.c_str()) == 0) {
        temporary_.clear();
        return true;
    }
    ::unlink(temporary_.c_str());
    temporary_.clear();
    return false;
}

void OutputFile::discard()
{
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
        pic_->out_file = nullptr;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

TemporaryPath::TemporaryPath(const char* path)
{
    if (!path || !*path) return;
    Placement placement = place(path);
    destination_ = placement.destination;
    mode_ = placement.mode;
    if (placement.direct) {
        direct_ = true;
        name_ = destination_;
        return;
    }
    if (placement.temporary_fd < 0) return;
    ::close(placement.temporary_fd);
    name_ = placement.temporary;
}

TemporaryPath::~TemporaryPath()
{
    if (!direct_ && !name_.empty()) ::unlink(name_.c_str());
}

bool TemporaryPath::commit()
{
    if (name_.empty()) return false;
    if (direct_) return true;
    const bool placed = ::chmod(name_.c_str(), mode_) == 0 && ::rename(name_.c_str(), destination_.c_str()) == 0;
    if (!placed) ::unlink(name_.c_str());
    name_.clear();
    return placed;
}

}  // namespace zarn
