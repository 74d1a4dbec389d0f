// TForm1: the keys for the folder's other pictures, scrolling, undo and redo, and asking before changes are lost.
#include "Unit1.h"

#include "ui_Unit1.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

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
    // The arrows alone step through the folder; with Shift they scroll a
    // picture larger than the view by a tenth of what is in view.
    if (modifiers == Qt::ShiftModifier && can_pan()) {
        QScrollBar* across = ui->ScrollBox1->horizontalScrollBar();
        QScrollBar* down = ui->ScrollBox1->verticalScrollBar();
        const QSize view = ui->ScrollBox1->viewport()->size();
        const int step_across = std::max(1, view.width() / 10), step_down = std::max(1, view.height() / 10);
        switch (key) {
        case Qt::Key_Right: across->setValue(across->value() + step_across); return true;
        case Qt::Key_Left: across->setValue(across->value() - step_across); return true;
        case Qt::Key_Down: down->setValue(down->value() + step_down); return true;
        case Qt::Key_Up: down->setValue(down->value() - step_down); return true;
        default: break;
        }
    }
    if (modifiers == Qt::ControlModifier && key == Qt::Key_Z) {
        // Right after a delete, the undo brings the file back instead.
        if (!RestoreDeleted()) UndoClick();
        return true;
    }
    if ((modifiers == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_Z) ||
        (modifiers == Qt::ControlModifier && key == Qt::Key_Y)) {
        RedoClick();
        return true;
    }
    return false;
}

// The folder and the history are the core's; the window follows what it loads.

bool TForm1::StepPicture(PictureStep step)
{
    return core_->step(step);
}

void TForm1::UndoClick()
{
    if (core_->undo()) clear_selection();
}

void TForm1::RedoClick()
{
    if (core_->redo()) clear_selection();
}

bool TForm1::HasUnsavedChanges()
{
    return core_->hasUnsavedChanges();
}

bool TForm1::ConfirmDiscard()
{
    if (!Settings.AskSave || !HasUnsavedChanges()) return true;
    const QMessageBox::StandardButton answer =
        QMessageBox::question(isVisible() ? this : nullptr, QStringLiteral("Show"),
                              QStringLiteral("Save changes to ") + FileTitle + QStringLiteral("?"),
                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard) {
        core_->markClean();  // given up: not asked about again
        return true;
    }
    // A save the user broke off, or one that failed, keeps the picture.
    return answer == QMessageBox::Save && SavePicture();
}
