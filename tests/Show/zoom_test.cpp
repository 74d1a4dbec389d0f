// The main window's zoom: large pictures fitted, the zoom keys, the wheel around the pointer, the zoom panel,
// maximising.
#include "show_test_support.h"

#include "zoom_steps.h"

#include <gtest/gtest.h>

#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

using namespace zarn::test;

// Larger than the 1280x1024 test screen, in blocks of 40 picture pixels,
// each of its own colour, so a screen pixel names the block it shows at any zoom.
constexpr int kWidth = 2000, kHeight = 1500, kBlock = 40;

std::string write_blocks(const std::string& name)
{
    Rows rows(std::size_t(kHeight), Bytes(std::size_t(kWidth) * 3));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* at = &rows[std::size_t(y)][std::size_t(x) * 3];
            at[0] = std::uint8_t(x / kBlock * 5);
            at[1] = std::uint8_t(y / kBlock * 6);
            at[2] = std::uint8_t(128 + (x / kBlock + y / kBlock) % 2 * 64);
        }
    const std::string path = temp_path(name);
    BmpBuilder().size(kWidth, kHeight).bits(24).pixels(rows).write(path);
    return path;
}

QScrollArea* area_of(TForm1& form)
{
    return child<QScrollArea>(form, "ScrollBox1");
}

void load(TForm1& form, const std::string& path)
{
    ASSERT_TRUE(form.LoadImage(QString::fromStdString(path)));
    ASSERT_TRUE(showAndWait(form));
}

// The colour on screen at a point of the scroll box's viewport.
QColor shown_at(TForm1& form, QPoint in_view)
{
    const QPoint at = area_of(form)->viewport()->mapTo(&form, in_view);
    return QColor(form.screen()->grabWindow(form.winId(), at.x(), at.y(), 1, 1).toImage().pixel(0, 0));
}

void wheel(QWidget* view, QPoint at, int angle, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent turn(at, view->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, modifiers, Qt::NoScrollPhase,
                     false);
    QApplication::sendEvent(view, &turn);
}

TEST(Zoom, LargePictureOpensFittedUnlessFitLargeIsOff)
{
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const std::string path = write_blocks("large.bmp");
    {
        TForm1 form;
        load(form, path);
        EXPECT_TRUE(form.isFitted());
        EXPECT_LT(form.zoom(), 1.0);
        // The whole picture in the window, its aspect kept, the window within the screen.
        TPictureBox* picture = picture_of(form);
        EXPECT_NEAR(double(picture->width()) / picture->height(), double(kWidth) / kHeight, 0.01);
        EXPECT_LE(form.width(), screen.width() - 36);
        EXPECT_LE(form.height(), screen.height() - 64);
        EXPECT_TRUE(form.width() == screen.width() - 36 || form.height() == screen.height() - 64);
        EXPECT_FALSE(form.pictureLargerThanView());
        EXPECT_EQ(label(form, "Label3"), QString("Fit %1%").arg(std::lround(form.zoom() * 100)));
        // The core is told a size no smaller than the one shown, whichever
        // toolbars the picture will have.
        EXPECT_GE(form.fittedSize(QSize(kWidth, kHeight)).width(), std::lround(kWidth * form.zoom()));
        EXPECT_LT(form.fittedSize(QSize(kWidth, kHeight)).width(), std::lround(kWidth * form.zoom()) + 40);
        EXPECT_EQ(form.fittedSize(QSize(300, 200)), QSize(300, 200));
    }
    write_settings("FitLarge=0\n");
    TForm1 form;
    load(form, path);
    EXPECT_FALSE(form.isFitted());
    EXPECT_EQ(picture_of(form)->size(), QSize(kWidth, kHeight));
    EXPECT_TRUE(form.pictureLargerThanView());
    EXPECT_EQ(label(form, "Label3"), "100%");
}

