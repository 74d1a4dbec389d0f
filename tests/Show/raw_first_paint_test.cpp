// A camera RAW is first painted from the preview it carries, fitted in the whole picture's geometry, and then
// replaced by the demosaiced picture.
#include "dng_builder.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace zarn::test;

// The colour at the middle of the widget as painted.
QColor painted_middle(QWidget* widget)
{
    const QImage shot = widget->grab().toImage();
    return shot.pixelColor(shot.width() / 2, shot.height() / 2);
}

TEST(RawFirstPaint, EmbeddedPreviewIsShownFittedThenTheDemosaic)
{
    if (!have_program("dcraw_emu")) GTEST_SKIP() << "LibRaw's tools not installed";
    // A green scene whose preview is magenta, stored a quarter turn round:
    // upright it is 1800 x 2400.
    DngPicture picture;
    picture.width = 2400;
    picture.height = 1800;
    picture.orientation = 6;
    picture.scene = [](int, int, std::uint16_t rgb[3]) {
        rgb[0] = 4000;
        rgb[1] = 30000;
        rgb[2] = 4000;
    };
    picture.preview_width = 600;
    picture.preview_height = 450;
    for (int i = 0; i < 600 * 450; ++i) picture.preview_rgb.insert(picture.preview_rgb.end(), {230, 20, 230});
    const std::string path = temp_path("camera.dng");
    write_file(path, make_dng(picture));

    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(form.LoadImage(QString::fromStdString(path)));
    TPictureBox* box = picture_of(form);
    ASSERT_TRUE(box->isPreview());
    EXPECT_EQ(box->fullSize(), QSize(1800, 2400));
    const QSize geometry = box->size();
    EXPECT_EQ(geometry, form.fittedSize(QSize(1800, 2400)) / box->devicePixelRatioF());
    EXPECT_TRUE(label(form, "Label1").contains(QStringLiteral("RAW : 1800x2400 Zarn Test Camera")))
        << label(form, "Label1").toStdString();
    const QColor first = painted_middle(box);
    EXPECT_GT(first.red(), 180);
    EXPECT_LT(first.green(), 80);

    ZARN_WAIT_TRUE(!box->isPreview(), 60000);
    EXPECT_EQ(box->Picture().size(), QSize(1800, 2400));
    EXPECT_EQ(box->size(), geometry);
    const QColor demosaiced = painted_middle(box);
    EXPECT_GT(demosaiced.green(), demosaiced.red() + 60) << demosaiced.name().toStdString();
}

}  // namespace
