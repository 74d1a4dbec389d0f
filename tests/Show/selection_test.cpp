// TForm1: selecting with the right or middle button, the outline, cropping, full/half size and ProcessImage.
#include "picturebox.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMenu>

#include <cstdlib>

namespace {

using namespace zarn::test;

void press(TForm1& form, Qt::MouseButton button, QPoint at)
{
    QTest::mousePress(picture_of(form), button, {}, at);
}

void move(TForm1& form, QPoint to)
{
    QTest::mouseMove(picture_of(form), to);
}

// Releasing the right button opens the picture's menu; it is closed again
// once its state has been read.
bool release(TForm1& form, Qt::MouseButton button, QPoint at)
{
    QTest::mouseRelease(picture_of(form), button, {}, at);
    const bool menu_shown = form.PopupMenu1->isVisible();
    form.PopupMenu1->hide();
    return menu_shown;
}

void drag(TForm1& form, Qt::MouseButton button, QPoint from, QPoint to)
{
    press(form, button, from);
    move(form, to);
    release(form, button, to);
}

QAction* crop_item(TForm1& form)
{
    return form.PopupMenu1->findChild<QAction*>(QStringLiteral("crop"));
}

// Compares what the control shows with the picture it holds (drawn at
// full size): every pixel that differs must be exclusive-or'ed with white or
// mid-grey and lie on the rectangle between `from` and `to` (within the
// pen's width); returns how many pixels of each side changed, in the order
// left, bottom, right, top.
std::array<int, 4> outline_sides(TForm1& form, QPoint from, QPoint to)
{
    TPictureBox* box = picture_of(form);
    const QImage shown = grabbed(*box);
    const QImage& held = box->Picture();
    const QRect bounds = QRect(from, to).normalized();
    std::array<int, 4> sides{};
    for (int y = 0; y < held.height(); ++y)
        for (int x = 0; x < held.width(); ++x) {
            const QColor want = QColor(held.pixel(x, y)), got = pixel(shown, x, y);
            if (got == want) continue;
            const QRgb flipped = (got.rgb() ^ want.rgb()) & 0xFFFFFF;
            EXPECT_TRUE(flipped == 0xFFFFFF || flipped == 0x808080) << x << "," << y << ": " << std::hex << flipped;
            const auto near = [](int a, int b) { return a >= b - 1 && a <= b + 1; };
            const bool between_x = x >= bounds.left() - 1 && x <= bounds.right() + 1;
            const bool between_y = y >= bounds.top() - 1 && y <= bounds.bottom() + 1;
            bool on_side = false;
            if (near(x, bounds.left()) && between_y) ++sides[0], on_side = true;
            if (near(y, bounds.bottom()) && between_x) ++sides[1], on_side = true;
            if (near(x, bounds.right()) && between_y) ++sides[2], on_side = true;
            if (near(y, bounds.top()) && between_x) ++sides[3], on_side = true;
            EXPECT_TRUE(on_side) << "changed off the outline at " << x << "," << y;
        }
    return sides;
}

// How many pixels the control shows differently from the picture it holds.
int changed_pixels(TForm1& form)
{
    TPictureBox* box = picture_of(form);
    const QImage shown = grabbed(*box);
    int changed = 0;
    for (int y = 0; y < box->Picture().height(); ++y)
        for (int x = 0; x < box->Picture().width(); ++x)
            changed += QColor(box->Picture().pixel(x, y)) != pixel(shown, x, y);
    return changed;
}

QImage picture_file(const QString& path)
{
    TPictureBox reader;
    EXPECT_TRUE(reader.LoadFromFile(path));
    return reader.Picture();
}

QImage expected_crop24(int width, int height, QRect area)
{
    const Rows colours = rgb_ramp(width, height);
    QImage image(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
            const std::uint8_t* at = &colours[std::size_t(area.y() + y)][std::size_t(area.x() + x) * 3];
            image.setPixel(x, y, qRgb(at[0], at[1], at[2]));
        }
    return image;
}

void expect_same_pixels(const QImage& shown, const QImage& expected)
{
    ASSERT_EQ(shown.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            ASSERT_EQ(QColor(shown.pixel(x, y)), QColor(expected.pixel(x, y))) << x << "," << y;
}

TEST(Selection, FullSizeDragSnapsToTheCropStep)
{
    write_settings("CropStep=10\n");
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", 200, 150)));
    ASSERT_TRUE(showAndWait(form));

    // 37 right and 5 down: whole steps of 10, and no height.
    press(form, Qt::MiddleButton, {20, 20});
    EXPECT_EQ(form.windowTitle(), "Show - colour.bmp");
    move(form, {57, 25});
    EXPECT_EQ(form.windowTitle(), "Show - 10 Pixel Crop : 30x0");
    EXPECT_TRUE(form.HasSelection);
    EXPECT_GE(changed_pixels(form), 30);  // the line is drawn while dragging
    EXPECT_FALSE(release(form, Qt::MiddleButton, {57, 25}));
    EXPECT_FALSE(form.HasSelection);
    EXPECT_EQ(form.windowTitle(), "Show - colour.bmp");  // no selection, no selection's size
    EXPECT_EQ(changed_pixels(form), 0);                  // and leaves nothing behind

    // Less than a step in both directions changes nothing.
    press(form, Qt::RightButton, {20, 20});
    move(form, {29, 29});
    EXPECT_EQ(form.windowTitle(), "Show - colour.bmp");
    EXPECT_FALSE(form.HasSelection);
    move(form, {57, 48});
    EXPECT_EQ(form.windowTitle(), "Show - 10 Pixel Crop : 30x20");
    EXPECT_EQ(QPoint(form.SelCornerX, form.SelCornerY), QPoint(50, 40));
    EXPECT_TRUE(release(form, Qt::RightButton, {57, 48}));  // the menu follows the right button
    EXPECT_TRUE(form.HasSelection);
    EXPECT_TRUE(crop_item(form)->isVisible());
    const std::array<int, 4> sides = outline_sides(form, {20, 20}, {50, 40});
    for (int side : sides) EXPECT_GE(side, 20);

    // A new press removes the old outline before anything else.
    press(form, Qt::MiddleButton, {100, 100});
    EXPECT_FALSE(form.HasSelection);
    EXPECT_EQ(changed_pixels(form), 0);
    release(form, Qt::MiddleButton, {100, 100});

    // A drag past the picture's edge stops at the edge.
    drag(form, Qt::MiddleButton, {180, 130}, {400, 400});
    EXPECT_EQ(QPoint(form.SelCornerX, form.SelCornerY), QPoint(200, 150));
}

TEST(Selection, HalfSizeSnapsInHalfStepsAndReportsImagePixels)
{
    write_settings("CropStep=10\n");
    const std::string path = write_bmp24("colour.bmp", 200, 150);
    TForm1 form;
    form.LoadImage(QString::fromStdString(path));
    ASSERT_TRUE(showAndWait(form));

    QTest::keyClick(&form, Qt::Key_H);
    EXPECT_EQ(form.Settings.Scale, 2);
    EXPECT_TRUE(child<TMButton>(form, "MButton7")->Down());
    EXPECT_EQ(picture_of(form)->size(), QSize(100, 75));

    press(form, Qt::MiddleButton, {10, 10});
    move(form, {14, 14});  // under one step of 5 control pixels
    EXPECT_FALSE(form.HasSelection);
    move(form, {27, 22});
    EXPECT_EQ(form.windowTitle(), "Show - 10 Pixel Crop : 30x20");
    EXPECT_EQ(QPoint(form.SelCornerX, form.SelCornerY), QPoint(50, 40));  // in picture pixels
    release(form, Qt::MiddleButton, {27, 22});

    // The crop is in image pixels.
    form.cropClick();
    EXPECT_FALSE(form.HasSelection);
    EXPECT_EQ(picture_of(form)->Picture().size(), QSize(30, 20));
    EXPECT_EQ(picture_of(form)->size(), QSize(15, 10));
    expect_same_pixels(picture_file(form.WorkingFile), expected_crop24(200, 150, QRect(20, 20, 30, 20)));

    // The button is the same switch as the key.
    QTest::mouseClick(child(form, "MButton7"), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form.Settings.Scale, 1);
    EXPECT_FALSE(child<TMButton>(form, "MButton7")->Down());
    EXPECT_EQ(picture_of(form)->size(), QSize(30, 20));
}

TEST(Selection, OutlineShowsOnMidGrey)
{
    write_settings("CropStep=1\n");
    TForm1 form;
    const Rows grey(100, Bytes(120, 128));
    const std::string path = temp_path("grey128.bmp");
    BmpBuilder().size(120, 100).bits(8).palette(grey_ramp(256)).pixels(grey).write(path);
    form.LoadImage(QString::fromStdString(path));
    ASSERT_TRUE(showAndWait(form));
    drag(form, Qt::MiddleButton, {10, 10}, {90, 70});
    ASSERT_TRUE(form.HasSelection);
    const std::array<int, 4> sides = outline_sides(form, {10, 10}, {90, 70});
    for (int side : sides) EXPECT_GE(side, 40);
    // At least half of each side stands out by half the range or more.
    const QImage shown = grabbed(*picture_of(form));
    int strong = 0;
    for (int x = 10; x < 90; ++x) strong += std::abs(pixel(shown, x, 10).red() - 128) >= 100;
    EXPECT_GE(strong, 35);
}

TEST(Selection, ChangingTheScaleKeepsTheSelection)
{
    write_settings("CropStep=10\n");
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", 200, 150)));
    ASSERT_TRUE(showAndWait(form));
    drag(form, Qt::MiddleButton, {20, 20}, {60, 50});
    ASSERT_TRUE(form.HasSelection);
    // To half size and back: the outline follows the picture there and back.
    QTest::keyClick(&form, Qt::Key_H);
    EXPECT_TRUE(form.HasSelection);
    EXPECT_EQ(form.windowTitle(), "Show - 10 Pixel Crop : 40x30");
    EXPECT_TRUE(picture_of(form)->hasOutline());
    QTest::keyClick(&form, Qt::Key_H);
    const std::array<int, 4> sides = outline_sides(form, {20, 20}, {60, 50});
    for (int side : sides) EXPECT_GE(side, 25);
    QTest::keyClick(&form, Qt::Key_H);
    form.cropClick();  // the same picture pixels, cropped at half size
    expect_same_pixels(picture_file(form.WorkingFile), expected_crop24(200, 150, QRect(20, 20, 40, 30)));
}

// The bounds of the pixels that differ between two grabs of the same size.
QRect changed_bounds(const QImage& before, const QImage& after)
{
    QRect bounds;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y)) bounds |= QRect(x, y, 1, 1);
    return bounds;
}

