// TSizeIt: the resize dialog: a new width and height for a BMP file, which "Ok" resizes in place.
#pragma once

#include "dialog_session.h"

#include <QByteArray>
#include <QDialog>

#include <cstdint>
#include <memory>

class TNumEdit;

namespace Ui {
class TSizeIt;
}

// What the dialog's numbered components are:
//   NumEdit1, NumEdit2  the new width and height; CheckBox1 keeps the proportions, the height then
//                       following the width
//   Button1 Ok (resizes at close), 2 Cancel; presets Button3 320 x 240, 4 640 x 480, 5 800 x 600,
//   6 1024 x 768, and of the file's own size 7 50%, 8 75%, 9 150%, 10 200%
class TSizeIt : public QDialog {
    Q_OBJECT
public:
    explicit TSizeIt(QWidget* parent = nullptr);
    ~TSizeIt() override;

    // Takes the file and reads its header into the record; false when it is
    // no BMP with a size, so there is nothing to resize.
    bool LoadFile(const char* path);
    // Whether the close handler really rewrote the file at the chosen size.
    bool Resized() const { return resized; }

    void FormShow();
    void NumEdit1Change();
    void CheckBox1Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button10Click();
    void FormClose();

    static void ShowProgress(std::int32_t current, std::int32_t total);

    // Every close path (Ok, Cancel, the close box, Esc) ends here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // A preset: the height only when the proportions are free, then the
    // width, whose change rule sets the height otherwise.
    void SetPreset(std::int64_t width, std::int64_t height);
    bool ResizeFile(int width, int height);
    void ShowClamped(TNumEdit* edit);

    std::unique_ptr<Ui::TSizeIt> ui;
    std::int32_t ratio = 0;      // the file's height x 100 / its width, whole percent
    std::int32_t confirmed = 0;  // set by "Ok"
    QByteArray file;
    gfx24::Record record;
    bool resized = false;
    bool closed = false;

    static inline TSizeIt* instance = nullptr;
};
