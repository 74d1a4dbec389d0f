// TForm4: the full-screen window, the picture alone on black.
#pragma once

#include <QDialog>
#include <QImage>

class QScreen;
class TAnyImage;

// What the full-screen window asks of the window that opens it.
class FullScreenHost {
public:
    // The screen to cover: the one the main window is on.
    virtual const QScreen* hostScreen() const = 0;
    // True when pictures are shown reduced to 256 colours ("Display").
    virtual bool showsReducedColours() const = 0;

protected:
    ~FullScreenHost() = default;
};

class TForm4 : public QDialog {
    Q_OBJECT
public:
    // Created once at start-up, after the preferences dialog, and kept.
    explicit TForm4(const FullScreenHost& host);
    ~TForm4() override;

    // Gives the picture control a copy of `picture` and shows the window
    // modally until a key or a click closes it.
    void ShowPicture(const QImage& picture);

    void FormShow();
    void FormKeyDown();
    void FormClick();
    void AnyImage1Click();

    TAnyImage* AnyImage1 = nullptr;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const FullScreenHost& host_;
};
