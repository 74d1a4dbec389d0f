// The main window as the X server shows it, kept as a build artifact (test-artifacts/show-main-window.png).
#include "picturebox.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QScreen>

namespace {

using namespace zarn::test;

// One pixel of the window as the X server holds it.
QColor on_screen(QWidget& window, QPoint at)
{
    return QColor(window.screen()->grabWindow(window.winId(), at.x(), at.y(), 1, 1).toImage().pixel(0, 0));
}

TEST(Screenshot, MainWindowUnderXvfb)
{
    TForm1 form;
    form.LoadImage(QString::fromStdString(ZARN_SOURCE_DIR) + "/samples/colour-wheel.bmp");
    ASSERT_TRUE(showAndWait(form));
    // What the X server holds for the picture is the picture, once painted.
    const QPoint at = child(form, "Image1")->mapTo(&form, QPoint(80, 60));
    const QImage picture = child<TPictureBox>(form, "Image1")->Picture();
    ZARN_WAIT_EQ(on_screen(form, at), QColor(picture.pixel(80, 60)), 5000);
    const QPixmap shot = form.screen()->grabWindow(form.winId());
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(artifactDir() + "/show-main-window.png"));
}

TEST(Screenshot, WindowIsRepaintedBeforeALoadBlocks)
{
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp8("first.bmp", 300, 200)));
    ASSERT_TRUE(showAndWait(form));
    // A window over the form that goes away as the load starts, as the open
    // dialog does; nothing paints what it uncovers but the form itself.
    QWidget cover(nullptr, Qt::Window | Qt::FramelessWindowHint);
    cover.setAutoFillBackground(true);
    QPalette red = cover.palette();
    red.setColor(QPalette::Window, Qt::red);
    cover.setPalette(red);
    cover.setGeometry(form.geometry());
    ASSERT_TRUE(showAndWait(cover));
    const QPoint toolbar = child(form, "Panel5")->mapTo(&form, QPoint(150, 27));  // below the buttons
    ZARN_WAIT_EQ(on_screen(form, toolbar), QColor(Qt::red), 5000);

    cover.hide();
    form.LoadImage(QString::fromStdString(write_bmp8("second.bmp", 300, 200)));
    // No event has been handled since the cover went: what the server shows
    // was painted by the load itself.
    EXPECT_NE(on_screen(form, toolbar), QColor(Qt::red));
}

}  // namespace
