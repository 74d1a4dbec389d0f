// A screen of twice the pixel density: the full-size picture is copied pixel for pixel, selections in picture pixels.
#include "picturebox.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QScreen>

#include <cstdlib>

namespace {

using namespace zarn::test;

// Before the test program's QApplication exists.
const bool kScaled = [] { return ::setenv("QT_SCALE_FACTOR", "2", 1) == 0; }();

// The picture control as the screen shows it, in screen pixels.
QImage on_screen(TForm1& form)
{
    TPictureBox* picture = picture_of(form);
    const QPoint at = picture->mapTo(&form, QPoint(0, 0));
    return form.screen()
        ->grabWindow(form.winId(), at.x(), at.y(), picture->width(), picture->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

TEST(HighDensity, FullSizeShowsOnePicturePixelPerScreenPixel)
{
    ASSERT_TRUE(kScaled);
    TForm1 form;
    ASSERT_DOUBLE_EQ(form.devicePixelRatioF(), 2.0);
    // Every pixel differs from its neighbours in each channel: a doubled,
    // smoothed or shifted copy cannot match.
    form.LoadImage(QString::fromStdString(write_bmp24("ramp.bmp", 64, 48)));
    ASSERT_TRUE(showAndWait(form));
    EXPECT_EQ(picture_of(form)->size(), QSize(32, 24));
    // The window fits the picture's size over the ratio.
    EXPECT_EQ(form.size(), QSize(339, 264));
    form.TopBarClick();
    form.SideBarClick();
    ZARN_WAIT_EQ(form.size(), QSize(32 + 4, 24 + 24), 5000);

    QImage shown;
    const auto matches = [&] {
        shown = on_screen(form);
        if (shown.size() != QSize(64, 48)) return false;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                if (pixel(shown, x, y) != expected24(64, 48, x, y)) return false;
        return true;
    };
    ZARN_WAIT_TRUE(matches(), 5000);
    ASSERT_EQ(shown.size(), QSize(64, 48));
    EXPECT_EQ(pixel(shown, 63, 47), expected24(64, 48, 63, 47));

    // The toolbar pictures are drawn for the screen's density.
    EXPECT_DOUBLE_EQ(child<TMButton>(form, "MButton2")->Bitmap().devicePixelRatio(), 2.0);
}

TEST(HighDensity, SelectionAndCropAreInPicturePixels)
{
    write_settings("CropStep=1\n");
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("ramp.bmp", 64, 48)));
    ASSERT_TRUE(showAndWait(form));
    // Half a control pixel is one picture pixel.
    TPictureBox* picture = picture_of(form);
    QTest::mousePress(picture, Qt::RightButton, {}, QPoint(5, 4));
    QTest::mouseMove(picture, QPoint(20, 14));
    QTest::mouseRelease(picture, Qt::RightButton, {}, QPoint(20, 14));
    form.PopupMenu1->hide();
    EXPECT_EQ(form.windowTitle(), "Show - 1 Pixel Crop : 30x20");
    form.cropClick();
    EXPECT_EQ(picture->Picture().size(), QSize(30, 20));
    EXPECT_EQ(QColor(picture->Picture().pixel(0, 0)), expected24(64, 48, 10, 8));
}

}  // namespace
