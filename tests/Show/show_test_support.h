// Viewer tests: pictures written by hand, and a main window that closes with the test.
#pragma once

#include "Unit1.h"
#include "mbutton.h"
#include "picturebox.h"
#include "test_support.h"
#include "ui_test_env.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QTest>

#include <memory>

namespace zarn::test {

// A 24-bit BMP whose every pixel differs from its neighbours in each channel.
inline std::string write_bmp24(const std::string& name, int width, int height)
{
    const std::string path = temp_path(name);
    BmpBuilder().size(width, height).bits(24).pixels(rgb_ramp(width, height)).write(path);
    return path;
}

// An 8-bit BMP over a grey palette, index = grey level.
inline std::string write_bmp8(const std::string& name, int width, int height)
{
    const std::string path = temp_path(name);
    BmpBuilder().size(width, height).bits(8).palette(grey_ramp(256)).pixels(ramp(width, height)).write(path);
    return path;
}

// A 1-bit BMP, black and white, of `rows` packed most significant bit first.
inline std::string write_mono_bmp(const std::string& name, int width, const Rows& rows)
{
    const std::string path = temp_path(name);
    BmpBuilder().size(width, int(rows.size())).bits(1).palette({0, 0, 0, 255, 255, 255}).pixels(rows).write(path);
    return path;
}

inline QColor expected24(int width, int height, int x, int y)
{
    const Rows rows = rgb_ramp(width, height);
    const Bytes& row = rows[std::size_t(y)];
    const std::size_t at = std::size_t(x) * 3;
    return QColor(row[at], row[at + 1], row[at + 2]);
}

// The settings file's [Show] group written before the window reads it.
inline void write_settings(const std::string& lines)
{
    write_file(std::string(std::getenv("XDG_CONFIG_HOME")) + "/Zarn.ini", [&] {
        const std::string text = "[Show]\n" + lines;
        return Bytes(text.begin(), text.end());
    }());
}

inline std::string settings_text()
{
    const Bytes bytes = read_file(std::string(std::getenv("XDG_CONFIG_HOME")) + "/Zarn.ini");
    return std::string(bytes.begin(), bytes.end());
}

// Counts the file dialogs shown while it lives and closes each at once: the
// dialog's Show arrives inside its own modal loop, which then takes the
// queued reject.
class FileDialogWatch : public QObject {
public:
    FileDialogWatch() { QApplication::instance()->installEventFilter(this); }
    ~FileDialogWatch() override { QApplication::instance()->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (auto* dialog = qobject_cast<QFileDialog*>(watched); dialog && event->type() == QEvent::Show) {
            ++shown;
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        }
        return false;
    }
};

template <class T = QWidget>
T* child(QObject& parent, const char* name)
{
    return parent.findChild<T*>(QLatin1String(name));
}

inline QString label(TForm1& form, const char* name)
{
    return child<QLabel>(form, name)->text();
}

inline TPictureBox* picture_of(TForm1& form)
{
    return child<TPictureBox>(form, "Image1");
}

}  // namespace zarn::test
