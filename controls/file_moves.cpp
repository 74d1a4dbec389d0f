// Trash, rename, copy and move of picture files, never overwriting what the user did not agree to lose.
#include "file_moves.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QUrl>
#include <QVBoxLayout>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace controls {
namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

QString in_folder(const QString& path, const QString& folder)
{
    return QDir(folder).filePath(QFileInfo(path).fileName());
}

// A file descriptor closed on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

// `path` copied whole to a new temporary file in `folder` with the
// original's permissions; its name, or empty when anything failed.
QString copy_to_temporary(const QString& path, const QString& folder)
{
    Descriptor in(::open(native(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (in.get() < 0 || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    QByteArray pattern = native(QDir(folder).filePath(QLatin1Char('.') + QFileInfo(path).fileName() + ".XXXXXX"));
    Descriptor out(::mkostemp(pattern.data(), O_CLOEXEC));
    if (out.get() < 0) return {};
    const QString temporary = QFile::decodeName(pattern);
    std::vector<char> block(1 << 20);
    bool copied = true;
    for (;;) {
        const ssize_t got = ::read(in.get(), block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) copied = false;
        if (got <= 0) break;
        if (!write_all(out.get(), block.data(), static_cast<std::size_t>(got))) {
            copied = false;
            break;
        }
    }
    copied = copied && ::fchmod(out.get(), info.st_mode & 07777) == 0;
    copied = out.close() && copied;
    if (!copied) {
        ::unlink(pattern.constData());
        return {};
    }
    return temporary;
}

FileResult place_temporary(const QString& temporary, const QString& target, bool replace)
{
    const FileResult placed =
        replace ? (::rename(native(temporary).constData(), native(target).constData()) == 0 ? FileResult::Done
                                                                                            : FileResult::Failed)
                : renameNoReplace(temporary, target);
    if (placed != FileResult::Done) ::unlink(native(temporary).constData());
    return placed;
}

bool same_file(const QString& a, const QString& b)
{
    struct stat first {
    }, second{};
    return ::stat(native(a).constData(), &first) == 0 && ::stat(native(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

std::optional<TrashedFile> moveToTrash(const QString& path)
{
    QString in_trash;
    if (!QFile::moveToTrash(path, &in_trash) || in_trash.isEmpty()) return std::nullopt;
    return TrashedFile{QFileInfo(path).absoluteFilePath(), in_trash};
}

FileResult restoreFromTrash(const TrashedFile& trashed)
{
    const FileResult back = renameNoReplace(trashed.inTrash, trashed.original);
    if (back != FileResult::Done) return back;
    // The trash keeps its record beside "files", in "info".
    const QFileInfo lying(trashed.inTrash);
    const QString record = lying.dir().absoluteFilePath(QStringLiteral("../info/") + lying.fileName() + ".trashinfo");
    QFile::remove(QDir::cleanPath(record));
    return FileResult::Done;
}

FileResult renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = native(from), target = native(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return FileResult::Done;
    if (errno == EEXIST) return FileResult::Exists;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return FileResult::Failed;
    // A file system without the flag: a second link cannot take a name in use.
    if (::link(source.constData(), target.constData()) != 0)
        return errno == EEXIST ? FileResult::Exists : FileResult::Failed;
    if (::unlink(source.constData()) != 0) {
        ::unlink(target.constData());
        return FileResult::Failed;
    }
    return FileResult::Done;
}

FileResult copyIntoFolder(const QString& path, const QString& folder, bool replace)
{
    const QString target = in_folder(path, folder);
    if (same_file(path, target)) return FileResult::Failed;
    if (!replace && QFileInfo::exists(target)) return FileResult::Exists;
    const QString temporary = copy_to_temporary(path, folder);
    if (temporary.isEmpty()) return FileResult::Failed;
    return place_temporary(temporary, target, replace);
}

FileResult moveIntoFolder(const QString& path, const QString& folder, bool replace)
{
    const QString target = in_folder(path, folder);
    if (same_file(path, target)) return FileResult::Failed;
    const QByteArray source = native(path);
    if (replace) {
        if (::rename(source.constData(), native(target).constData()) == 0) return FileResult::Done;
    } else {
        const FileResult moved = renameNoReplace(path, target);
        if (moved != FileResult::Failed) return moved;
    }
    if (errno != EXDEV) return FileResult::Failed;
    const FileResult copied = copyIntoFolder(path, folder, replace);
    if (copied != FileResult::Done) return copied;
    return ::unlink(source.constData()) == 0 ? FileResult::Done : FileResult::Failed;
}

// Each folder percent-encoded, so the separator can never be part of one.
QStringList readDestinations(const QString& stored)
{
    QStringList folders;
    for (const QString& part : stored.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QString folder = QUrl::fromPercentEncoding(part.toLatin1());
        if (!folder.isEmpty() && !folders.contains(folder) && folders.size() < kDestinationCount) folders << folder;
    }
    return folders;
}

QString storedDestinations(const QStringList& destinations)
{
    QStringList parts;
    for (const QString& folder : destinations) parts << QString::fromLatin1(QUrl::toPercentEncoding(folder));
    return parts.join(QLatin1Char('|'));
}

QStringList withDestination(const QStringList& destinations, const QString& folder)
{
    QStringList folders{folder};
    for (const QString& other : destinations) {
        if (other != folder && folders.size() < kDestinationCount) folders << other;
    }
    return folders;
}

namespace {

// A Yes/No question, No the default, named for whoever looks for it.
bool ask(QWidget* parent, const char* name, const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QLatin1String(name));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace

bool confirmDeleteForGood(QWidget* parent, const QString& name)
{
    return ask(parent, "DeleteForGoodQuestion", QStringLiteral("Delete"),
               QStringLiteral("Delete ") + name + QStringLiteral(" for good?"));
}

std::optional<QString> askNewName(QWidget* parent, const QString& name)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("RenameDialog"));
    dialog.setWindowTitle(QStringLiteral("Rename"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("New name:"), &dialog));
    auto* edit = new QLineEdit(name, &dialog);
    edit->setMinimumWidth(320);
    layout->addWidget(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // The base name is what is usually changed; a leading dot is no extension.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    edit->setSelection(0, static_cast<int>(dot > 0 ? dot : name.size()));
    for (;;) {
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        const QString chosen = edit->text().trimmed();
        if (chosen.isEmpty() || chosen == name) return std::nullopt;
        if (!chosen.contains(QLatin1Char('/')) && chosen != QLatin1String(".") && chosen != QLatin1String(".."))
            return chosen;
        QMessageBox::warning(&dialog, QStringLiteral("Rename"), chosen + QStringLiteral(" is not a file name."));
    }
}

bool confirmReplace(QWidget* parent, const QString& name, const QString& folder)
{
    return ask(parent, "ReplaceQuestion", QStringLiteral("Replace"),
               name + QStringLiteral(" already exists in ") + folder + QStringLiteral(". Replace it?"));
}

QString chooseFolder(QWidget* parent, const QString& title, const QStringList& recent)
{
    QFileDialog dialog(parent, title);
    dialog.setObjectName(QStringLiteral("FolderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setHistory(recent);
    QList<QUrl> places = dialog.sidebarUrls();
    for (const QString& folder : recent) {
        const QUrl place = QUrl::fromLocalFile(folder);
        if (!places.contains(place)) places << place;
    }
    dialog.setSidebarUrls(places);
    if (!recent.isEmpty()) dialog.setDirectory(recent.front());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

void reportFailure(QWidget* parent, const QString& what, const QString& name)
{
    QMessageBox::warning(
        parent, what, QStringLiteral("Could not ") + what.toLower() + QStringLiteral(" ") + name + QStringLiteral("."));
}

}  // namespace controls