TEST(Selection, CropAtAnyZoomTakesThePicturePixelsTheOutlineFrames)
{
    struct Case {
        qreal zoom;
        int crop_step;
        QSize picture;
        QPoint from, to;  // the drag, in the control's pixels
    };
    for (const Case& each :
         {Case{0.37, 1, {400, 300}, {20, 15}, {90, 70}}, Case{3.0, 10, {60, 40}, {10, 7}, {100, 80}}}) {
        SCOPED_TRACE(each.zoom);
        write_settings("CropStep=" + std::to_string(each.crop_step) + "\n");
        TForm1 form;
        const int width = each.picture.width(), height = each.picture.height();
        form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", width, height)));
        ASSERT_TRUE(showAndWait(form));
        form.setZoom(each.zoom);
        TPictureBox* box = picture_of(form);
        ASSERT_EQ(box->size(), box->sizeForZoom(each.zoom));
        const QImage plain = grabbed(*box);

        drag(form, Qt::RightButton, each.from, each.to);
        ASSERT_TRUE(form.HasSelection);
        const QRect area(form.SelStartX, form.SelStartY, form.SelCornerX - form.SelStartX,
                         form.SelCornerY - form.SelStartY);
        // Whole steps of picture pixels, named in picture pixels.
        EXPECT_EQ(area.width() % each.crop_step, 0);
        EXPECT_EQ(area.height() % each.crop_step, 0);
        EXPECT_EQ(form.windowTitle(),
                  QString::asprintf("Show - %d Pixel Crop : %dx%d", each.crop_step, area.width(), area.height()));
        // The outline on screen lies on the area's edges, within its pen's width.
        const QRect outline = changed_bounds(plain, grabbed(*box));
        const QPointF top_left = box->toDevice(QPointF(area.topLeft()));
        const QPointF bottom_right = box->toDevice(QPointF(form.SelCornerX, form.SelCornerY));
        EXPECT_LE(std::abs(outline.left() - top_left.x()), 1.5);
        EXPECT_LE(std::abs(outline.top() - top_left.y()), 1.5);
        EXPECT_LE(std::abs(outline.right() - bottom_right.x()), 1.5);
        EXPECT_LE(std::abs(outline.bottom() - bottom_right.y()), 1.5);

        form.cropClick();
        expect_same_pixels(picture_file(form.WorkingFile), expected_crop24(width, height, area));
    }
}

