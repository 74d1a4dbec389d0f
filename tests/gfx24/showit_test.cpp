// TImageShow through _ShowImage: fitting to the screen, the status line, saving with S, the keys that close it.
#include "dialog_test_support.h"
#include "zarngfx24.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <functional>
#include <memory>
#include <string>

namespace {

using namespace zarn::test;

// Runs the export with `act` on its window; a window `act` leaves open is closed.
void run_show(const std::string& path, const std::function<void(QWidget&)>& act)
{
    WhenShown when("TImageShow", [&](QWidget& window) {
        act(window);
        if (window.isVisible()) static_cast<QDialog&>(window).reject();
    });
    _ShowImage(path.c_str(), 0);
    EXPECT_TRUE(when.seen());
}

QString description_of(const std::string& path)
{
    ScopedPic pic;
    const std::string bmp = temp_path("described.bmp");
    EXPECT_NE(_anytobmps(path.c_str(), bmp.c_str(), pic.get(), 3, 0), 0);
    return QString::fromLocal8Bit(pic->description);
}

TEST(ImageShow, SmallPictureCentredLargeOneShrunk)
{
    const std::string small = write_picture("small.bmp", 200, 100);
    run_show(small, [&](QWidget& window) {
        EXPECT_EQ(window.geometry(), QRect(0, 0, 1280, 1024));
        EXPECT_EQ(find_child<QLabel>(window, "Panel2")->text(),
                  QString::fromStdString(small) + "    " + description_of(small));
        // The image area is the screen less the 25-pixel status line.
        EXPECT_EQ(find_child<QWidget>(window, "AnyImage1")->geometry(), QRect(540, 449, 200, 100));
        const QImage screen = grabbed(window);
        const Rows rows = rgb_ramp(200, 100);
        const std::uint8_t* rgb = &rows[50][3 * 100];
        EXPECT_EQ(pixel(screen, 640, 499), QColor(rgb[0], rgb[1], rgb[2]));
        EXPECT_EQ(pixel(screen, 10, 10), QColor(Qt::black));
    });
    const std::string large = write_picture("large.bmp", 2560, 1024);
    run_show(large, [&](QWidget& window) {
        EXPECT_EQ(find_child<QWidget>(window, "AnyImage1")->geometry(), QRect(0, (999 - 512) / 2, 1280, 512));
    });
}

TEST(ImageShow, SKeySavesAndKeepsTheWindow)
{
    const std::string path = write_picture("shown.bmp", 30, 20);
    const std::string saved = temp_path("saved.bmp");
    run_show(path, [&](QWidget& window) {
        for (QFileDialog* dialog : window.findChildren<QFileDialog*>())
            if (dialog->acceptMode() == QFileDialog::AcceptSave) dialog->setObjectName("SaveDialog");
        const auto entries = folder_entries(temp_dir());
        {
            WhenShown cancel("SaveDialog", [](QWidget& dialog) { static_cast<QDialog&>(dialog).reject(); });
            QTest::keyClick(&window, Qt::Key_S);
            EXPECT_TRUE(cancel.seen());
        }
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(folder_entries(temp_dir()), entries) << "nothing written";
        {
            WhenShown save("SaveDialog", [&](QWidget& dialog) {
                // The name field has the focus, where selectFile() leaves it alone.
                find_child<QLineEdit>(dialog, "fileNameEdit")->setText(QString::fromStdString(saved));
                static_cast<QDialog&>(dialog).accept();
                if (dialog.isVisible()) static_cast<QDialog&>(dialog).reject();
            });
            QTest::keyClick(&window, Qt::Key_S, Qt::ShiftModifier);
            EXPECT_TRUE(save.seen());
        }
        EXPECT_TRUE(window.isVisible());
        ScopedPic pic;
        ASSERT_NE(_Pic_Read(saved.c_str(), pic.get(), 3, 0), 0);
        EXPECT_EQ(pixel_rows(*pic), rgb_ramp(30, 20));
    });
}

// Names the window's save dialog "SaveDialog", for WhenShown.
void name_save_dialog(QWidget& window)
{
    for (QFileDialog* dialog : window.findChildren<QFileDialog*>())
        if (dialog->acceptMode() == QFileDialog::AcceptSave) dialog->setObjectName("SaveDialog");
}

void type_and_accept(QWidget& dialog, const QString& name)
{
    find_child<QLineEdit>(dialog, "fileNameEdit")->setText(name);
    static_cast<QDialog&>(dialog).accept();
    if (dialog.isVisible()) static_cast<QDialog&>(dialog).reject();
}

void answer(QWidget& box, QMessageBox::StandardButton button)
{
    static_cast<QMessageBox&>(box).button(button)->click();
}

TEST(ImageShow, SaveWritesTheNamedFileAndAsksBeforeReplacingIt)
{
    const std::string path = write_picture("shown.bmp", 30, 20);
    const std::string other = temp_path("other.bmp");
    const Bytes kept{'k', 'e', 'p', 't'};
    write_file(other, kept);
    const auto written = [](const std::string& file) {
        ScopedPic pic;
        return _Pic_Read(file.c_str(), pic.get(), 3, 0) != 0 && pixel_rows(*pic) == rgb_ramp(30, 20);
    };
    run_show(path, [&](QWidget& window) {
        name_save_dialog(window);
        // "other" in the BMP type is written as other.bmp, which is there:
        // No goes back to the dialog, where a name in a new folder is taken.
        {
            std::unique_ptr<WhenShown> again;
            WhenShown first("SaveDialog", [](QWidget& dialog) { type_and_accept(dialog, "other"); });
            WhenShown question("ReplaceQuestion", [&](QWidget& box) {
                EXPECT_TRUE(static_cast<QMessageBox&>(box).text().startsWith("other.bmp"));
                again = std::make_unique<WhenShown>("SaveDialog",
                                                    [](QWidget& dialog) { type_and_accept(dialog, "out/fs_save"); });
                answer(box, QMessageBox::No);
            });
            QTest::keyClick(&window, Qt::Key_S);
            EXPECT_TRUE(first.seen());
            EXPECT_TRUE(question.seen());
            EXPECT_TRUE(again && again->seen());
        }
        EXPECT_EQ(read_file(other), kept);
        EXPECT_TRUE(written(temp_path("out/fs_save.bmp")));
        {
            WhenShown save("SaveDialog", [](QWidget& dialog) { type_and_accept(dialog, "other"); });
            WhenShown yes("ReplaceQuestion", [](QWidget& box) { answer(box, QMessageBox::Yes); });
            QTest::keyClick(&window, Qt::Key_S);
            EXPECT_TRUE(yes.seen());
        }
        EXPECT_TRUE(written(other));
        // A name that cannot be written (under a file) is reported.
        {
            WhenShown save("SaveDialog", [](QWidget& dialog) { type_and_accept(dialog, "other.bmp/inside"); });
            WhenShown failure("SaveFailure", [](QWidget& box) { answer(box, QMessageBox::Ok); });
            QTest::keyClick(&window, Qt::Key_S);
            EXPECT_TRUE(failure.seen());
        }
        EXPECT_TRUE(written(other));
        EXPECT_TRUE(window.isVisible());
    });
}

TEST(ImageShow, KeysAndClicksClose)
{
    const std::string path = write_picture("shown.bmp", 30, 20);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space, Qt::Key_X}) {
        run_show(path, [&](QWidget& window) {
            QTest::keyClick(&window, Qt::Key_Shift);
            EXPECT_TRUE(window.isVisible()) << "a modifier alone is no key";
            QTest::keyClick(&window, key);
            EXPECT_FALSE(window.isVisible()) << key;
        });
    }
    run_show(path, [&](QWidget& window) {
        QTest::mouseClick(find_child<QWidget>(window, "AnyImage1"), Qt::LeftButton);
        EXPECT_FALSE(window.isVisible());
    });
}

}  // namespace
