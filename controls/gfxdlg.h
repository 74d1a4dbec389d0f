// TGfxDialog: open and save dialogs that move pictures between files of any format through the image library.
#pragma once

#include "zarngfx.h"
#include "zarngfx_module.h"

#include <QFileDialog>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

// A non-visual component: an open dialog and a save dialog whose filters come
// from the image library's format table, and the conversions between their
// files and pictures. The library is loaded by name on first use and stays
// loaded until the component goes, unless AutoFlush is set. Failures show as
// false results, never as messages.
class TGfxDialog : public QObject {
    Q_OBJECT
public:
    // The dialogs are children of `parent`; the component is too, so it goes
    // first and takes the dialogs with it.
    explicit TGfxDialog(QWidget* parent = nullptr);
    ~TGfxDialog() override;
    TGfxDialog(const TGfxDialog&) = delete;
    TGfxDialog& operator=(const TGfxDialog&) = delete;

    // The file and folder properties live in the dialogs themselves.
    QString LoadDirectory() const;
    void setLoadDirectory(const QString& value);
    QString LoadFileName() const;
    void setLoadFileName(const QString& value);
    QString SaveDirectory() const;
    void setSaveDirectory(const QString& value);
    QString SaveFileName() const;
    void setSaveFileName(const QString& value);
    // The save dialog's chosen entry, 1 for the first: the library's save type.
    int SaveFilterIndex() const;
    void setSaveFilterIndex(int value);

    QString TempFileName() const { return temp_file_name_; }
    void setTempFileName(const QString& value) { temp_file_name_ = value; }
    bool AutoFlush() const { return auto_flush_; }
    void setAutoFlush(bool value) { auto_flush_ = value; }
    int JpegQuality() const { return jpeg_quality_; }
    void setJpegQuality(int value) { jpeg_quality_ = value; }
    int JpegSize() const { return jpeg_size_; }
    void setJpegSize(int value);  // 0..2
    // 0, 1, 2 pick 192 x 128, 384 x 256, 768 x 512; the library counts from 1.
    int PhotoCDSize() const { return photo_cd_size_; }
    void setPhotoCDSize(int value);  // 0..2

    // Called by the library once per row while it converts; none by default.
    PicProgress ProgressCallback = nullptr;
    // The record lent to the library; after a call it holds the image's size,
    // kind and description.
    const PicImage& Record() const { return record_; }

    // The filters as the library's bar-separated "description|pattern|" texts.
    QString OpenFilter() const { return open_filter_; }
    QString SaveFilter() const { return save_filter_; }

    QFileDialog* OpenDialog() const { return open_dialog_; }
    QFileDialog* SaveDialog() const { return save_dialog_; }

    void BuildFilters();
    // Run the dialog; on OK its folder becomes the chosen file's folder.
    bool ExecuteLoad();
    bool ExecuteSave();
    // The open dialog's file, in any format, into `picture`.
    bool LoadPicture(QImage& picture);
    // `picture` into the save dialog's file, in the chosen save type.
    bool SavePicture(const QImage& picture);
    // The open dialog's file straight into the save dialog's file and type.
    bool ConvertFile();

private:
    bool loadLibrary();
    void finish();
    bool execute(QFileDialog& dialog);
    bool mayReplace(const QString& output) const;
    static QString fileName(const QFileDialog* dialog);
    static void selectFileName(QFileDialog* dialog, const QString& value);
    QString outputName() const;
    bool tempFileIsSafe(const QString& output) const;

    controls::ZarngfxModule library_;
    PicImage record_{};
    QPointer<QFileDialog> open_dialog_;
    QPointer<QFileDialog> save_dialog_;
    QString open_filter_;
    QString save_filter_;
    QString temp_file_name_;
    bool auto_flush_ = false;
    int jpeg_quality_ = 80;
    int jpeg_size_ = 0;
    int photo_cd_size_ = 2;
};
