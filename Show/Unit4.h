// TForm4: the full-screen window, the picture alone on black.
#pragma once

#include <QDialog>
#include <QImage>

class TForm1;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    // Created once at start-up, after the preferences dialog, and kept.
    explicit TForm4(TForm1& main);
    ~TForm4() override;

    // Gives the picture control a copy of `picture` and shows the window
    // modally until a key or a click closes it.
    void ShowPicture(const QImage& picture);

private:
    TForm1& main_;
};
