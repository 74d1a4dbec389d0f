// The viewer's private temporary folder and its working file name.
#include "private_temp.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace show {

QString privateTempDir()
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
    return QFile::decodeName(QByteArray::fromStdString(dir));
}

QString workingFileName(const QTime& time)
{
    return QString::asprintf("zarn~%02d%03d.bmp", time.second(), time.msec() / 10);
}

QString reserveWorkingFile(const QString& folder, const QTime& time)
{
    if (folder.isEmpty()) return {};
    int hundredths = time.second() * 100 + time.msec() / 10;
    for (int attempt = 0; attempt < 6000; ++attempt, hundredths = (hundredths + 1) % 6000) {
        const QTime at(0, 0, hundredths / 100, (hundredths % 100) * 10);
        const QString path = folder + '/' + workingFileName(at);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

}  // namespace show
