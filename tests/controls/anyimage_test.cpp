// TAnyImage: loads through the image library, reload rules, fitting, direct loads, the temporary file, painting.
#include "anyimage.h"
#include "private_temp.h"
#include "test_support.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPalette>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

using namespace zarn::test;

std::string write_picture(const std::string& path, int width, int height)
{
    BmpBuilder().size(width, height).bits(24).pixels(rgb_ramp(width, height)).write(path);
    return path;
}

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

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

int progress_reports = 0;
void count_progress(std::int32_t, std::int32_t)
{
    ++progress_reports;
}

TEST(AnyImage, SameNameDoesNotReloadButAColourChangeDoes)
{
    const std::string path = write_picture(temp_path("ramp.bmp"), 16, 8);
    TAnyImage image;
    image.setFileName(q(path));
    ASSERT_EQ(image.Picture().size(), QSize(16, 8));
    EXPECT_GT(image.Picture().depth(), 8);
    EXPECT_EQ(image.Picture().convertToFormat(QImage::Format_RGB32), ramp_image(16, 8));

    write_picture(path, 6, 4);
    image.setFileName(q(path));
    EXPECT_EQ(image.Picture().size(), QSize(16, 8)) << "the same name is not loaded again";

    image.setProgressCallback(&count_progress);
    progress_reports = 0;
    image.setTruColor(false);
    EXPECT_EQ(image.Picture().size(), QSize(6, 4));
    EXPECT_EQ(image.Picture().depth(), 8) << "256 colours";
    EXPECT_GT(progress_reports, 0) << "the colour reduction reports through the callback";
}

TEST(AnyImage, WidePictureShrinksTheControlAndCentresItInItsParent)
{
    QWidget parent;
    parent.resize(300, 400);
    auto* image = new TAnyImage(&parent);
    image->setGeometry(0, 0, 100, 100);
    image->setFileName(q(write_picture(temp_path("wide.bmp"), 400, 200)));
    ASSERT_EQ(image->Picture().size(), QSize(400, 200));
    EXPECT_EQ(image->geometry(), QRect(100, 175, 100, 50));

    // Fitting only ever shrinks: a larger parent leaves the size alone.
    parent.resize(600, 400);
    image->FitToPicture();
    EXPECT_EQ(image->geometry(), QRect(250, 175, 100, 50));
}

TEST(AnyImage, IconsLoadWithoutTheLibraryAndUnknownFilesChangeNothing)
{
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(qRgb(10, 200, 30));
    const QString icon_path = q(temp_path("badge.ICO"));
    ASSERT_TRUE(icon.save(icon_path, "ICO"));
    TAnyImage image;
    image.setFileName(icon_path);
    ASSERT_EQ(image.Picture().size(), QSize(16, 16));
    EXPECT_EQ(image.Picture().pixel(8, 8), qRgb(10, 200, 30));

    write_file(temp_path("noise.xyz"), Bytes(300, 0x5A));
    image.setFileName(q(temp_path("noise.xyz")));
    EXPECT_EQ(image.Picture().size(), QSize(16, 16)) << "the previous picture stays";
    image.setFileName(q(temp_path("drawing.WMF")));
    EXPECT_EQ(image.Picture().size(), QSize(16, 16));
}

