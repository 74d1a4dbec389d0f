// TAdjuster24: the photo adjustment dialog: five tone sliders over a preview of the area the navigator picks.
#pragma once

#include "dialog_session.h"

#include <QDialog>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <memory>

class QTimer;

namespace Ui {
class TAdjuster24;
}

// What the dialog's components are:
//   ScrollBox2, Image2  the navigator: the whole picture at half size, scrolled to the area to
//                       preview; a click on it refreshes the preview (Image2Click)
//   ScrollBox1, Image1  the preview of that area with the sliders applied
//   Panel2              redbar, greenbar, bluebar with their values in Label1-3
//   Panel1              brightbar, contbar with their values in Label4, Label5
//   update              refreshes the preview (updateClick); Progbar1 the library's progress
//   Button1 Ok (OkClick), 2 Cancel, 3 Reset, every slider to 0 (ResetClick)
//   Timer1              once a second: the preview follows the navigator when it has stopped
//                       moving (Timer1Timer); barChange follows every slider
class TAdjuster24 : public QDialog {
    Q_OBJECT
public:
    explicit TAdjuster24(QWidget* parent = nullptr);
    ~TAdjuster24() override;
    TAdjuster24(const TAdjuster24&) = delete;
    TAdjuster24& operator=(const TAdjuster24&) = delete;

    void setFile(const QString& path) { file_ = path; }
    // Reads the file's header into the record: true for a 24-bit bitmap.
    bool CheckImage();
    // Set by "Ok" only.
    bool Confirmed() const { return confirmed_ != 0; }
    // True once the close handler has really written the change into the file.
    bool Rewritten() const { return rewritten_; }

    // Every close path (Ok, Cancel, the close box, Esc) ends here; the
    // close handler runs on the first of them only.
    void done(int result) override;

    static void ShowProgress(std::int32_t current, std::int32_t total);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void FormClose();
    void ResetClick();
    void OkClick();
    void CancelClick();
    void updateClick();
    void Image2Click();
    void barChange();
    void Timer1Timer();

    void RefreshPreview();
    QPoint navigatorPosition() const;
    QPoint cropOrigin() const;
    void removeTemporaryFiles();

    std::unique_ptr<Ui::TAdjuster24> ui;
    QTimer* Timer1;
    gfx24::Record record_;
    QString file_;
    QString processed_file_;
    QString cropped_file_;
    std::int32_t confirmed_ = 0;
    std::int32_t locked_ = 1;
    std::int32_t crop_pending_ = 0;
    std::int32_t last_seen_ = 0;
    std::int32_t last_horizontal_ = 0;
    std::int32_t last_vertical_ = 0;
    std::int32_t file_width_ = 0;  // the file's size when shown; the record follows each library call
    std::int32_t file_height_ = 0;
    std::int32_t preview_width_ = 0;
    std::int32_t preview_height_ = 0;
    bool shown_ = false;
    bool closed_ = false;
    bool rewritten_ = false;

    static inline TAdjuster24* instance_ = nullptr;
};
