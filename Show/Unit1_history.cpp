// TForm1: stepping through the pictures of the current file's folder, and undoing and redoing processing.
#include "Unit1.h"

#include "picturebox.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Undo keeps this many steps, fewer when their copies would pass the size.
constexpr std::size_t kUndoSteps = 20;
constexpr qint64 kUndoBytes = qint64(1) << 30;

// The slide show's order: ascending ignoring case; names differing only in
// case keep a fixed order.
bool listed_before(const QString& a, const QString& b)
{
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

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

}  // namespace

TForm1::FileStamp TForm1::FileStamp::of(const QString& path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
    return {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size), qint64(info.st_mtim.tv_sec),
            qint64(info.st_mtim.tv_nsec)};
}

bool TForm1::history_key(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    const int key = event.key();
    if (modifiers == Qt::NoModifier) {
        switch (key) {
        case Qt::Key_Right:
        case Qt::Key_PageDown: StepPicture(PictureStep::Next); return true;
        case Qt::Key_Left:
        case Qt::Key_PageUp: StepPicture(PictureStep::Previous); return true;
        case Qt::Key_Home: StepPicture(PictureStep::First); return true;
        case Qt::Key_End: StepPicture(PictureStep::Last); return true;
        default: return false;
        }
    }
    if (modifiers == Qt::ControlModifier && key == Qt::Key_Z) {
        UndoClick();
        return true;
    }
    if ((modifiers == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_Z) ||
        (modifiers == Qt::ControlModifier && key == Qt::Key_Y)) {
        RedoClick();
        return true;
    }
    return false;
}

// Next and previous picture.

void TForm1::list_folder(const QString& folder)
{
    listing_.folder = folder;
    listing_.stamp = FileStamp::of(folder);
    listing_.names.clear();
    const QDir dir(folder);
    // Admitted by extension alone: a folder of thousands of files is listed
    // without opening any of them.
    for (const QString& name : dir.entryList(QDir::Files, QDir::NoSort)) {
        if (_Pic_ValidExt(QFile::encodeName(dir.filePath(name)).constData(), 1) != 0) listing_.names << name;
    }
    std::sort(listing_.names.begin(), listing_.names.end(), listed_before);
}

bool TForm1::StepPicture(PictureStep step)
{
    if (FileName.isEmpty()) {
        QApplication::beep();
        return false;
    }
    const QFileInfo current(FileName);
    const QString folder = current.absolutePath();
    const QString name = current.fileName();
    // The folder is listed again only when it is another one or has changed,
    // so each step costs one search of the list.
    if (listing_.folder != folder || !(listing_.stamp == FileStamp::of(folder))) list_folder(folder);

    // A file that fails to load is passed over; a load that fails leaves the
    // picture on screen but names the file it tried, which is put back when
    // no picture follows.
    const QString kept_name = FileName, kept_title = FileTitle, kept_caption = windowTitle();
    const int kept_format = PicFormat;
    bool asked = false;
    const bool to_end = step == PictureStep::First || step == PictureStep::Last;
    const qsizetype stride = step == PictureStep::Next || step == PictureStep::First ? 1 : -1;
    bool relisted = false;
    for (bool again = true; again;) {
        again = false;
        const QStringList& names = listing_.names;
        qsizetype at = 0;
        switch (step) {
        case PictureStep::Next:
            at = std::upper_bound(names.begin(), names.end(), name, listed_before) - names.begin();
            break;
        case PictureStep::Previous:
            at = std::lower_bound(names.begin(), names.end(), name, listed_before) - names.begin() - 1;
            break;
        case PictureStep::First: at = 0; break;
        case PictureStep::Last: at = names.size() - 1; break;
        }
        for (; at >= 0 && at < names.size(); at += stride) {
            // From an end inwards, the current picture is as far as there is to go.
            if (to_end && names.at(at) == name) break;
            const QString path = QDir(folder).filePath(names.at(at));
            if (!QFileInfo::exists(path)) {
                if (relisted) continue;
                relisted = again = true;  // the list is out of date: once more on a fresh one
                list_folder(folder);
                break;
            }
            // A changed picture goes only with the user's leave, asked once
            // a picture to go to has been found.
            if (!asked && _Pic_Valid(QFile::encodeName(path).constData()) != 0) {
                asked = true;
                if (!ConfirmDiscard()) return false;
            }
            if (LoadImage(path)) return true;
        }
    }
    FileName = kept_name;
    FileTitle = kept_title;
    PicFormat = kept_format;
    setWindowTitle(kept_caption);
    QApplication::beep();
    return false;
}

// Undo and redo. Before each command that changes the working file, a copy
// of it goes beside it; the copies are named after the working file with a
// leading dot, as the library's half-written files are, so the start-up
// clean-up removes those of a viewer that did not end normally.

QString TForm1::new_copy_name()
{
    const QFileInfo working(WorkingFile);
    return working.absolutePath() + QStringLiteral("/.") + working.fileName() + QStringLiteral(".undo.") +
           QString::number(++copy_number_);
}

void TForm1::keep_for_undo()
{
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

void TForm1::finish_edit(bool refit)
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

void TForm1::trim_history()
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

void TForm1::clear_history()
{
    for (const auto* steps : {&undo_steps_, &redo_steps_})
        for (const EditCopy& step : *steps) QFile::remove(step.path);
    undo_steps_.clear();
    redo_steps_.clear();
    if (!pending_.path.isEmpty()) QFile::remove(pending_.path);
    pending_ = EditCopy{};
    edits_since_load_ = 0;
}

namespace {

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

// Undo and redo trade the working file with the copy on top of one list and
// put it on the other; the picture is then read back as "Update " does and
// the window refitted when the command refitted it.
void TForm1::UndoClick()
{
    take_step(undo_steps_, redo_steps_, -1);
}

void TForm1::RedoClick()
{
    take_step(redo_steps_, undo_steps_, 1);
}

void TForm1::take_step(std::deque<EditCopy>& from, std::deque<EditCopy>& to, int change)
{
    if (from.empty() || WorkingFile.isEmpty()) {
        QApplication::beep();
        return;
    }
    const EditCopy step = from.back();
    from.pop_back();
    const QString aside = new_copy_name();
    if (!swap_in(WorkingFile, step.path, aside)) {
        QFile::remove(step.path);
        QApplication::beep();
        return;
    }
    to.push_back(EditCopy{aside, FileTitle, step.refit, FileStamp::of(aside).size});
    edits_since_load_ += change;
    FileTitle = step.title;
    setWindowTitle(QStringLiteral("Show - ") + FileTitle);
    reloadClick();
    if (step.refit) FitWindow();
    trim_history();
}

// Unsaved changes. The working file as last loaded or saved is known by its
// stamp; undoing back to that state brings the very same file back (undo
// keeps a second name, not a copy), so it counts as unchanged again.

void TForm1::mark_clean()
{
    clean_stamp_ = FileStamp::of(WorkingFile);
}

bool TForm1::HasUnsavedChanges()
{
    finish_working_file();
    return has_picture() && !(FileStamp::of(WorkingFile) == clean_stamp_);
}

bool TForm1::ConfirmDiscard()
{
    if (!Settings.AskSave || !HasUnsavedChanges()) return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        isVisible() ? this : nullptr, QStringLiteral("Show"),
        QStringLiteral("Save changes to ") + FileTitle + QStringLiteral("?"),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard) {
        mark_clean();  // given up: not asked about again
        return true;
    }
    // A save the user broke off, or one that failed, keeps the picture.
    return answer == QMessageBox::Save && SavePicture();
}
