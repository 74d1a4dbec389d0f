// The main window as the X server shows it, kept as a build artifact (test-artifacts/show-main-window.png).
#include "picturebox.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QScreen>

namespace {

using namespace zarn::test;

TEST(Screenshot, MainWindowUnderXvfb)
{
    TForm1 form;
    form.LoadImage(QString::fromStdString(ZARN_SOURCE_DIR) + "/samples/colour-wheel.bmp");
    ASSERT_TRUE(showAndWait(form));
    QTest::qWait(100);
    const QPixmap shot = form.screen()->grabWindow(form.winId());
    ASSERT_FALSE(shot.isNull());
    // What the X server holds for the picture is the picture.
    const QImage screen = shot.toImage();
    const QPoint at = child(form, "Image1")->mapTo(&form, QPoint(80, 60));
    const QImage picture = child<TPictureBox>(form, "Image1")->Picture();
    EXPECT_EQ(QColor(screen.pixel(at)), QColor(picture.pixel(80, 60)));
    EXPECT_TRUE(shot.save(artifactDir() + "/show-main-window.png"));
}

}  // namespace
