// TForm1: the file shown deleted (to the trash or for good), renamed, copied or moved to a folder, and turned on disk.
#include "Unit1.h"

#include "file_moves.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

constexpr int kJpegFormat = 4;  // _Pic_Valid's number for JPEG
constexpr int kTurnRight = 1, kTurnLeft = 2, kFlip = 3;

}  // namespace

bool TForm1::file_key(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    const Qt::KeyboardModifiers control_shift = Qt::ControlModifier | Qt::ShiftModifier;
    switch (event.key()) {
    case Qt::Key_Delete:
        if (modifiers == Qt::NoModifier) deleteClick();
        else if (modifiers == Qt::ShiftModifier) deleteForGoodClick();
        else return false;
        return true;
    case Qt::Key_F2:
        if (modifiers != Qt::NoModifier) return false;
        renameClick();
        return true;
    case Qt::Key_C:
        if (modifiers != control_shift) return false;
        copyToFolderClick();
        return true;
    case Qt::Key_M:
        if (modifiers != control_shift) return false;
        moveToFolderClick();
        return true;
    case Qt::Key_R:
        if (modifiers == Qt::ControlModifier) rotateFileRightClick();
        else if (modifiers == control_shift) rotateFileLeftClick();
        else return false;
        return true;
    default: return false;
    }
}

// The file is gone from the folder: the next picture, else the previous,
// else the open dialog.
void TForm1::step_on_after_removal()
{
    if (core_->step(PictureStep::Next, false) || core_->step(PictureStep::Previous, false)) return;
    OpenClick();
}

void TForm1::deleteClick()
{
    if (FileName.isEmpty() || !QFileInfo(FileName).isFile()) {
        QApplication::beep();
        return;
    }
    if (!ConfirmDiscard()) return;
    const QString title = FileTitle;
    std::optional<controls::TrashedFile> trashed = controls::moveToTrash(FileName);
    if (!trashed) {
        controls::reportFailure(this, QStringLiteral("Delete"), title);
        return;
    }
    step_on_after_removal();
    last_delete_ = {std::move(trashed), FileName, UndoCount()};
}

bool TForm1::RestoreDeleted()
{
    show::LastDelete last = std::move(last_delete_);
    last_delete_ = {};
    // Only right after the delete: the picture it stepped to, unchanged.
    if (!last.trashed || FileName != last.shownAfter || UndoCount() != last.undoAfter || RedoCount() != 0 ||
        core_->editsSinceLoad() != 0)
        return false;
    const QString name = QFileInfo(last.trashed->original).fileName();
    switch (controls::restoreFromTrash(*last.trashed)) {
    case controls::FileResult::Done: LoadImage(last.trashed->original); break;
    case controls::FileResult::Exists:
        QMessageBox::warning(this, QStringLiteral("Undo Delete"),
                             name + QStringLiteral(" cannot come back from the trash: another file has its name now."));
        break;
    case controls::FileResult::Failed: controls::reportFailure(this, QStringLiteral("Restore"), name); break;
    }
    return true;
}

void TForm1::deleteForGoodClick()
{
    if (FileName.isEmpty() || !QFileInfo(FileName).isFile()) {
        QApplication::beep();
        return;
    }
    if (!ConfirmDiscard()) return;
    const QString title = FileTitle;
    if (!controls::confirmDeleteForGood(this, QFileInfo(FileName).fileName())) return;
    if (!QFile::remove(FileName)) {
        controls::reportFailure(this, QStringLiteral("Delete"), title);
        return;
    }
    last_delete_ = {};
    step_on_after_removal();
}

void TForm1::renameClick()
{
    if (FileName.isEmpty() || !QFileInfo(FileName).isFile()) {
        QApplication::beep();
        return;
    }
    const QFileInfo file(FileName);
    const std::optional<QString> name = modal([&] { return controls::askNewName(this, file.fileName()); });
    if (!name) return;
    const QString target = file.dir().filePath(*name);
    switch (controls::renameNoReplace(FileName, target)) {
    case controls::FileResult::Done:
        FileName = target;
        FileTitle = *name;
        core_->showFileTitle();
        break;
    case controls::FileResult::Exists:
        QMessageBox::warning(this, QStringLiteral("Rename"),
                             QStringLiteral("A file named ") + *name + QStringLiteral(" already exists."));
        break;
    case controls::FileResult::Failed: controls::reportFailure(this, QStringLiteral("Rename"), file.fileName()); break;
    }
}

