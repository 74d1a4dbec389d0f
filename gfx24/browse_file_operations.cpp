// TImageForm: the picked file deleted (to the trash or for good), renamed, or turned on disk when it is a JPEG.
#include "browse.h"

#include "ui_browse.h"

#include "file_moves.h"
#include "thumbnail_grid.h"
#include "zarngfx.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>

namespace {

constexpr int kJpegFormat = 4;  // _Pic_Valid's number for JPEG
constexpr int kTurnRight = 1, kTurnLeft = 2, kFlip = 3;

}  // namespace

void TImageForm::ConnectFileOperations()
{
    for (QWidget* view : {static_cast<QWidget*>(ui->FileListBox1), static_cast<QWidget*>(grid)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& at) { FileMenu(view->mapToGlobal(at)); });
    }
}

void TImageForm::FileMenu(QPoint at)
{
    if (FileListPath().isEmpty()) return;
    QMenu menu(this);
    menu.addAction(QStringLiteral("Rename...\tF2"), this, &TImageForm::RenameFile);
    menu.addAction(QStringLiteral("Delete\tDel"), this, [this] { DeleteFile(false); });
    menu.addAction(QStringLiteral("Delete for Good...\tShift+Del"), this, [this] { DeleteFile(true); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Rotate File Right\tCtrl+R"), this, [this] { TurnFile(kTurnRight); });
    menu.addAction(QStringLiteral("Rotate File Left\tCtrl+Shift+R"), this, [this] { TurnFile(kTurnLeft); });
    menu.addAction(QStringLiteral("Flip File"), this, [this] { TurnFile(kFlip); });
    menu.exec(at);
}

bool TImageForm::FileOperationKey(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    const Qt::KeyboardModifiers control_shift = Qt::ControlModifier | Qt::ShiftModifier;
    if (event.key() == Qt::Key_Delete && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
        DeleteFile(modifiers == Qt::ShiftModifier);
        return true;
    }
    if (event.key() == Qt::Key_F2 && modifiers == Qt::NoModifier) {
        RenameFile();
        return true;
    }
    if (event.key() == Qt::Key_R && (modifiers == Qt::ControlModifier || modifiers == control_shift)) {
        TurnFile(modifiers == Qt::ControlModifier ? kTurnRight : kTurnLeft);
        return true;
    }
    return false;
}

// The folder listed again after a change, with `name` picked and shown, or
// the file at `row` when `name` is gone, or the last one.
void TImageForm::ListAgain(const QString& name, int row)
{
    const QString listed = folder;
    folder.clear();
    ListFolder(listed);
    const int count = ui->FileListBox1->count();
    QString picked = name;
    if (!QFileInfo::exists(listed + name)) {
        picked = count > 0 ? ui->FileListBox1->item(std::min(row, count - 1))->text() : QString();
    }
    if (picked.isEmpty()) {
        path.clear();
        ui->Panel1->hide();
        ui->Label1->clear();
        return;
    }
    SetFileName(listed + picked);
    FileListBox1Click();
}

void TImageForm::DeleteFile(bool for_good)
{
    const QString file = FileListPath();
    if (file.isEmpty()) {
        QApplication::beep();
        return;
    }
    const QString name = QFileInfo(file).fileName();
    const int row = ui->FileListBox1->currentRow();
    if (for_good) {
        if (!controls::confirmDeleteForGood(this, name)) return;
        if (!QFile::remove(file)) controls::reportFailure(this, QStringLiteral("Delete"), name);
    } else if (!controls::moveToTrash(file)) {
        controls::reportFailure(this, QStringLiteral("Delete"), name);
    }
    ListAgain(name, row);
}

void TImageForm::RenameFile()
{
    const QString file = FileListPath();
    if (file.isEmpty()) {
        QApplication::beep();
        return;
    }
    const QString name = QFileInfo(file).fileName();
    const std::optional<QString> wanted = controls::askNewName(this, name);
    if (!wanted) return;
    switch (controls::renameNoReplace(file, folder + *wanted)) {
    case controls::FileResult::Done: ListAgain(*wanted, ui->FileListBox1->currentRow()); break;
    case controls::FileResult::Exists:
        QMessageBox::warning(this, QStringLiteral("Rename"),
                             QStringLiteral("A file named ") + *wanted + QStringLiteral(" already exists."));
        break;
    case controls::FileResult::Failed: controls::reportFailure(this, QStringLiteral("Rename"), name); break;
    }
}

void TImageForm::TurnFile(int turn)
{
    const QString file = FileListPath();
    const QByteArray native = QFile::encodeName(file);
    if (file.isEmpty() || _Pic_Valid(native.constData()) != kJpegFormat) {
        QApplication::beep();
        return;
    }
    const QString name = QFileInfo(file).fileName();
    int turned = _Pic_TurnJpegFile(native.constData(), turn, 0);
    if (turned < 0) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Turn File"),
            name + QStringLiteral(" does not divide into whole blocks: trim the edges that do not?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
        turned = _Pic_TurnJpegFile(native.constData(), turn, 1);
    }
    if (turned != 1) controls::reportFailure(this, QStringLiteral("Turn"), name);
    ListAgain(name, ui->FileListBox1->currentRow());
}
