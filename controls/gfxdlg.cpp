// TGfxDialog: open and save dialogs that move pictures between files of any format through the image library.
#include "gfxdlg.h"

#include "bmp_picture.h"
#include "file_filters.h"
#include "private_temp.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>
#include <vector>

namespace {

using CountFn = int (*)();
using TableTextFn = const char* (*)(int);
using SaveFormatsFn = const char* (*)();
using AnyToBmpFn = int (*)(const char*, const char*, PicImage*, int, int);
using BmpToAnyFn = int (*)(const char*, char*, PicImage*, int, int);
using ConvertFn = int (*)(const char*, const char*, PicImage*, int, int, int, int);

// Far more rows than any format table has; a broken count cannot stall us.
constexpr int kMaxFormats = 1000;

using controls::library_text;

// The path with links and "." / ".." resolved as far as it exists, so two
// spellings of one file compare equal.
QString resolved_path(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists()) return info.canonicalFilePath();
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : folder + '/' + info.fileName();
}

bool same_file(const QString& a, const QString& b)
{
    return !a.isEmpty() && !b.isEmpty() && resolved_path(a) == resolved_path(b);
}

// A name typed with folders ("out/picture") is written there, the folders
// made as needed.
bool make_folder_for(const QString& file)
{
    return QDir().mkpath(QFileInfo(file).absolutePath());
}

}  // namespace

TGfxDialog::TGfxDialog(QWidget* parent) : QObject(parent)
{
    // Qt's own dialog widgets, so that the file and folder properties are the
    // dialog's state on every desktop, shown or not, and read back as set.
    open_dialog_ = new QFileDialog(parent);
    open_dialog_->setOption(QFileDialog::DontUseNativeDialog);
    open_dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    open_dialog_->setFileMode(QFileDialog::ExistingFile);
    open_dialog_->setOption(QFileDialog::ReadOnly, false);

    save_dialog_ = new QFileDialog(parent);
    save_dialog_->setOption(QFileDialog::DontUseNativeDialog);
    save_dialog_->setAcceptMode(QFileDialog::AcceptSave);
    save_dialog_->setFileMode(QFileDialog::AnyFile);
    save_dialog_->setOption(QFileDialog::ReadOnly, false);
    // The name written carries the save type's extension, which the dialog
    // knows nothing of: the question about replacing a file is ours.
    save_dialog_->setOption(QFileDialog::DontConfirmOverwrite);

    temp_file_name_ = controls::uniqueTempPath(controls::privateTempDir(), QStringLiteral("GfxTemp"));

    BuildFilters();
}

TGfxDialog::~TGfxDialog()
{
    delete open_dialog_;
    delete save_dialog_;
}

QString TGfxDialog::LoadDirectory() const
{
    return open_dialog_ ? open_dialog_->directory().absolutePath() : QString();
}

void TGfxDialog::setLoadDirectory(const QString& value)
{
    if (open_dialog_) open_dialog_->setDirectory(value);
}

QString TGfxDialog::LoadFileName() const
{
    return fileName(open_dialog_);
}

void TGfxDialog::setLoadFileName(const QString& value)
{
    selectFileName(open_dialog_, value);
}

QString TGfxDialog::SaveDirectory() const
{
    return save_dialog_ ? save_dialog_->directory().absolutePath() : QString();
}

void TGfxDialog::setSaveDirectory(const QString& value)
{
    if (save_dialog_) save_dialog_->setDirectory(value);
}

QString TGfxDialog::SaveFileName() const
{
    return fileName(save_dialog_);
}

void TGfxDialog::setSaveFileName(const QString& value)
{
    selectFileName(save_dialog_, value);
}

int TGfxDialog::SaveFilterIndex() const
{
    if (!save_dialog_) return 0;
    return int(save_dialog_->nameFilters().indexOf(save_dialog_->selectedNameFilter())) + 1;
}

void TGfxDialog::setSaveFilterIndex(int value)
{
    if (!save_dialog_) return;
    const QStringList filters = save_dialog_->nameFilters();
    if (value >= 1 && value <= filters.size()) save_dialog_->selectNameFilter(filters.at(value - 1));
}

void TGfxDialog::setJpegSize(int value)
{
    jpeg_size_ = std::clamp(value, 0, 2);
}

void TGfxDialog::setPhotoCDSize(int value)
{
    photo_cd_size_ = std::clamp(value, 0, 2);
}

void TGfxDialog::BuildFilters()
{
    if (!loadLibrary()) return;
    const auto description = library_.find<TableTextFn>("_Pic_Description");
    const auto pattern = library_.find<TableTextFn>("_Pic_Pattern");
    const auto extension = library_.find<TableTextFn>("_Pic_Extension");
    const auto count = library_.find<CountFn>("_Pic_Count");
    if (description && pattern && extension && count) {
        const int formats = std::clamp(count(), 0, kMaxFormats);
        open_filter_ = library_text(description(0)) + '|' + library_text(pattern(0)) + '|';
        for (int i = 1; i <= formats; ++i) {
            open_filter_ += library_text(description(i)) + QStringLiteral(" (") + library_text(extension(i)) +
                            QStringLiteral(")|") + library_text(pattern(i)) + '|';
        }
        open_filter_ += QStringLiteral("All Files|*.*");
        if (open_dialog_) open_dialog_->setNameFilters(controls::nameFilters(open_filter_));
    }
    if (const auto save_formats = library_.find<SaveFormatsFn>("_Pic_GetSaveFormats")) {
        save_filter_ = library_text(save_formats());
        if (save_dialog_) save_dialog_->setNameFilters(controls::nameFilters(save_filter_));
    }
    finish();
}

bool TGfxDialog::ExecuteLoad()
{
    return open_dialog_ && execute(*open_dialog_);
}

