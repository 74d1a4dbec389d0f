// TSlideShow: the timed full-screen show of every image file in one folder.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

class QTimer;

namespace Ui {
class TSlideShow;
}

// A frameless window over the whole screen: the image above, a black bar
// below with the load progress, the position, the file's name and
// description, and the buttons. The timer shows the image at `position`
// and moves on; the delay counts from the end of each load.
class TSlideShow : public QDialog {
    Q_OBJECT
public:
    explicit TSlideShow(QWidget* parent = nullptr);
    ~TSlideShow() override;
    TSlideShow(const TSlideShow&) = delete;
    TSlideShow& operator=(const TSlideShow&) = delete;

    // The export's arguments, in its order; -1 seconds stands for 1000.
    void setShow(const QString& folder, std::int32_t delay, std::int32_t force256, std::int32_t loop,
                 std::int32_t validOnly, std::int32_t beep);

    // How many end beeps have sounded in this window.
    int BeepCount() const { return beeps; }

    // Tests only: how long one second of the delay lasts, in milliseconds
    // (1000 unless a test shortens it). Read when the window shows.
    static void setSecondLength(int milliseconds);

    void FormShow();
    // `step` is the direction of travel (-1 for "<"): a file that cannot be
    // read is passed over that way.
    void ShowPosition(std::int32_t i, int step = 1);
    void Timer1Timer();
    void startbuttonClick();
    void backbuttonClick();
    void pausebuttonClick();
    void nextbuttonClick();
    void closebuttonClick();

    static void ShowProgress(std::int32_t current, std::int32_t total);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ListFiles();
    void PlacePanels();
    void FitImage();
    bool ShowFile(std::int32_t index);
    bool Paused() const;

    std::unique_ptr<Ui::TSlideShow> ui;
    QTimer* Timer1;
    QString folder;
    std::int32_t delay = 0;
    std::int32_t force256 = 0;
    std::int32_t endlessLoop = 0;
    std::int32_t validOnly = 0;
    std::int32_t beepAtEnd = 0;
    std::int32_t endFlag = 0;
    std::int32_t position = 0;
    std::int32_t onShow = -1;  // index of the picture on screen; -1 before the first has loaded
    int beeps = 0;
    bool shown = false;
    bool pressed = false;  // a mouse press on the image area, which its release turns into a click

    static inline TSlideShow* instance = nullptr;
    static inline int secondLength = 1000;
};
