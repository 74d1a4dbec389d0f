// TImCopy: the copy dialog: loads an image file of any readable format and puts it on the clipboard.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

class QImage;
class QTimer;

namespace Ui {
class TImCopy;
}

// Shows the path and the loading progress for at least a second, then copies
// the picture to the clipboard and closes itself.
class TImCopy : public QDialog {
    Q_OBJECT
public:
    explicit TImCopy(QWidget* parent = nullptr);
    ~TImCopy() override;
    TImCopy(const TImCopy&) = delete;
    TImCopy& operator=(const TImCopy&) = delete;

    void setFile(const QString& path) { file_ = path; }
    // True once a picture was loaded and handed to the clipboard.
    bool Copied() const { return copied_; }

    static void ShowProgress(std::int32_t current, std::int32_t total);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void Timer1Timer();
    void PutOnClipboard(const QImage& picture);

    std::unique_ptr<Ui::TImCopy> ui;
    QTimer* Timer1;
    QString file_;
    bool started_ = false;
    bool copied_ = false;

    static inline TImCopy* instance_ = nullptr;
};