TEST(Selection, HalfSizeAveragesFineDetail)
{
    // One-pixel lines, black and white in turn: at half size, grey.
    Rows lines(40, Bytes(5, 0));
    for (std::size_t y = 0; y < lines.size(); y += 2) lines[y] = Bytes(5, 0xFF);
    write_settings("Scale=2\n");
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_mono_bmp("lines.bmp", 40, lines)));
    ASSERT_TRUE(showAndWait(form));
    ASSERT_EQ(picture_of(form)->size(), QSize(20, 20));
    const QImage shown = grabbed(*picture_of(form));
    for (int y = 1; y < 19; ++y)
        for (int x = 1; x < 19; ++x) {
            const int level = pixel(shown, x, y).red();
            ASSERT_TRUE(level > 64 && level < 192) << x << "," << y << ": " << level;
        }
}

TEST(Selection, CropStepOneAtHalfSizeMovesInSingleControlPixels)
{
    write_settings("CropStep=1\nScale=2\n");
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", 100, 80)));
    ASSERT_TRUE(showAndWait(form));
    press(form, Qt::MiddleButton, {10, 10});
    move(form, {11, 10});
    EXPECT_EQ(form.windowTitle(), "Show - 1 Pixel Crop : 2x0");
    move(form, {13, 17});
    EXPECT_EQ(form.windowTitle(), "Show - 1 Pixel Crop : 6x14");
    release(form, Qt::MiddleButton, {13, 17});
    EXPECT_TRUE(form.HasSelection);
}