TEST(AnyImage, TheTemporaryFileGoesAndNeverTakesTheSourceWithIt)
{
    const QString folder = controls::privateTempDir();
    ASSERT_FALSE(folder.isEmpty());
    // "x", the name without its extension, then this process's own ending.
    const QString process = '-' + QString::number(::getpid()) + '-';
    const QString cat = TAnyImage::temporaryPathFor("/any/where/cat.jpg");
    EXPECT_TRUE(cat.startsWith(folder + "/xcat" + process) && cat.endsWith(".bmp")) << cat.toStdString();
    EXPECT_TRUE(TAnyImage::temporaryPathFor("/any/where/noext").startsWith(folder + "/xnoext" + process));
    EXPECT_NE(TAnyImage::temporaryPathFor("/any/where/cat.jpg"), cat);

    TAnyImage image;
    image.setFileName(q(write_picture(temp_path("cat.bmp"), 5, 3)));
    ASSERT_EQ(image.Picture().size(), QSize(5, 3));
    EXPECT_EQ(QDir(folder).entryList({"xcat*"}, QDir::Files), QStringList());

    // A source that is a link to the next name the conversion would take:
    // another name is written and deleted, and the file is kept.
    const QString next = TAnyImage::temporaryPathFor("/dog.bmp");
    const qsizetype count_at = next.lastIndexOf('-') + 1;
    const QString after = next.left(count_at) + QString::number(next.mid(count_at).chopped(4).toInt() + 1) + ".bmp";
    const std::string kept = write_picture(after.toStdString(), 7, 7);
    const Bytes before = read_file(kept);
    std::filesystem::create_symlink(kept, temp_path("dog.bmp"));
    image.setFileName(q(temp_path("dog.bmp")));
    EXPECT_EQ(image.Picture().size(), QSize(7, 7));
    ASSERT_TRUE(file_exists(kept));
    EXPECT_EQ(read_file(kept), before);

    // A name that fills the file system's 255 bytes still has room for its
    // temporary name, and two that differ only at the end do not share one.
    const std::string long_stem(246 - 4, 'n');
    image.setFileName(q(write_picture(temp_path(long_stem + ".bmp"), 6, 2)));
    EXPECT_EQ(image.Picture().size(), QSize(6, 2));
    const QString shortened = QFileInfo(TAnyImage::temporaryPathFor(q(long_stem + "a.bmp"))).fileName();
    EXPECT_LT(shortened.size(), 100);
    const QString stem = shortened.left(shortened.indexOf(process));
    EXPECT_TRUE(stem.startsWith("xnnnn")) << stem.toStdString();
    const QString other = QFileInfo(TAnyImage::temporaryPathFor(q(long_stem + "b.bmp"))).fileName();
    EXPECT_NE(other.left(other.indexOf(process)), stem);
}

TEST(AnyImage, PaintsAtItsOwnSizeOrStretched)
{
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 0, 255));
    QWidget window;
    window.resize(60, 40);
    QPalette green;
    green.setColor(QPalette::Window, QColor(0, 255, 0));
    window.setPalette(green);
    window.setAutoFillBackground(true);
    auto* image = new TAnyImage(&window);
    image->setGeometry(10, 10, 40, 20);
    image->setPicture(picture);
    ASSERT_TRUE(showAndWait(window));

    // Window pixels: the control's origin is at (10, 10).
    QImage shown = grabbed(window);
    EXPECT_EQ(pixel(shown, 10, 10), QColor(255, 0, 0));
    EXPECT_EQ(pixel(shown, 11, 10), QColor(0, 0, 255));
    EXPECT_EQ(pixel(shown, 30, 20), QColor(0, 255, 0)) << "the parent shows around the picture";

    image->setStretch(true);
    shown = grabbed(window);
    EXPECT_EQ(pixel(shown, 15, 25), QColor(255, 0, 0));
    EXPECT_EQ(pixel(shown, 45, 25), QColor(0, 0, 255));

    image->setAutoSize(true);
    EXPECT_EQ(image->size(), QSize(2, 1));

    // Stretched smaller, one-pixel stripes show as their mean.
    QImage stripes(80, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 80; ++x) stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    image->setAutoSize(false);
    image->setPicture(stripes);
    image->setGeometry(10, 10, 40, 20);
    shown = grabbed(window);
    for (const QPoint at : {QPoint(10, 10), QPoint(30, 20), QPoint(49, 29)})
        EXPECT_NEAR(pixel(shown, at.x(), at.y()).green(), 128, 1) << at.x() << "," << at.y();
}

// Run by FindsItsOwnFolderWhenStartedByBareName, found through PATH, where
// the system names the program without a folder.
TEST(AnyImage, ChildStartedByBareName)
{
    if (!std::getenv("ZARN_BARE_NAME_CHILD")) GTEST_SKIP() << "runs only as the child of the test below";
    const std::string folder = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    EXPECT_EQ(controls::ownFolder(), folder);
    TAnyImage image;
    image.setFileName(q(write_picture(temp_path("bare.bmp"), 3, 2)));
    EXPECT_EQ(image.Picture().size(), QSize(3, 2));
}

TEST(AnyImage, FindsItsOwnFolderWhenStartedByBareName)
{
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const char* old_path = std::getenv("PATH");
    const std::string search = self.parent_path().string() + ':' + (old_path ? old_path : "/usr/bin:/bin");
    const ScopedEnv path("PATH", search.c_str());
    const ScopedEnv child("ZARN_BARE_NAME_CHILD", "1");
    const ToolRun run = run_tool({self.filename().string(), "--gtest_filter=AnyImage.ChildStartedByBareName"});
    const std::string output(run.output.begin(), run.output.end());
    EXPECT_EQ(run.status, 0) << output;
    EXPECT_NE(output.find("[       OK ] AnyImage.ChildStartedByBareName"), std::string::npos) << output;
}

}  // namespace
