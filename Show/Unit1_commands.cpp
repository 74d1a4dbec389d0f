// TForm1: the commands of the menus, toolbars and keys: enabling, saving, editors, clipboard, scanner and dialogs.
#include "Unit1.h"

#include "Unit2.h"
#include "Unit4.h"

#include "file_filters.h"
#include "mbutton.h"
#include "metadata_module.h"
#include "shared_rules.h"
#include "picturebox.h"
#include "ui_Unit1.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the library's path exports may write into: at least this many bytes.
constexpr std::size_t kPathBuffer = 256;
using controls::library_text;

// A zero-filled buffer of `size` bytes (at least kPathBuffer) holding `path`
// when it fits with its terminating zero, else empty.
std::vector<char> path_buffer(const QString& path, std::size_t size)
{
    std::vector<char> buffer(std::max(size, kPathBuffer), '\0');
    const QByteArray local = QFile::encodeName(path);
    if (std::size_t(local.size()) < buffer.size()) std::copy(local.begin(), local.end(), buffer.begin());
    return buffer;
}

bool same_file(const QString& a, const QString& b)
{
    struct stat first {};
    struct stat second {};
    return ::stat(QFile::encodeName(a).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// The file a picture about to be saved was opened from, whose date, camera
// and place go into the saved file; none for a pasted or scanned picture,
// which has a title of its own. Saved over its own file, the picture's
// metadata is read from a private copy made before the write.
class MetadataSource {
public:
    MetadataSource(const QString& file_name, const QString& file_title, const QString& target)
    {
        const QFileInfo source(file_name);
        if (file_name.isEmpty() || source.fileName() != file_title || !source.isFile()) return;
        if (!zarn::metadata_available()) return;
        path_ = source.absoluteFilePath();
        if (!same_file(path_, target)) return;
        path_.clear();
        const std::string folder = zarn::private_temp_dir();
        if (folder.empty()) return;
        QFile original(source.absoluteFilePath());
        copy_ =
            std::make_unique<QTemporaryFile>(QFile::decodeName(folder.c_str()) + QStringLiteral("/saved-over-XXXXXX"));
        if (!original.open(QIODevice::ReadOnly) || !copy_->open()) return;
        while (!original.atEnd()) {
            const QByteArray block = original.read(1 << 20);
            if (block.isEmpty() || copy_->write(block) != block.size()) return;
        }
        if (copy_->flush()) path_ = copy_->fileName();
    }

    void copyInto(const QString& saved, const PicImage* pic) const
    {
        if (path_.isEmpty() || !pic) return;
        zarn::copy_metadata(QFile::encodeName(path_).toStdString(), QFile::encodeName(saved).toStdString(), pic->width,
                            pic->height, zarn::MetadataProfile::Leave);
    }

private:
    QString path_;
    std::unique_ptr<QTemporaryFile> copy_;
};

QString folder_of(const QString& path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
}

// Why a file could not be written, in the system's words: the error the
// write left behind when it is one about the file or its folder, else what
// creating a file in that folder says. Empty when the folder takes files
// (the library refused the picture for a reason of its own).
QString save_failure_reason(const QString& path, int write_error)
{
    switch (write_error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case EIO:
    case EROFS:
    case EACCES:
    case EPERM:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case ENAMETOOLONG: return QString::fromLocal8Bit(std::strerror(write_error));
    default: break;
    }
    const QByteArray probe = QFile::encodeName(QFileInfo(path).absolutePath() + QStringLiteral("/.zarn-save-probe-") +
                                               QString::number(QCoreApplication::applicationPid()));
    const int descriptor = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (descriptor < 0) return QString::fromLocal8Bit(std::strerror(errno));
    ::close(descriptor);
    ::unlink(probe.constData());
    return {};
}

QString chosen_file(QFileDialog& dialog)
{
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.front();
}

}  // namespace

QString TForm1::ask_for_picture()
{
    if (OpenDialog1->exec() != QDialog::Accepted) return {};
    const QString chosen = chosen_file(*OpenDialog1);
    if (!chosen.isEmpty()) OpenDialog1->setDirectory(folder_of(chosen));
    return chosen;
}

// The rockers: the half of the last press picks the step.

void TForm1::MButton17Click()
{
    if (findChild<TMButton*>(QStringLiteral("MButton17"))->ClickLeft()) SharpDownClick();
    else SharpUpClick();
}

void TForm1::MButton18Click()
{
    if (findChild<TMButton*>(QStringLiteral("MButton18"))->ClickLeft()) BrightDownClick();
    else BrightUpClick();
}

void TForm1::MButton21Click()
{
    if (findChild<TMButton*>(QStringLiteral("MButton21"))->ClickLeft()) ContrastDownClick();
    else ContrastUpClick();
}

void TForm1::MButton24Click()
{
    if (findChild<TMButton*>(QStringLiteral("MButton24"))->ClickLeft()) RedDownClick();
    else RedUpClick();
}

void TForm1::MButton27Click()
{
    if (findChild<TMButton*>(QStringLiteral("MButton27"))->ClickLeft()) GreenDownClick();
    else GreenUpClick();
}

void TForm1::MButton30Click()
{
    if (findChild<TMButton*>(QStringLiteral("MButton30"))->ClickLeft()) BlueDownClick();
    else BlueUpClick();
}

void TForm1::PopupMenu1Popup()
{
    const int bits = Pic()->bits;
    popup_items_.colour256->setEnabled(bits == 24);
    popup_items_.invertmono->setEnabled(bits == 1);
    popup_items_.expand24->setEnabled(bits != 24 && bits >= 2);
    popup_items_.rotate->setEnabled(bits > 1);
    popup_items_.togrey->setEnabled(bits > 1);
    const bool has_entry = PicFormat >= 0 && std::size_t(PicFormat) < Settings.Editors.size();
    popup_items_.edit->setEnabled(has_entry && !Settings.Editors[std::size_t(PicFormat)].isEmpty());
    popup_items_.editasbmp->setEnabled(!Settings.Editors[1].isEmpty());
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    popup_items_.loadclip->setVisible(clipboard && clipboard->hasImage());

    const QString description = library_text(_Pic_Description(PicFormat));
    popup_items_.seledit->setText(QStringLiteral("Select ") + description + QStringLiteral(" Editor"));
    popup_items_.edit->setText(QStringLiteral("Original ") + description + QStringLiteral(" Image"));
    popup_items_.editwith->setText(QStringLiteral("Original ") + description + QStringLiteral(" with..."));
}

void TForm1::ImageMenuPopup()
{
    const int bits = Pic()->bits;
    image_items_.expand24->setVisible(bits != 24 && bits != 1);
    image_items_.colour256->setVisible(bits == 24);
    image_items_.rotate->setVisible(bits != 1);
    image_items_.mono->setVisible(bits != 1);
    image_items_.togrey->setVisible(bits != 1);
    image_items_.invertmono->setVisible(bits == 1);
}

void TForm1::save1Click()
{
    SavePicture();
}

bool TForm1::SavePicture()
{
    if (!has_picture() || !core_->fullPictureAvailable()) return false;
    // The dialog would ask about the name as typed, but the file written
    // carries the save type's extension ("x.png" as JPEG is "x.jpg"): the
    // question is asked here, about the file that would really be replaced,
    // and a "No" goes back to the dialog for another name.
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite, true);
    SaveDialog1->setDirectory(dialogFolder(Settings.SaveDir));
    SaveDialog1->selectFile(QFileInfo(FileTitle).completeBaseName());
    QString chosen;
    int save_type = 0;
    for (;;) {
        if (SaveDialog1->exec() != QDialog::Accepted) return false;
        save_type = int(SaveDialog1->nameFilters().indexOf(SaveDialog1->selectedNameFilter())) + 1;
        chosen = controls::nameForSaveType(chosen_file(*SaveDialog1), library_text(_Pic_GetSaveFormats()), save_type);
        if (chosen.isEmpty()) return false;
        if (!Settings.Overwrite || !QFileInfo::exists(chosen) ||
            QMessageBox::question(
                this, QStringLiteral("Save Image as"),
                QFileInfo(chosen).fileName() + QStringLiteral(" already exists.\nDo you want to replace it?"),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes)
            break;
        SaveDialog1->selectFile(QFileInfo(chosen).fileName());
    }
    if (save_type >= 1) Settings.Save = save_type;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (Settings.Progress) show_progress_panel(true);
    ui->Image1->repaint();
    // The library puts the save type's extension on the name in place, so
    // the buffer has room beyond the name.
    std::vector<char> output = path_buffer(chosen, std::size_t(QFile::encodeName(chosen).size()) + 16);
    const QByteArray working = QFile::encodeName(WorkingFile);
    const MetadataSource metadata(FileName, FileTitle, chosen);
    errno = 0;
    const int saved = _bmptoanys(working.constData(), output.data(), Pic(), save_type, Settings.JpegQuality);
    const int write_error = errno;
    const bool library_told_why = !saved && _Pic_FailureShown();
    output.back() = '\0';
    // A writer may reduce the record's picture on the way (a GIF to 256
    // colours): the record describes the working file again.
    _checkbmp(working.constData(), Pic());
    show_progress_panel(false);
    QApplication::restoreOverrideCursor();

    if (saved) {
        metadata.copyInto(QFile::decodeName(output.data()), Pic());
        // Only a folder that took the picture is the place to start next time.
        Settings.SaveDir = QFileInfo(chosen).absolutePath();
        SaveDialog1->setDirectory(Settings.SaveDir);
        core_->markClean();
        return true;
    }
    SaveDialog1->setDirectory(dialogFolder(Settings.SaveDir));
    // A failure the library has not told the user about would otherwise pass
    // unnoticed. The old file is as it was.
    const QString written = QFile::decodeName(output.data());
    if (!library_told_why) {
        const QString reason = save_failure_reason(written, write_error);
        QMessageBox::warning(
            this, QStringLiteral("Show"),
            QStringLiteral("Cannot save ") + written + (reason.isEmpty() ? QString() : QStringLiteral("\n") + reason));
    }
    return false;
}

void TForm1::RunEditor(const QString& program, const QString& file)
{
    if (program.isEmpty()) return;
    // Editors took the command line "program" "file" of at most 255
    // characters. A longer one is refused with a beep rather than cut into a
    // different command. Program and file reach the editor as two separate
    // arguments, blanks and quotes intact, with no shell in between.
    const qsizetype length = QFile::encodeName(program).size() + QFile::encodeName(file).size() + 5;
    if (length > 255) {
        QApplication::beep();
        return;
    }
    QProcess::startDetached(program, {file});
}

void TForm1::editasbmpClick()
{
    if (!has_picture() || !core_->fullPictureAvailable()) return;
    RunEditor(Settings.Editors[1], WorkingFile);
}

void TForm1::editClick()
{
    if (FileName.isEmpty() || PicFormat < 0 || std::size_t(PicFormat) >= Settings.Editors.size()) return;
    RunEditor(Settings.Editors[std::size_t(PicFormat)], FileName);
}

void TForm1::editwithClick()
{
    QString& program = Settings.Editors[0];
    OpenDialog2->setWindowTitle(QStringLiteral("Edit Source Image with..."));
    if (!program.isEmpty()) {
        OpenDialog2->setDirectory(folder_of(program));
        OpenDialog2->selectFile(program);
    }
    if (OpenDialog2->exec() != QDialog::Accepted) return;
    const QString chosen = chosen_file(*OpenDialog2);
    if (chosen.isEmpty()) return;
    program = chosen;
    if (!FileName.isEmpty()) RunEditor(program, FileName);
}

void TForm1::seleditClick()
{
    SelectEditor(PicFormat);
}

void TForm1::SelectEditor(int n)
{
    if (n < 0 || std::size_t(n) >= Settings.Editors.size()) return;
    QString& program = Settings.Editors[std::size_t(n)];
    if (!program.isEmpty()) {
        OpenDialog2->setDirectory(folder_of(program));
        OpenDialog2->selectFile(program);
    }
    OpenDialog2->setWindowTitle(QStringLiteral("Select Editor for ") + library_text(_Pic_Extension(n)));
    if (OpenDialog2->exec() != QDialog::Accepted) return;
    const QString chosen = chosen_file(*OpenDialog2);
    if (!chosen.isEmpty()) program = chosen;
}

void TForm1::copyClick()
{
    if (!has_picture() || !core_->fullPictureAvailable()) return;
    QGuiApplication::clipboard()->setImage(ui->Image1->Picture());
}

void TForm1::loadclipClick()
{
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    if (WorkingFile.isEmpty() || !offered || !offered->hasImage()) return;
    const QImage image = QGuiApplication::clipboard()->image();
    if (image.isNull()) return;
    if (!core_->takeImage(image, QStringLiteral("Clipboard Image"))) QApplication::beep();
}

void TForm1::reloadClick()
{
    ui->Image1->hide();
    const bool read = core_->reload();
    ui->Image1->show();
    if (read) clear_selection();
}

// The scanner's dialogs belong to the main window, named by its native id.

void TForm1::acquireClick()
{
    if (core_->acquire(reinterpret_cast<void*>(winId()))) QApplication::beep();
}

void TForm1::scanClick()
{
    // Only a scan that reached the clipboard is taken in: anything else
    // there is not the scanner's picture.
    if (_ScanToClipboard(reinterpret_cast<void*>(winId()))) loadclipClick();
}

void TForm1::selectClick()
{
    _SelectScanSource(reinterpret_cast<void*>(winId()));
}

// The working file always holds the displayed picture (the selection
// outline is drawn over the picture, never into it), so the dialogs get it
// as it is.

void TForm1::resizeClick()
{
    core_->runOnWorkingFile(&_WinImageSize, true);
}

void TForm1::process24Click()
{
    core_->runOnWorkingFile(&_WinImageAdjust, false);
}

void TForm1::printClick()
{
    if (!has_picture() || !core_->fullPictureAvailable()) return;
    hide();
    // The picture's own name follows on a second line: a printout to a file
    // goes beside it. A picture from the clipboard or the scanner has none.
    const bool from_file = !FileName.isEmpty() && QFileInfo(FileName).fileName() == FileTitle;
    const QByteArray working = QFile::encodeName(from_file ? WorkingFile + '\n' + FileName : WorkingFile);
    modal([&] { return _WinImagePrint(working.constData()); });
    show();
}

void TForm1::browseClick()
{
    hide();
    std::vector<char> buffer = path_buffer(FileName, kPathBuffer);
    if (!modal([&] { return _WinImageBrowse(buffer.data()); })) {
        // Nothing chosen ends the program, unless pictures were handed over
        // meanwhile, or the user kept a changed picture when asked. Closing
        // a hidden window does not count as closing the last one, so the
        // program is told to end too.
        if (!core_->hasHeldHandOffs()) close();
        if (!core_->isClosed()) {
            show();
            return;
        }
        QCoreApplication::quit();
        return;
    }
    buffer.back() = '\0';
    const QString chosen = QFile::decodeName(buffer.data());
    OpenDialog1->setDirectory(folder_of(chosen));
    OpenDialog1->selectFile(chosen);
    if (ConfirmDiscard()) LoadImage(chosen);
    // A file the viewer cannot show does not fit the window, which shows it.
    if (!isVisible()) show();
}

void TForm1::slideClick()
{
    const QByteArray folder = QFile::encodeName(OpenDialog1->directory().absolutePath());
    _WinSlideShow(folder.constData(), Settings.Slideshow, Settings.Display, Settings.Loop, Settings.SlideValid,
                  Settings.SlideBeep);
}

void TForm1::SpeedButton12Click()
{
    if (!has_picture()) return;
    Form4->ShowPicture(core_->picture());
}

void TForm1::xprefsClick()
{
    hide();
    modal([this] { Form2->Execute(); });
    FitWindow();
}

void TForm1::exitClick()
{
    close();
}