TEST(Selection, EitherDirectionCropsTheSameRectangleWithoutItsOutline)
{
    write_settings("CropStep=1\n");
    const std::string path = write_bmp8("grey.bmp", 400, 300);
    const Rows levels = ramp(400, 300);
    QImage expected(350, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 350; ++x) {
            const int level = levels[std::size_t(30 + y)][std::size_t(10 + x)];
            expected.setPixel(x, y, qRgb(level, level, level));
        }

    // Up and to the left, cropped through the menu the right button opens.
    TForm1 up_left;
    up_left.LoadImage(QString::fromStdString(path));
    ASSERT_TRUE(showAndWait(up_left));
    press(up_left, Qt::RightButton, {360, 230});
    move(up_left, {10, 30});
    EXPECT_TRUE(release(up_left, Qt::RightButton, {10, 30}));
    EXPECT_EQ(up_left.windowTitle(), "Show - 1 Pixel Crop : 350x200");
    crop_item(up_left)->trigger();
    EXPECT_FALSE(up_left.HasSelection);
    // The outline lay on the new picture's edges; none of it was kept.
    expect_same_pixels(picture_of(up_left)->Picture(), expected);
    expect_same_pixels(grabbed(*picture_of(up_left)), expected);
    // The window shrinks to the new picture.
    EXPECT_EQ(up_left.size(), QSize(350 + 4, 29 + 200 + 24));
    EXPECT_EQ(up_left.Pic()->width, 350);
    EXPECT_EQ(up_left.windowTitle(), "Show - grey.bmp");

    TForm1 down_right;
    down_right.LoadImage(QString::fromStdString(path));
    ASSERT_TRUE(showAndWait(down_right));
    drag(down_right, Qt::MiddleButton, {10, 30}, {360, 230});
    down_right.cropClick();
    expect_same_pixels(picture_of(down_right)->Picture(), expected);

    // Without a selection the crop does nothing.
    down_right.cropClick();
    EXPECT_EQ(picture_of(down_right)->Picture().size(), QSize(350, 200));
}