void TForm1::remember_destination(const QString& folder)
{
    const QString absolute = QFileInfo(folder).absoluteFilePath();
    Settings.Destinations = controls::storedDestinations(
        controls::withDestination(controls::readDestinations(Settings.Destinations), absolute));
}

void TForm1::copyToFolderClick()
{
    if (FileName.isEmpty() || !QFileInfo(FileName).isFile()) {
        QApplication::beep();
        return;
    }
    const QString folder = modal([this] {
        return controls::chooseFolder(this, QStringLiteral("Copy To Folder"),
                                      controls::readDestinations(Settings.Destinations));
    });
    if (!folder.isEmpty()) CopyToFolder(folder);
}

void TForm1::moveToFolderClick()
{
    if (FileName.isEmpty() || !QFileInfo(FileName).isFile()) {
        QApplication::beep();
        return;
    }
    const QString folder = modal([this] {
        return controls::chooseFolder(this, QStringLiteral("Move To Folder"),
                                      controls::readDestinations(Settings.Destinations));
    });
    if (!folder.isEmpty()) MoveToFolder(folder);
}

namespace {

// One try, then with the user's leave once more over the file of that name.
template <class Operation>
bool into_folder(QWidget* parent, const QString& path, const QString& folder, const QString& what, Operation operation)
{
    const QString name = QFileInfo(path).fileName();
    if (QFileInfo(QDir(folder).filePath(name)) == QFileInfo(path)) {
        QMessageBox::warning(parent, what, name + QStringLiteral(" is in that folder already."));
        return false;
    }
    controls::FileResult result = operation(false);
    if (result == controls::FileResult::Exists) {
        if (!controls::confirmReplace(parent, name, folder)) return false;
        result = operation(true);
    }
    if (result == controls::FileResult::Done) return true;
    controls::reportFailure(parent, what, name);
    return false;
}

}  // namespace

bool TForm1::CopyToFolder(const QString& folder)
{
    const QString path = FileName;
    const bool copied = into_folder(this, path, folder, QStringLiteral("Copy"),
                                    [&](bool replace) { return controls::copyIntoFolder(path, folder, replace); });
    if (copied) remember_destination(folder);
    return copied;
}

bool TForm1::MoveToFolder(const QString& folder)
{
    if (FileName.isEmpty() || !ConfirmDiscard()) return false;
    const QString path = FileName;
    const bool moved = into_folder(this, path, folder, QStringLiteral("Move"),
                                   [&](bool replace) { return controls::moveIntoFolder(path, folder, replace); });
    if (!moved) return false;
    remember_destination(folder);
    last_delete_ = {};
    step_on_after_removal();
    return true;
}

void TForm1::rotateFileRightClick()
{
    turn_file(kTurnRight);
}

void TForm1::rotateFileLeftClick()
{
    turn_file(kTurnLeft);
}

void TForm1::flipFileClick()
{
    turn_file(kFlip);
}

void TForm1::turn_file(int turn)
{
    if (!has_picture()) {
        QApplication::beep();
        return;
    }
    const QByteArray path = QFile::encodeName(FileName);
    const bool jpeg_file =
        !FileName.isEmpty() && QFileInfo(FileName).isFile() && _Pic_Valid(path.constData()) == kJpegFormat;
    if (!jpeg_file) {
        // The working picture turns as the rotate command turns it; it has no mirror.
        if (turn == kFlip) {
            QApplication::beep();
            return;
        }
        for (int quarter = 0; quarter < (turn == kTurnRight ? 1 : 3); ++quarter) rotateClick();
        return;
    }
    // The file is read again afterwards: changes to the picture would go.
    if (!ConfirmDiscard()) return;
    int turned = _Pic_TurnJpegFile(path.constData(), turn, 0);
    if (turned < 0) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Turn File"),
            FileTitle + QStringLiteral(" does not divide into whole blocks: trim the edges that do not?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
        turned = _Pic_TurnJpegFile(path.constData(), turn, 1);
    }
    if (turned != 1) {
        controls::reportFailure(this, QStringLiteral("Turn"), FileTitle);
        return;
    }
    LoadImage(FileName);
}
