// ViewerCore: undoing and redoing what the commands did to the working file, and telling unsaved changes.
#include "viewer_core.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Undo keeps this many steps, fewer when their copies would pass the size.
constexpr std::size_t kUndoSteps = 20;
constexpr qint64 kUndoBytes = qint64(1) << 30;

// True when both files read the same to the end.
bool same_contents(const QString& a, const QString& b)
{
    QFile first(a), second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly) || first.size() != second.size())
        return false;
    constexpr qint64 kBlock = qint64(1) << 20;
    while (!first.atEnd()) {
        const QByteArray one = first.read(kBlock);
        if (one.isEmpty() || one != second.read(kBlock)) return false;
    }
    return second.atEnd();
}

// Puts `copy` in place of `working`, which goes to `aside`; all or nothing.
bool swap_in(const QString& working, const QString& copy, const QString& aside)
{
    const QByteArray working_local = QFile::encodeName(working), copy_local = QFile::encodeName(copy),
                     aside_local = QFile::encodeName(aside);
    if (::rename(working_local.constData(), aside_local.constData()) != 0) return false;
    if (::rename(copy_local.constData(), working_local.constData()) == 0) return true;
    ::rename(aside_local.constData(), working_local.constData());
    return false;
}

}  // namespace

// What identifies one version of a file on disk: the library replaces the
// working file by renaming a new one over it.
ViewerCore::FileStamp ViewerCore::FileStamp::of(const QString& path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
    return {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size), qint64(info.st_mtim.tv_sec),
            qint64(info.st_mtim.tv_nsec)};
}

// Before each command that changes the working file, a copy of it goes
// beside it; the copies are named after the working file with a leading dot,
// as the library's half-written files are, so the start-up clean-up removes
// those of a viewer that did not end normally.
QString ViewerCore::new_copy_name()
{
    const QFileInfo working(WorkingFile);
    return working.absolutePath() + QStringLiteral("/.") + working.fileName() + QStringLiteral(".undo.") +
           QString::number(++copy_number_);
}

void ViewerCore::keepForUndo()
{
    finishWorkingFile();  // the command works on the picture just loaded
    if (!pending_.path.isEmpty()) QFile::remove(pending_.path);
    pending_ = EditCopy{};
    pending_stamp_ = FileStamp::of(WorkingFile);
    // A picture whose copy alone would pass the limit is not kept.
    if (pending_stamp_.size < 0 || pending_stamp_.size > kUndoBytes) return;
    const QString copy = new_copy_name();
    QFile::remove(copy);
    // Every command replaces the working file by a new one (the library
    // writes beside it and renames), so a second name for the old file is
    // the copy, at no cost even for a large picture.
    if (::link(QFile::encodeName(WorkingFile).constData(), QFile::encodeName(copy).constData()) != 0 &&
        !QFile::copy(WorkingFile, copy))
        return;
    pending_ = EditCopy{copy, FileTitle, false, pending_stamp_.size};
}

void ViewerCore::finishEdit(bool refit)
{
    EditCopy kept = std::exchange(pending_, EditCopy{});
    if (FileStamp::of(WorkingFile) == pending_stamp_) {
        // Refused, or nothing to do: no step.
        if (!kept.path.isEmpty()) QFile::remove(kept.path);
        return;
    }
    // A command that wrote the picture back as it was (a step a picture of
    // this kind does not take) is no step either; the old file goes back in
    // place, so the picture is not taken for changed.
    if (!kept.path.isEmpty() && FileStamp::of(kept.path).size == FileStamp::of(WorkingFile).size &&
        same_contents(kept.path, WorkingFile) &&
        ::rename(QFile::encodeName(kept.path).constData(), QFile::encodeName(WorkingFile).constData()) == 0)
        return;
    ++edits_since_load_;
    for (const EditCopy& undone : redo_steps_) QFile::remove(undone.path);
    redo_steps_.clear();
    // A file changed where it stood took its second name with it: no step
    // rather than a wrong one.
    if (!kept.path.isEmpty() && FileStamp::of(kept.path).inode == FileStamp::of(WorkingFile).inode) {
        QFile::remove(kept.path);
        return;
    }
    if (kept.path.isEmpty()) return;
    kept.refit = refit;
    undo_steps_.push_back(std::move(kept));
    trim_history();
}

void ViewerCore::trim_history()
{
    const auto bytes = [this] {
        qint64 total = 0;
        for (const auto* steps : {&undo_steps_, &redo_steps_})
            for (const EditCopy& step : *steps) total += step.bytes;
        return total;
    };
    // The oldest go first: undo's bottom, then redo's far end.
    while (!undo_steps_.empty() || !redo_steps_.empty()) {
        if (undo_steps_.size() + redo_steps_.size() <= kUndoSteps && bytes() <= kUndoBytes) break;
        std::deque<EditCopy>& from = undo_steps_.empty() ? redo_steps_ : undo_steps_;
        QFile::remove(from.front().path);
        from.pop_front();
    }
}

void ViewerCore::clearHistory()
{
    for (const auto* steps : {&undo_steps_, &redo_steps_})
        for (const EditCopy& step : *steps) QFile::remove(step.path);
    undo_steps_.clear();
    redo_steps_.clear();
    if (!pending_.path.isEmpty()) QFile::remove(pending_.path);
    pending_ = EditCopy{};
    edits_since_load_ = 0;
}

// Undo and redo trade the working file with the copy on top of one list and
// put it on the other; the picture is then read back as after an outside
// change, and fitted again (pictureLoaded) when the command refitted it.
bool ViewerCore::undo()
{
    if (!fullPictureAvailable()) return false;
    return take_step(undo_steps_, redo_steps_, -1);
}

bool ViewerCore::redo()
{
    if (!fullPictureAvailable()) return false;
    return take_step(redo_steps_, undo_steps_, 1);
}

bool ViewerCore::take_step(std::deque<EditCopy>& from, std::deque<EditCopy>& to, int change)
{
    if (from.empty() || WorkingFile.isEmpty()) {
        QApplication::beep();
        return false;
    }
    const EditCopy step = from.back();
    from.pop_back();
    const QString aside = new_copy_name();
    if (!swap_in(WorkingFile, step.path, aside)) {
        QFile::remove(step.path);
        QApplication::beep();
        return false;
    }
    to.push_back(EditCopy{aside, FileTitle, step.refit, FileStamp::of(aside).size});
    edits_since_load_ += change;
    FileTitle = step.title;
    showFileTitle();
    reload();
    if (step.refit) emit pictureLoaded();
    trim_history();
    return true;
}

// The working file as last loaded or saved is known by its stamp; undoing
// back to that state brings the very same file back (undo keeps a second
// name, not a copy), so it counts as unchanged again.
void ViewerCore::markClean()
{
    clean_stamp_ = FileStamp::of(WorkingFile);
}

bool ViewerCore::hasUnsavedChanges()
{
    // Every command finishes the working file first: while it is still
    // being written, nothing has changed since the load.
    if (working_write_) return false;
    return hasPicture() && !(FileStamp::of(WorkingFile) == clean_stamp_);
}
