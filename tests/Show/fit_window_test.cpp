// TForm1::FitWindow: the client size from the picture, the toolbars and the screen, and centring.
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QScrollArea>
#include <QScrollBar>
#include <QScreen>

namespace {

using namespace zarn::test;

QSize screen_size()
{
    return QGuiApplication::primaryScreen()->geometry().size();
}

QSize loaded(TForm1& form, const std::string& path)
{
    form.LoadImage(QString::fromStdString(path));
    EXPECT_TRUE(showAndWait(form));
    return form.size();
}

TEST(FitWindow, SmallPictureKeepsTheDesignedWidth)
{
    TForm1 form;
    EXPECT_EQ(loaded(form, write_bmp8("small.bmp", 20, 10)), QSize(339, 29 + 10 + 24));
    // Without the top toolbar there is no minimum width.
    form.TopBarClick();
    EXPECT_EQ(form.size(), QSize(20 + 4, 10 + 24));
}

TEST(FitWindow, SmallColourPictureKeepsTheDesignedHeightWithTheSideToolbar)
{
    TForm1 form;
    EXPECT_EQ(loaded(form, write_bmp24("small.bmp", 20, 10)), QSize(339, 264));
    form.SideBarClick();  // side toolbar off: no minimum height
    EXPECT_EQ(form.size(), QSize(339, 29 + 10 + 24));
}

TEST(FitWindow, ClientSizeFollowsThePicture)
{
    TForm1 form;
    EXPECT_EQ(loaded(form, write_bmp24("mid.bmp", 500, 300)), QSize(36 + 500 + 4, 29 + 300 + 24));
    EXPECT_EQ(loaded(form, write_bmp8("mid8.bmp", 500, 300)), QSize(500 + 4, 29 + 300 + 24));
}

TEST(FitWindow, TallPictureGetsScreenHeightAndRoomForTheScrollBar)
{
    write_settings("FitLarge=0\n");  // at full size, not fitted
    const QSize screen = screen_size();
    TForm1 form;
    EXPECT_EQ(loaded(form, write_bmp8("tall.bmp", 400, screen.height() + 50)),
              QSize(400 + 4 + 20, screen.height() - 64));
}

TEST(FitWindow, WidePictureIsLimitedToTheScreenWithRoomForTheScrollBar)
{
    write_settings("FitLarge=0\n");  // at full size, not fitted
    const QSize screen = screen_size();
    TForm1 form;
    EXPECT_EQ(loaded(form, write_bmp8("wide.bmp", screen.width() + 10, 40)),
              QSize(screen.width() - 36, 29 + 40 + 24 + 20));
    // One scroll bar, and every row in view.
    auto* area = child<QScrollArea>(form, "ScrollBox1");
    ZARN_WAIT_TRUE(area->horizontalScrollBar()->isVisible(), 5000);
    EXPECT_FALSE(area->verticalScrollBar()->isVisible());
    EXPECT_GE(area->viewport()->height(), 40);
}

TEST(FitWindow, HalfSizeHalvesThePicture)
{
    write_settings("Scale=2\n");
    TForm1 form;
    EXPECT_EQ(loaded(form, write_bmp8("half.bmp", 801, 401)), QSize(400 + 4, 29 + 200 + 24));
    EXPECT_EQ(child(form, "Image1")->size(), QSize(400, 200));
}

TEST(FitWindow, CentredAfterEveryFitWhenCentreIsOn)
{
    const QSize screen = screen_size();
    TForm1 form;
    const QSize size = loaded(form, write_bmp8("a.bmp", 500, 300));
    EXPECT_EQ(form.pos(), QPoint((screen.width() - size.width()) / 2, (screen.height() - size.height() - 20) / 2));
    const QSize bigger = loaded(form, write_bmp8("b.bmp", 700, 500));
    ZARN_WAIT_EQ(form.pos(),
                 QPoint((screen.width() - bigger.width()) / 2, (screen.height() - bigger.height() - 20) / 2), 2000);
}

TEST(FitWindow, StaysWhereTheUserPutItWhenCentreIsOff)
{
    write_settings("Centre=0\nWindowLeft=40\nWindowTop=30\n");
    TForm1 form;
    loaded(form, write_bmp8("a.bmp", 500, 300));
    EXPECT_EQ(form.pos(), QPoint(40, 30));
    form.move(90, 70);
    ZARN_WAIT_EQ(form.pos(), QPoint(90, 70), 2000);
    loaded(form, write_bmp8("b.bmp", 200, 100));
    EXPECT_EQ(form.pos(), QPoint(90, 70));
}

TEST(FitWindow, StdButtonDecidesTheButtonFrames)
{
    {
        write_settings("StdButton=0\n");
        TForm1 flat;  // from the start, not only once a picture is loaded
        for (TMButton* button : flat.findChildren<TMButton*>()) EXPECT_FALSE(button->Border());
    }
    write_settings("StdButton=1\n");
    TForm1 form;
    for (TMButton* button : form.findChildren<TMButton*>()) EXPECT_TRUE(button->Border());
    loaded(form, write_bmp8("a.bmp", 50, 50));
    for (TMButton* button : form.findChildren<TMButton*>()) EXPECT_TRUE(button->Border());
    form.Settings.StdButton = false;
    form.FitWindow();
    for (TMButton* button : form.findChildren<TMButton*>()) EXPECT_FALSE(button->Border());
}

TEST(FitWindow, WithoutAPictureTheWindowKeepsItsSizeAndHalfSizeStays)
{
    // A stored place on no screen comes back onto it.
    write_settings("WindowLeft=5000\nWindowTop=-3000\nCentre=0\n");
    TForm1 empty;
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(empty.pos()));
    ASSERT_TRUE(showAndWait(empty));
    QTest::keyClick(&empty, Qt::Key_T);
    EXPECT_EQ(empty.size(), QSize(339, 264));
    QTest::keyClick(&empty, Qt::Key_H);
    EXPECT_EQ(empty.Settings.Scale, 1);

    // A picture of one pixel is still one pixel at half size.
    TForm1 dot;
    loaded(dot, write_bmp24("dot.bmp", 1, 1));
    dot.SpeedButton13Click();
    EXPECT_EQ(child(dot, "Image1")->size(), QSize(1, 1));
}

}  // namespace
