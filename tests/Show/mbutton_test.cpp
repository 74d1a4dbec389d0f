// TMButton: rocker halves, latching, right presses, the highlight frame and the click order.
#include "mbutton.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

using zarn::test::grabbed;
using zarn::test::pixel;

const QColor kBack(120, 140, 160);

struct Toolbar {
    QWidget window;
    TMButton* button = new TMButton(&window);
    QWidget* elsewhere = new QWidget(&window);
    explicit Toolbar(int width = 30, int height = 22)
    {
        window.resize(200, 100);
        button->setGeometry(10, 10, width, height);
        button->setColorDark(Qt::black);
        button->setColorLight(Qt::white);
        button->setColor(kBack);
        elsewhere->setGeometry(100, 10, 50, 50);
        EXPECT_TRUE(zarn::test::showAndWait(window));
    }
    // The frame's pixels: left side (upper half), top (right half), right side.
    QColor left() { return pixel(grabbed(*button), 0, 3); }
    QColor top_right() { return pixel(grabbed(*button), button->width() - 4, 0); }
    QColor top_left() { return pixel(grabbed(*button), 3, 0); }
};

TEST(MButton, RockerHalvesSplitAtHalfTheWidth)
{
    Toolbar bar(30);
    bar.button->setRockerLR(true);
    QTest::mousePress(bar.button, Qt::LeftButton, {}, QPoint(14, 10));
    EXPECT_TRUE(bar.button->ClickLeft());
    // Left half sunken, right half raised.
    EXPECT_EQ(bar.top_left(), Qt::black);
    EXPECT_EQ(bar.top_right(), Qt::white);
    QTest::mouseRelease(bar.button, Qt::LeftButton, {}, QPoint(14, 10));

    QTest::mousePress(bar.button, Qt::LeftButton, {}, QPoint(15, 10));
    EXPECT_FALSE(bar.button->ClickLeft());
    EXPECT_EQ(bar.top_left(), Qt::white);
    EXPECT_EQ(bar.top_right(), Qt::black);
    QTest::mouseRelease(bar.button, Qt::LeftButton, {}, QPoint(15, 10));
    EXPECT_FALSE(bar.button->Down());
}

TEST(MButton, ClickHandlerSeesTheCurrentPress)
{
    Toolbar bar(30);
    bar.button->setRockerLR(true);
    std::vector<bool> seen;
    QObject::connect(bar.button, &TMButton::clicked, [&] {
        seen.push_back(bar.button->ClickLeft());
        EXPECT_TRUE(bar.button->Down());  // the click comes before the button comes up
    });
    QTest::mouseClick(bar.button, Qt::LeftButton, {}, QPoint(25, 10));
    QTest::mouseClick(bar.button, Qt::LeftButton, {}, QPoint(3, 10));
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
}

TEST(MButton, LatchingButtonTogglesAndDrawsSunkenWhileDown)
{
    Toolbar bar;
    bar.button->setLatch(true);
    EXPECT_EQ(bar.left(), Qt::white);
    QTest::mouseClick(bar.button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(bar.button->Down());
    EXPECT_EQ(bar.left(), Qt::black);
    QTest::mouseClick(bar.button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(bar.button->Down());
    EXPECT_EQ(bar.left(), Qt::white);
}

TEST(MButton, PlainButtonIsDownOnlyWhilePressed)
{
    Toolbar bar;
    QTest::mousePress(bar.button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(bar.button->Down());
    QTest::mouseRelease(bar.button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(bar.button->Down());
}

TEST(MButton, RightPressChangesNothingAndOpensNoMenu)
{
    Toolbar bar;
    QMenu menu;
    menu.addAction("Item");
    bool opened = false;
    QObject::connect(&menu, &QMenu::aboutToShow, [&] {
        opened = true;
        QTimer::singleShot(0, &menu, &QMenu::close);
    });
    bar.button->setDropDownMenu(&menu);
    bool clicked = false;
    QObject::connect(bar.button, &TMButton::clicked, [&] { clicked = true; });
    QTest::mouseClick(bar.button, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_FALSE(bar.button->Down());
    EXPECT_FALSE(opened);
    EXPECT_FALSE(clicked);

    bar.button->setLatch(true);
    QTest::mouseClick(bar.button, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_FALSE(bar.button->Down());
}

TEST(MButton, DropDownMenuOpensBelowAndTheButtonComesUp)
{
    Toolbar bar;
    QMenu menu;
    menu.addAction("Item");
    QPoint shown_at;
    bool down_while_open = false;
    QObject::connect(&menu, &QMenu::aboutToShow, [&] {
        down_while_open = bar.button->Down();
        QTimer::singleShot(0, &menu, [&] {  // inside the menu's loop, placed by then
            shown_at = menu.pos();
            menu.close();
        });
    });
    bar.button->setDropDownMenu(&menu);
    QTest::mousePress(bar.button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(down_while_open);
    EXPECT_FALSE(bar.button->Down());
    EXPECT_EQ(shown_at, bar.button->mapToGlobal(QPoint(0, bar.button->height())));
    // QTest remembers the button as held until it is released; its later
    // moves would otherwise be sent as drags instead of moving the pointer.
    QTest::mouseRelease(bar.button, Qt::LeftButton, {}, QPoint(5, 5));
}

TEST(MButton, FlatButtonShowsItsFrameOnlyWhileTheMouseIsOver)
{
    Toolbar bar;
    bar.button->setBorder(false);
    QTest::mouseMove(&bar.window, QPoint(120, 30));
    ZARN_WAIT_TRUE(bar.elsewhere->underMouse(), 5000);
    EXPECT_FALSE(bar.button->tracking());
    EXPECT_EQ(bar.left(), kBack);
    EXPECT_EQ(bar.top_right(), kBack);

    QTest::mouseMove(bar.button, QPoint(10, 10));
    ZARN_WAIT_TRUE(bar.button->tracking(), 2000);
    EXPECT_EQ(bar.left(), Qt::white);
    EXPECT_EQ(pixel(grabbed(*bar.button), bar.button->width() - 1, 5), Qt::black);

    QTest::mouseMove(bar.elsewhere, QPoint(20, 20));
    ZARN_WAIT_TRUE(!bar.button->tracking(), 2000);
    EXPECT_EQ(bar.left(), kBack);

    // With the border on, the frame is always there.
    bar.button->setBorder(true);
    EXPECT_EQ(bar.left(), Qt::white);
}

TEST(MButton, UnstretchedBitmapIsCentred)
{
    Toolbar bar(30, 22);
    bar.button->setStretch(false);
    QPixmap red(10, 6);
    red.fill(Qt::red);
    bar.button->setBitmap(red);
    const QImage image = grabbed(*bar.button);
    EXPECT_EQ(pixel(image, 10, 8), Qt::red);  // (30 - 10) / 2, (22 - 6) / 2
    EXPECT_EQ(pixel(image, 19, 13), Qt::red);
    EXPECT_EQ(pixel(image, 9, 8), kBack);
    EXPECT_EQ(pixel(image, 20, 13), kBack);
}

}  // namespace