bool TGfxDialog::ExecuteSave()
{
    return save_dialog_ && execute(*save_dialog_);
}

bool TGfxDialog::LoadPicture(QImage& picture)
{
    if (!loadLibrary()) return false;
    const auto any_to_bmp = library_.find<AnyToBmpFn>("_anytobmps");
    const QString source = LoadFileName();
    bool loaded = false;
    if (any_to_bmp && !source.isEmpty() && tempFileIsSafe(outputName())) {
        if (any_to_bmp(QFile::encodeName(source).constData(), QFile::encodeName(temp_file_name_).constData(), &record_,
                       photo_cd_size_ + 1, jpeg_size_)) {
            QImage image = controls::readBmpPicture(temp_file_name_);
            if (image.isNull()) image.load(temp_file_name_, "BMP");
            QFile::remove(temp_file_name_);
            // A picture that could not be made (out of memory) is no success.
            loaded = !image.isNull();
            if (loaded) picture = image;
        }
    }
    finish();
    return loaded;
}

bool TGfxDialog::SavePicture(const QImage& picture)
{
    if (!loadLibrary()) return false;
    const auto bmp_to_any = library_.find<BmpToAnyFn>("_bmptoanys");
    const QString output = outputName();
    bool saved = false;
    if (bmp_to_any && !output.isEmpty() && !picture.isNull() && tempFileIsSafe(output) && make_folder_for(output)) {
        // A 32-bit picture goes out as a 24-bit BMP, which the library reads;
        // any alpha is dropped, as no save type keeps it.
        const bool written = picture.convertToFormat(QImage::Format_RGB32).save(temp_file_name_, "BMP");
        if (written) {
            // The library puts the save type's extension on the name in
            // place, so it gets a writable copy with room to spare.
            const QByteArray encoded = QFile::encodeName(output);
            std::vector<char> name(std::max<std::size_t>(256, std::size_t(encoded.size()) + 16), '\0');
            std::copy(encoded.begin(), encoded.end(), name.begin());
            saved = bmp_to_any(QFile::encodeName(temp_file_name_).constData(), name.data(), &record_, SaveFilterIndex(),
                               jpeg_quality_) != 0;
            name.back() = '\0';
            if (saved) setSaveFileName(QFile::decodeName(name.data()));
        }
        QFile::remove(temp_file_name_);
    }
    finish();
    return saved;
}

bool TGfxDialog::ConvertFile()
{
    if (!loadLibrary()) return false;
    const auto convert = library_.find<ConvertFn>("_Pic_Convert");
    const QString source = LoadFileName();
    const QString output = outputName();
    bool converted = false;
    if (convert && !source.isEmpty() && !output.isEmpty() && make_folder_for(output)) {
        converted = convert(QFile::encodeName(source).constData(), QFile::encodeName(output).constData(), &record_,
                            photo_cd_size_ + 1, jpeg_size_, SaveFilterIndex(), jpeg_quality_) != 0;
        if (converted) setSaveFileName(output);
    }
    finish();
    return converted;
}

bool TGfxDialog::loadLibrary()
{
    if (!library_.load()) return false;
    record_.progress = ProgressCallback;
    return true;
}

void TGfxDialog::finish()
{
    if (auto_flush_) library_.unload();
}

// A save the user declines to replace a file with goes back to the dialog.
bool TGfxDialog::execute(QFileDialog& dialog)
{
    for (;;) {
        if (dialog.exec() != QDialog::Accepted) return false;
        const QString chosen = fileName(&dialog);
        if (!chosen.isEmpty()) {
            dialog.setDirectory(QFileInfo(chosen).absolutePath());
            selectFileName(&dialog, chosen);
        }
        if (&dialog != save_dialog_ || mayReplace(outputName())) return true;
    }
}

// Asks before the save replaces a file (or a link) under the name it will
// really write.
bool TGfxDialog::mayReplace(const QString& output) const
{
    const QFileInfo existing(output);
    if (output.isEmpty() || (!existing.exists() && !existing.isSymLink())) return true;
    QMessageBox question(QMessageBox::Warning, save_dialog_->windowTitle(),
                         QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(existing.fileName()),
                         QMessageBox::Yes | QMessageBox::No, save_dialog_->parentWidget());
    question.setObjectName(QStringLiteral("ReplaceQuestion"));
    question.setDefaultButton(QMessageBox::No);
    return question.exec() == QMessageBox::Yes;
}

// The file typed or picked in the dialog. With nothing chosen Qt answers
// with the dialog's folder, which is no file name.
QString TGfxDialog::fileName(const QFileDialog* dialog)
{
    if (!dialog) return {};
    const QString path = dialog->selectedFiles().value(0);
    return path.isEmpty() || QFileInfo(path).isDir() ? QString() : path;
}

void TGfxDialog::selectFileName(QFileDialog* dialog, const QString& value)
{
    if (!dialog) return;
    if (!value.isEmpty()) {
        dialog->selectFile(value);
        return;
    }
    // selectFile() ignores an empty name; the name field is the selection.
    if (auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) field->clear();
}

// The save dialog's file as the library will write it: with the extension
// of the chosen save type, taken from its "*.ext" pattern.
QString TGfxDialog::outputName() const
{
    const QString file = SaveFileName();
    if (file.isEmpty()) return {};
    return controls::nameForSaveType(file, save_filter_, SaveFilterIndex());
}

// The temporary file is written over and deleted; were it one of the
// user's own files (a chosen name can be anything), that file would be lost.
bool TGfxDialog::tempFileIsSafe(const QString& output) const
{
    return !temp_file_name_.isEmpty() && !same_file(temp_file_name_, LoadFileName()) &&
           !same_file(temp_file_name_, SaveFileName()) && !same_file(temp_file_name_, output);
}
