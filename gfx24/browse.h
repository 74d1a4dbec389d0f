// TImageForm: the image browser: a folder tree, the folder's image files and a square preview of the one picked.
#pragma once

#include "dialog_session.h"

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

class SettingsStore;

namespace gfx24 {
class ThumbnailGrid;
}

namespace Ui {
class TImageForm;
}

class TImageForm : public QDialog {
    Q_OBJECT
public:
    // The longest path, in bytes, that fits the caller's buffer with its end mark.
    static constexpr int kPathBytes = 255;

    explicit TImageForm(QWidget* parent = nullptr);
    ~TImageForm() override;
    TImageForm(const TImageForm&) = delete;
    TImageForm& operator=(const TImageForm&) = delete;

    // Takes the caller's start path: the tree and the file list open on its
    // folder (the nearest one that exists) and the list selects its file.
    void Start(const QByteArray& path);
    // The chosen file's path, or empty when nothing was chosen.
    QByteArray Choice() const;

    // Every close path (a choice, Esc, the close box) ends here; the close
    // handler runs on the first of them only.
    void done(int result) override;

    static void ShowProgress(std::int32_t current, std::int32_t total);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void FormResize();
    void FormClose();
    void FormClick();
    void Choose();
    void FileListBox1Click();
    // The grid of thumbnails in the list's place, or the list again; the
    // same file stays picked.
    void GridButtonClick(bool on);
    void FileGrid1Pick(int row);
    void DirTree1Change();
    void DirTree1AddDir(const QString& Filename, bool& DoAdd);
    // Handles Enter, Space and Esc from the window or the file list.
    bool FormKeyPress(int key);
    // The picked file's operations (browse_file_operations.cpp): Delete to
    // the trash, Shift+Delete for good, F2 rename, Ctrl+R and Ctrl+Shift+R
    // turn a JPEG file on disk; also on the list's and the grid's menu.
    void ConnectFileOperations();
    void FileMenu(QPoint at);
    bool FileOperationKey(const QKeyEvent& event);
    void DeleteFile(bool for_good);
    void RenameFile();
    void TurnFile(int turn);
    void ListAgain(const QString& name, int row);

    // The file list: the folder's files that match the library's pattern,
    // ignoring case. A path ending in "/" only changes the folder; false when
    // the folder cannot be read, the list then staying as it was.
    bool SetFileName(const QString& path);
    void ListFolder(const QString& folder);
    QString FileListPath() const;

    void FitFrame();
    void PlaceControls();
    void RestoreGeometry();

    std::unique_ptr<Ui::TImageForm> ui;
    std::unique_ptr<SettingsStore> settings;
    gfx24::ThumbnailGrid* grid = nullptr;  // beside the file list in FileStack1
    gfx24::Record record;
    QStringList mask;
    QString folder;           // the folder the file list shows, ending in "/"
    QString preview_file;     // the converted image on show
    QImage picture;           // the picture on show, null until one loads
    QString path;             // the file on show, also the start path
    std::int32_t kind = 0;    // the library's format code of the file on show
    std::int32_t chosen = 0;  // set when the user chooses the file on show
    std::int32_t fitted = 0;  // set once the frame has been fitted to a picture
    int pressed_row = -1;     // the file list's selected row when the mouse went down, else -1
    bool shown = false;
    bool closed = false;

    static inline TImageForm* instance = nullptr;
};