TEST(Selection, LeftButtonNeverSelectsAndAllowCropOffStopsTheOthers)
{
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", 120, 90)));
    ASSERT_TRUE(showAndWait(form));
    // A click on the picture is not a click on the bare window (which opens a file).
    FileDialogWatch dialogs;
    drag(form, Qt::LeftButton, {10, 10}, {80, 60});
    EXPECT_EQ(dialogs.shown, 0);
    EXPECT_FALSE(form.HasSelection);
    EXPECT_EQ(form.Dragging, 0);
    EXPECT_EQ(form.windowTitle(), "Show - colour.bmp");
    EXPECT_EQ(changed_pixels(form), 0);
    EXPECT_TRUE(form.isVisible());

    form.Settings.AllowCrop = false;
    drag(form, Qt::MiddleButton, {10, 10}, {80, 60});
    EXPECT_FALSE(form.HasSelection);
    EXPECT_EQ(form.windowTitle(), "Show - colour.bmp");
    // The right button still opens the menu, with nothing to crop.
    press(form, Qt::RightButton, {10, 10});
    EXPECT_TRUE(release(form, Qt::RightButton, {10, 10}));
    EXPECT_FALSE(crop_item(form)->isVisible());
}

TEST(Selection, SingleClickClosesOnlyWithoutASelection)
{
    write_settings("SingleClick=1\n");
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", 120, 90)));
    ASSERT_TRUE(showAndWait(form));
    drag(form, Qt::MiddleButton, {10, 10}, {50, 50});
    ASSERT_TRUE(form.HasSelection);
    QTest::mouseClick(picture_of(form), Qt::LeftButton, {}, QPoint(60, 60));
    EXPECT_TRUE(form.isVisible());

    drag(form, Qt::MiddleButton, {10, 10}, {10, 10});  // a press without a drag clears the selection
    EXPECT_FALSE(form.HasSelection);
    QTest::mouseClick(picture_of(form), Qt::LeftButton, {}, QPoint(60, 60));
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(QFile::exists(form.WorkingFile));  // closed as the program closes
}

TEST(Selection, ProcessImageWorksOnTheWorkingFileNotTheScreen)
{
    const std::string path = write_bmp24("colour.bmp", 60, 40);
    TForm1 idle;
    idle.ProcessImage(0);  // nothing loaded: nothing happens
    EXPECT_EQ(idle.windowTitle(), "Show");

    // The same steps run by the library on a copy of the file.
    const QString reference = QString::fromStdString(temp_path("reference.bmp"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(path), reference));
    const QByteArray ref = QFile::encodeName(reference);
    PicImage record{};
    _bmprocess(ref.constData(), ref.constData(), &record, 103);

    TForm1 form;
    form.LoadImage(QString::fromStdString(path));
    ASSERT_TRUE(showAndWait(form));
    const QSize before = form.size();
    drag(form, Qt::MiddleButton, {5, 5}, {40, 30});
    ASSERT_TRUE(form.HasSelection);
    const QString caption = form.windowTitle();
    form.ProcessImage(103);  // greyscale, with the outline on screen
    EXPECT_FALSE(form.HasSelection);
    EXPECT_EQ(changed_pixels(form), 0);
    expect_same_pixels(picture_of(form)->Picture(), picture_file(reference));
    expect_same_pixels(picture_file(form.WorkingFile), picture_file(reference));
    // No longer 24-bit: the side toolbar, whose steps it cannot take, goes.
    EXPECT_FALSE(child(form, "Panel6")->isVisible());
    EXPECT_LT(form.height(), before.height());
    EXPECT_EQ(label(form, "Label1"), QString::fromLatin1(form.Pic()->description));
    EXPECT_NE(caption, form.windowTitle());
    EXPECT_EQ(form.windowTitle(), "Show - colour.bmp");  // the selection's size went with it

    // Codes of 1 and below may change the size: the window follows.
    _bmprocess(ref.constData(), ref.constData(), &record, 0);
    form.ProcessImage(0);
    expect_same_pixels(picture_of(form)->Picture(), picture_file(reference));
    EXPECT_EQ(picture_of(form)->size(), QSize(40, 60));
}

}  // namespace
