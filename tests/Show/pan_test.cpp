// TForm1: a picture larger than the view pans under a left drag and scrolls with Shift+arrows; Ctrl drags it out.
#include "picturebox.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QUrl>

namespace {

using namespace zarn::test;

QScrollBar* across(TForm1& form)
{
    return child<QScrollArea>(form, "ScrollBox1")->horizontalScrollBar();
}

QScrollBar* down(TForm1& form)
{
    return child<QScrollArea>(form, "ScrollBox1")->verticalScrollBar();
}

TEST(Pan, LeftDragPansALargePictureAndCtrlDragsTheFileOut)
{
    write_settings("FitLarge=0\nSingleClick=1\n");
    const std::string path = write_bmp8("large.bmp", 2000, 1500);
    TForm1 form;
    form.LoadImage(QString::fromStdString(path));
    ASSERT_TRUE(showAndWait(form));
    TPictureBox* box = picture_of(form);
    ZARN_WAIT_TRUE(across(form)->maximum() > 0 && down(form)->maximum() > 0, 5000);
    EXPECT_EQ(box->cursor().shape(), Qt::OpenHandCursor);
    QSignalSpy drags_out(box, &TPictureBox::dragStarted);

    // The picture follows the pointer: 100 left and 60 up shows what lay
    // right of and below the view.
    QTest::mousePress(box, Qt::LeftButton, {}, {300, 300});
    QTest::mouseMove(box, {200, 240});
    EXPECT_EQ(across(form)->value(), 100);
    EXPECT_EQ(down(form)->value(), 60);
    EXPECT_EQ(box->cursor().shape(), Qt::ClosedHandCursor);
    // The pointer stayed where it was on the screen while the picture moved under it.
    QTest::mouseRelease(box, Qt::LeftButton, {}, {300, 300});
    EXPECT_EQ(box->cursor().shape(), Qt::OpenHandCursor);
    EXPECT_TRUE(form.isVisible());  // a pan is no click
    EXPECT_EQ(drags_out.count(), 0);

    // With Ctrl the drag takes the file out, and the view stays.
    QTest::mousePress(box, Qt::LeftButton, Qt::ControlModifier, {300, 300});
    QTest::mouseEvent(QTest::MouseMove, box, Qt::NoButton, Qt::ControlModifier, {250, 300});
    QTest::mouseRelease(box, Qt::LeftButton, Qt::ControlModifier, {250, 300});
    EXPECT_EQ(drags_out.count(), 1);
    EXPECT_EQ(across(form)->value(), 100);
    const std::unique_ptr<QMimeData> offered = form.dragMimeData();
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->urls(), QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(path))});

    // Shift+arrows scroll a tenth of the view; the arrows alone still step.
    const int step = child<QScrollArea>(form, "ScrollBox1")->viewport()->width() / 10;
    QTest::keyClick(&form, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(across(form)->value(), 100 + step);
    QTest::keyClick(&form, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_GT(down(form)->value(), 60);
    EXPECT_EQ(form.FileTitle, "large.bmp");
}

TEST(Pan, APictureInFullViewIsDraggedOutAsBefore)
{
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("small.bmp", 200, 150)));
    ASSERT_TRUE(showAndWait(form));
    TPictureBox* box = picture_of(form);
    EXPECT_NE(box->cursor().shape(), Qt::OpenHandCursor);
    QSignalSpy drags_out(box, &TPictureBox::dragStarted);
    QTest::mousePress(box, Qt::LeftButton, {}, {100, 100});
    QTest::mouseMove(box, {60, 80});
    QTest::mouseRelease(box, Qt::LeftButton, {}, {60, 80});
    EXPECT_EQ(drags_out.count(), 1);
    EXPECT_EQ(across(form)->value(), 0);
}

}  // namespace
