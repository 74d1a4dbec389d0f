// Animated pictures in the main window: frames in turn, A pauses and resumes, a command stops on the frame shown.
#include "animation.h"
#include "picturebox.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace zarn::test;

// Three frames of 40 x 30 in one colour each, 100 ms apart.
std::string make_gif(const std::string& name)
{
    const std::string path = temp_path(name);
    EXPECT_EQ(
        run_tool({"convert", "-delay", "10", "-size", "40x30", "xc:red", "xc:lime", "xc:blue", "-loop", "0", path})
            .status,
        0);
    return path;
}

QColor centre(TForm1& form)
{
    TPictureBox& picture = *picture_of(form);
    const QImage shown = grabbed(picture);
    return pixel(shown, shown.width() / 2, shown.height() / 2);
}

TEST(Animation, FramesPlayInTurnPauseOnAAndACommandStopsOnTheFrameShown)
{
    if (!have_image_magick()) GTEST_SKIP() << "ImageMagick not installed";
    EXPECT_EQ(show::shownDelay(0), 100);
    EXPECT_EQ(show::shownDelay(19), 100);
    EXPECT_EQ(show::shownDelay(20), 20);

    TForm1 form;
    ASSERT_TRUE(form.LoadImage(QString::fromStdString(make_gif("three.gif"))));
    ASSERT_TRUE(showAndWait(form));
    EXPECT_EQ(centre(form), QColor(Qt::red));  // the first frame, from the working file
    EXPECT_TRUE(form.Playback().playing());
    for (const QColor colour : {QColor(Qt::green), QColor(Qt::blue), QColor(Qt::red), QColor(Qt::green)})
        ZARN_WAIT_TRUE(centre(form) == colour, 5000);

    // Held: no frame goes up for many times the delay; then it goes on.
    QTest::keyClick(&form, Qt::Key_A);
    ASSERT_TRUE(form.Playback().paused());
    const int shown = form.Playback().framesShown();
    const QColor held = centre(form);
    EXPECT_FALSE(QTest::qWaitFor([&] { return form.Playback().framesShown() != shown || centre(form) != held; }, 800));
    QTest::keyClick(&form, Qt::Key_A);
    EXPECT_FALSE(form.Playback().paused());
    ZARN_WAIT_TRUE(form.Playback().framesShown() > shown && centre(form) != held, 5000);

    // A command works on the frame on screen, and the animation is over.
    ZARN_WAIT_TRUE(centre(form) == QColor(Qt::blue), 5000);
    QTest::keyClick(&form, Qt::Key_A);
    const QColor frame = centre(form);
    form.rotateClick();
    EXPECT_FALSE(form.Playback().playing());
    EXPECT_EQ(picture_of(form)->fullSize(), QSize(30, 40));
    EXPECT_EQ(centre(form), frame);
    EXPECT_EQ(form.UndoCount(), 1);
    EXPECT_FALSE(QTest::qWaitFor([&] { return centre(form) != frame; }, 500));

    // A still picture loaded next plays nothing.
    ASSERT_TRUE(form.LoadImage(QString::fromStdString(write_bmp24("still.bmp", 20, 20))));
    EXPECT_FALSE(form.Playback().playing());
}

#ifdef ZARN_HAVE_WEBP
TEST(Animation, AnimatedWebpPlays)
{
    if (!have_image_magick() || !have_program("img2webp")) GTEST_SKIP() << "ImageMagick or img2webp not installed";
    const std::string red = temp_path("red.png"), blue = temp_path("blue.png");
    ASSERT_EQ(run_tool({"convert", "-size", "40x30", "xc:red", red}).status, 0);
    ASSERT_EQ(run_tool({"convert", "-size", "40x30", "xc:blue", blue}).status, 0);
    const std::string webp = temp_path("two.webp");
    ASSERT_EQ(run_tool({"img2webp", "-lossless", "-d", "100", red, blue, "-o", webp}).status, 0);

    TForm1 form;
    ASSERT_TRUE(form.LoadImage(QString::fromStdString(webp)));
    ASSERT_TRUE(showAndWait(form));
    ZARN_WAIT_TRUE(centre(form) == QColor(Qt::blue), 5000);
    ZARN_WAIT_TRUE(centre(form) == QColor(Qt::red), 5000);
}
#endif

}  // namespace
