// TImCopy: the picture reaches another program through the clipboard, after at least a second on screen.
#include "dialog_test_support.h"
#include "zarngfx24.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTest>

namespace {

using namespace zarn::test;

const std::string kBin = ZARN_BIN_DIR;

QImage ramp_image(int width, int height)
{
    const Rows rows = rgb_ramp(width, height);
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* rgb = &rows[std::size_t(y)][std::size_t(x) * 3];
            image.setPixel(x, y, qRgb(rgb[0], rgb[1], rgb[2]));
        }
    return image;
}

// What another program pastes as PNG. This process keeps serving its events
// meanwhile, since it may be the clipboard's owner.
QImage pasted()
{
    QProcess xclip;
    xclip.start("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"});
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000)) {
        xclip.kill();
        xclip.waitForFinished();
        return {};
    }
    return QImage::fromData(xclip.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_RGB32);
}

TEST(Copy, ThePictureReachesAnotherProgramAfterASecondOnScreen)
{
    if (!have_program("xclip")) GTEST_SKIP() << "xclip is not installed";
    const std::string path = write_picture("ramp.bmp", 40, 30);
    QString label, title;
    QSize size;
    WhenShown shown(
        "TImCopy",
        [&](QWidget& window) {
            label = find_child<QLabel>(window, "Label1")->text();
            title = window.windowTitle();
            size = window.size();
        },
        20000, false);
    QElapsedTimer clock;
    clock.start();
    _Copy_Image(path.c_str());
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_TRUE(shown.seen());
    EXPECT_EQ(label, QString::fromStdString(path));
    EXPECT_EQ(title, "Copying to Clipboard");
    EXPECT_EQ(size, QSize(247, 34));
    EXPECT_EQ(pasted(), ramp_image(40, 30));

    // A file that does not load leaves the clipboard as it was.
    write_file(temp_path("noise.xyz"), Bytes(200, 0x33));
    _Copy_Image(temp_path("noise.xyz").c_str());
    EXPECT_EQ(pasted(), ramp_image(40, 30));
}

// A name that takes nearly all of the file system's 255 bytes.
TEST(Copy, APictureWithALongNameIsCopiedAsWell)
{
    const std::string path = write_picture((std::string(246 - 4, 'n') + ".bmp").c_str(), 21, 13);
    _Copy_Image(path.c_str());
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), ramp_image(21, 13));
}

// A host without Qt has its application for the call only; the picture
// outlives it.
TEST(Copy, APictureCopiedByAHostWithoutQtStaysAfterTheHostHasEnded)
{
    if (!have_program("xclip")) GTEST_SKIP() << "xclip is not installed";
    const std::string path = write_picture("small.bmp", 24, 12);
    const ToolRun run = run_tool({kBin + "/plain_host", "copy", path, "1"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(pasted(), ramp_image(24, 12));
    // Taking the clipboard back ends the program that kept it.
    QGuiApplication::clipboard()->setText(QStringLiteral("done"));
}

}  // namespace
