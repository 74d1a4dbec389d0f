// TImageShow: one image on a black full-screen window, with its path and description below.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class TGfxDialog;

namespace Ui {
class TImageShow;
}

// A click or a key closes it; S saves the image under a new name and
// format and leaves the window open.
class TImageShow : public QDialog {
    Q_OBJECT
public:
    explicit TImageShow(QWidget* parent = nullptr);
    ~TImageShow() override;
    TImageShow(const TImageShow&) = delete;
    TImageShow& operator=(const TImageShow&) = delete;

    // Loads the file into the image control, in 256 colours when asked.
    void setImage(const QString& path, bool force256);

    void FormResize();
    void SaveImage();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void PlacePanels();

    std::unique_ptr<Ui::TImageShow> ui;
    TGfxDialog* GfxDialog1;
    bool pressed = false;  // a mouse press in the window, which its release turns into a click
};
