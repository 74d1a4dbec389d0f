// TForm4: the picture alone on a black screen, at its own size or fitted, closed by any key or click.
#include "../gfx24/dialog_test_support.h"
#include "Unit4.h"
#include "anyimage.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace {

using namespace zarn::test;

// Runs `act` on the full-screen window once it is on screen; a window the
// action left open is closed so the test never hangs, and counts as a failure.
void show_and_act(TForm1& form, const QImage& picture, const std::function<void(TForm4&)>& act)
{
    bool closed_by_act = false;
    WhenShown when_shown("TForm4", [&](QWidget& window) {
        act(static_cast<TForm4&>(window));
        closed_by_act = !window.isVisible();
        if (!closed_by_act) window.close();
    });
    form.Form4->ShowPicture(picture);
    EXPECT_TRUE(when_shown.seen());
    EXPECT_TRUE(closed_by_act);
}

TEST(FullScreen, SmallPictureAtItsOwnSizeCentredOnBlack)
{
    TForm1 form;
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) picture.setPixel(x, y, qRgb(x * 4, y * 5, 200));
    show_and_act(form, picture, [&](TForm4& window) {
        EXPECT_EQ(window.windowTitle(), "Image");
        EXPECT_EQ(window.geometry(), QRect(0, 0, 1280, 1024));
        EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
        const QPoint at((1280 - 64) / 2, (1024 - 48) / 2);
        EXPECT_EQ(window.AnyImage1->geometry(), QRect(at, QSize(64, 48)));
        const QImage shown = grabbed(window);
        for (const QPoint corner : {QPoint(0, 0), QPoint(1279, 1023), at - QPoint(1, 1), at + QPoint(64, 48)})
            EXPECT_EQ(pixel(shown, corner.x(), corner.y()), QColor(Qt::black)) << corner.x() << "," << corner.y();
        for (const QPoint inside : {QPoint(0, 0), QPoint(63, 47), QPoint(31, 20)})
            EXPECT_EQ(pixel(shown, at.x() + inside.x(), at.y() + inside.y()), QColor(picture.pixel(inside)));
        QTest::keyClick(&window, Qt::Key_Space);
    });
    // Esc and a plain letter close it too.
    show_and_act(form, picture, [](TForm4& window) { QTest::keyClick(&window, Qt::Key_Escape); });
    show_and_act(form, picture, [](TForm4& window) { QTest::keyClick(&window, Qt::Key_Q); });
}

TEST(FullScreen, LargePictureFittedKeepingItsProportions)
{
    TForm1 form;
    // Twice as wide as the screen: red on the left half, blue on the right.
    QImage picture(2560, 1024, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QPainter(&picture).fillRect(1280, 0, 1280, 1024, Qt::blue);
    show_and_act(form, picture, [](TForm4& window) {
        EXPECT_EQ(window.AnyImage1->geometry(), QRect(0, 256, 1280, 512));
        const QImage shown = grabbed(window);
        EXPECT_EQ(pixel(shown, 640, 100), QColor(Qt::black));
        EXPECT_EQ(pixel(shown, 640, 900), QColor(Qt::black));
        EXPECT_EQ(pixel(shown, 320, 512), QColor(Qt::red));
        EXPECT_EQ(pixel(shown, 960, 512), QColor(Qt::blue));
        QTest::mouseClick(window.AnyImage1, Qt::LeftButton, {}, QPoint(100, 100));
    });
    // A click on the black around the picture closes it as well.
    show_and_act(form, picture,
                 [](TForm4& window) { QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(640, 50)); });
}

TEST(FullScreen, ShrunkPictureShowsTheMeanOfFinePatterns)
{
    TForm1 form;
    // One-pixel squares of black and white at twice the screen's size: only
    // an average shows them as grey.
    QImage picture(2560, 2048, QImage::Format_RGB32);
    for (int y = 0; y < 2048; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < 2560; ++x) row[x] = (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    show_and_act(form, picture, [](TForm4& window) {
        EXPECT_EQ(window.AnyImage1->geometry(), QRect(0, 0, 1280, 1024));
        const QImage shown = grabbed(window);
        for (const QPoint at : {QPoint(0, 0), QPoint(640, 512), QPoint(1279, 1023)}) {
            const QColor colour = pixel(shown, at.x(), at.y());
            EXPECT_NEAR(colour.red(), 128, 1) << at.x() << "," << at.y();
            EXPECT_NEAR(colour.blue(), 128, 1) << at.x() << "," << at.y();
        }
        QTest::keyClick(&window, Qt::Key_Space);
    });
}

}  // namespace