TEST(Zoom, KeysStepFitAndShowActualSize)
{
    TForm1 form;
    load(form, write_blocks("large.bmp"));
    const qreal fit = form.zoom();
    ASSERT_LT(fit, 2.0 / 3);
    ASSERT_GT(fit, 0.5);
    const auto key = [&](char pressed, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&form, pressed, modifiers);
        return form.zoom();
    };
    EXPECT_DOUBLE_EQ(key('+'), 2.0 / 3);
    EXPECT_FALSE(form.isFitted());
    EXPECT_DOUBLE_EQ(key('='), 1.0);
    EXPECT_EQ(picture_of(form)->size(), QSize(kWidth, kHeight));
    EXPECT_EQ(label(form, "Label3"), "100%");
    EXPECT_DOUBLE_EQ(key('+', Qt::ControlModifier), 1.5);
    EXPECT_EQ(label(form, "Label3"), "150%");
    EXPECT_DOUBLE_EQ(key('-'), 1.0);
    EXPECT_DOUBLE_EQ(key('-', Qt::ControlModifier), 2.0 / 3);
    EXPECT_DOUBLE_EQ(key('0'), fit);
    EXPECT_TRUE(form.isFitted());
    EXPECT_DOUBLE_EQ(key('-'), 0.5);
    EXPECT_DOUBLE_EQ(key('1'), 1.0);
    EXPECT_DOUBLE_EQ(key('0', Qt::ControlModifier), fit);
    // H switches between full and half size as it always has.
    EXPECT_DOUBLE_EQ(key('h'), 0.5);
    EXPECT_EQ(form.Settings.Scale, 2);
    EXPECT_EQ(label(form, "Label3"), "50%");
    EXPECT_DOUBLE_EQ(key('h'), 1.0);
    // The steps end at 1/16 and 16.
    form.setZoom(100);
    EXPECT_DOUBLE_EQ(form.zoom(), 16.0);
    EXPECT_DOUBLE_EQ(key('+'), 16.0);
    EXPECT_DOUBLE_EQ(show::zoomedOut(0.23), 1.0 / 6);
    EXPECT_DOUBLE_EQ(show::zoomedIn(0.23), 1.0 / 4);
    EXPECT_DOUBLE_EQ(show::zoomedOut(1.0 / 16), 1.0 / 16);
}

TEST(Zoom, WheelWithCtrlAndPinchKeepThePointUnderThePointer)
{
    TForm1 form;
    load(form, write_blocks("large.bmp"));
    QWidget* view = area_of(form)->viewport();
    // Away from the centre and the corner, so zooming about either moves it.
    const QPoint pointer(view->width() * 3 / 4, view->height() / 3);
    TPictureBox* picture = picture_of(form);
    ZARN_WAIT_TRUE(picture->paintCount() > 0, 3000);
    const QColor before = shown_at(form, pointer);
    // What the screen shows once the picture has been painted again.
    auto repainted = [&, painted = picture->paintCount()]() mutable {
        (void)QTest::qWaitFor([&] { return picture->paintCount() > painted; }, 3000);
        painted = picture->paintCount();
        return shown_at(form, pointer);
    };
    const qreal fit = form.zoom();

    wheel(view, pointer, 120, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(form.zoom(), show::zoomedIn(fit));
    wheel(view, pointer, 240, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(form.zoom(), 1.5);
    EXPECT_EQ(repainted(), before);

    QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, pointer, pointer,
                              view->mapToGlobal(pointer), 1.0, QPointF());
    QApplication::sendEvent(view, &pinch);
    EXPECT_DOUBLE_EQ(form.zoom(), 3.0);
    EXPECT_EQ(repainted(), before);

    // The wheel alone scrolls, and zooms only when "WheelZoom" says so.
    QScrollBar* down = area_of(form)->verticalScrollBar();
    const int scrolled = down->value();
    wheel(view, pointer, -120, Qt::NoModifier);
    EXPECT_GT(down->value(), scrolled);
    EXPECT_DOUBLE_EQ(form.zoom(), 3.0);
    form.Settings.WheelZoom = true;
    wheel(view, pointer, -120, Qt::NoModifier);
    EXPECT_DOUBLE_EQ(form.zoom(), 2.0);
}

TEST(Zoom, MaximisedWindowKeepsItsSizeAndTheFittedPictureFollowsIt)
{
    TForm1 form;
    load(form, write_blocks("large.bmp"));
    const QSize fitted_window = form.size();
    const qreal fit = form.zoom();
    // No window manager runs under the test's display: the test gives the
    // window the size a manager would, then the maximised state (a resize
    // from the program itself would end that state).
    form.resize(600, 500);
    form.setWindowState(Qt::WindowMaximized);
    ZARN_WAIT_TRUE(form.zoom() < fit, 3000);
    EXPECT_TRUE(form.isFitted());
    const QSize room = area_of(form)->contentsRect().size();
    const QSize shown = picture_of(form)->size();
    EXPECT_TRUE(shown.width() == room.width() || shown.height() == room.height());
    EXPECT_LE(shown.width(), room.width());
    EXPECT_LE(shown.height(), room.height());

    // Zooming and loading leave the window as the user made it.
    QTest::keyClick(&form, '1');
    EXPECT_EQ(form.size(), QSize(600, 500));
    EXPECT_TRUE(form.pictureLargerThanView());
    load(form, write_bmp8("small.bmp", 50, 40));
    EXPECT_EQ(form.size(), QSize(600, 500));

    // Back from maximised, the window fits the picture again.
    load(form, write_blocks("large2.bmp"));
    form.setWindowState(Qt::WindowNoState);
    ZARN_WAIT_EQ(form.size(), fitted_window, 3000);
    EXPECT_DOUBLE_EQ(form.zoom(), fit);
}

}  // namespace
