// The viewer's private temporary folder, its working file name and the lock that marks the name as in use.
#include "private_temp.h"

#include "shared_rules.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace controls {
namespace {

constexpr QLatin1String kPrefix("zarn~");

QString lock_path_for(const QString& workingFile)
{
    QString path = workingFile;
    if (path.endsWith(QLatin1String(".bmp"))) path.chop(4);
    return path + QLatin1String(".lock");
}

// The name part a viewer's files share ("zarn~SSHH"), for the names a viewer
// and the image library make from it; empty for any other name.
QString owner_of(const QString& name)
{
    const bool hidden = name.startsWith('.');
    const QString rest = hidden ? name.mid(1) : name;
    if (!rest.startsWith(kPrefix)) return {};
    qsizetype end = kPrefix.size();
    while (end < rest.size() && rest.at(end) >= '0' && rest.at(end) <= '9') ++end;
    if (end == kPrefix.size()) return {};
    const QString owner = rest.left(end);
    const QString suffix = rest.mid(end);
    if (hidden) {
        // The library writes beside its destination as ".name.XXXXXX".
        const bool ours = suffix.startsWith(QLatin1String(".bmp.")) || suffix.startsWith(QLatin1String(".load.bmp."));
        return ours ? owner : QString();
    }
    const bool ours =
        suffix == QLatin1String(".bmp") || suffix == QLatin1String(".load.bmp") || suffix == QLatin1String(".lock");
    return ours ? owner : QString();
}

}  // namespace

QString privateTempDir()
{
    return QFile::decodeName(QByteArray::fromStdString(zarn::private_temp_dir()));
}

QString uniqueTempPath(const QString& folder, const QString& stem, const QString& suffix)
{
    if (folder.isEmpty()) return {};
    static std::atomic<unsigned> handed_out{0};
    const QString start = folder + '/' + stem + '-' + QString::number(::getpid()) + '-';
    // A name already there was left by a process of the same id that is
    // gone; it is passed over rather than taken.
    for (int attempt = 0;; ++attempt) {
        const QString path = start + QString::number(++handed_out) + suffix;
        struct stat info {};
        if (attempt >= 100 || ::lstat(QFile::encodeName(path).constData(), &info) != 0) return path;
    }
}

QString workingFileName(const QTime& time)
{
    return QString::asprintf("zarn~%02d%03d.bmp", time.second(), time.msec() / 10);
}

NameLock::NameLock(NameLock&& other) noexcept : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

NameLock& NameLock::operator=(NameLock&& other) noexcept
{
    if (this != &other) {
        release();
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool NameLock::take(const QString& lockPath)
{
    release();
    const QByteArray local = QFile::encodeName(lockPath);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(local.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return false;
        }
        // The last holder removes the file before letting go; a lock taken on
        // a file that no longer goes by the name holds nothing, so try again.
        struct stat locked {
        }, named{};
        if (::fstat(fd, &locked) == 0 && ::stat(local.constData(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino) {
            path_ = lockPath;
            fd_ = fd;
            return true;
        }
        ::close(fd);
    }
    errno = EAGAIN;
    return false;
}

void NameLock::release()
{
    if (fd_ < 0) return;
    ::unlink(QFile::encodeName(path_).constData());
    ::close(fd_);
    fd_ = -1;
    path_.clear();
}

Reservation reserveWorkingFile(const QString& folder, const QTime& time)
{
    Reservation reserved;
    if (folder.isEmpty()) return reserved;
    int hundredths = time.second() * 100 + time.msec() / 10;
    for (int attempt = 0; attempt < 6000; ++attempt, hundredths = (hundredths + 1) % 6000) {
        const QTime at(0, 0, hundredths / 100, (hundredths % 100) * 10);
        const QString path = folder + '/' + workingFileName(at);
        NameLock lock;
        if (!lock.take(lock_path_for(path))) {
            if (errno == EWOULDBLOCK || errno == EAGAIN) continue;  // another viewer's name
            return reserved;
        }
        // The name is ours now: whatever lies under it was left by a viewer
        // that is gone.
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return reserved;
        ::close(fd);
        reserved.path = path;
        reserved.lock = std::move(lock);
        return reserved;
    }
    return reserved;
}

void removeStaleWorkingFiles(const QString& folder)
{
    if (folder.isEmpty()) return;
    std::map<QString, QStringList> by_owner;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QString owner = owner_of(name);
        if (!owner.isEmpty()) by_owner[owner] << name;
    }
    for (const auto& [owner, files] : by_owner) {
        NameLock lock;
        if (!lock.take(folder + '/' + owner + QLatin1String(".lock"))) continue;  // a running viewer's
        for (const QString& file : files) {
            if (!file.endsWith(QLatin1String(".lock"))) QFile::remove(folder + '/' + file);
        }
    }  // letting go of the lock removes the lock file too
}

}  // namespace controls
