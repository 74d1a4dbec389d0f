// TSlideShow through _SlideShowImages: the file list, the ticks to the end or around, the buttons, the screen.
#include "dialog_test_support.h"
#include "slide.h"
#include "zarngfx24.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace zarn::test;

void write_solid(const std::string& path, int width, int height, std::uint8_t red, std::uint8_t green,
                 std::uint8_t blue)
{
    Bytes row;
    for (int x = 0; x < width; ++x) row.insert(row.end(), {red, green, blue});
    const Rows rows(std::size_t(height), row);
    BmpBuilder().size(width, height).bits(24).pixels(rows).write(path);
}

// b.bmp, A.bmp, c.BMP (three images), a subfolder named like an image, a
// text file, and a bitmap without an extension.
std::string picture_folder()
{
    const std::string folder = temp_path("pictures");
    QDir().mkpath(QString::fromStdString(folder + "/d.bmp"));
    write_solid(folder + "/b.bmp", 100, 50, 255, 0, 0);
    write_solid(folder + "/A.bmp", 40, 30, 0, 0, 255);
    write_solid(folder + "/c.BMP", 20, 20, 0, 255, 0);
    write_solid(folder + "/d.bmp/e.bmp", 20, 20, 0, 255, 0);
    write_file(folder + "/notes.txt", Bytes(40, 'x'));
    write_solid(folder + "/noext", 8, 8, 9, 9, 9);
    return folder;
}

TSlideShow& show(QWidget& window)
{
    return static_cast<TSlideShow&>(window);
}

QString text(QWidget& window, const char* label)
{
    return find_child<QLabel>(window, label)->text();
}

QStringList listed(QWidget& window)
{
    QStringList paths;
    const auto* list = find_child<QListWidget>(window, "ListBox1");
    for (int i = 0; i < list->count(); ++i) paths << list->item(i)->text();
    return paths;
}

// Runs the show with `act` on its window; a window `act` leaves open is closed.
// The delay is -1, 1000 seconds: the test drives the ticks itself.
void run_show(const std::string& folder, int loop, int valid_only, int beep, const std::function<void(QWidget&)>& act)
{
    WhenShown when("TSlideShow", [&](QWidget& window) {
        act(window);
        if (window.isVisible()) window.close();
    });
    _SlideShowImages(folder.c_str(), -1, 0, loop, valid_only, beep);
    EXPECT_TRUE(when.seen());
}

TEST(SlideShow, ListsTheFolderFilesSortedIgnoringCase)
{
    const std::string folder = picture_folder();
    const QString base = QString::fromStdString(folder) + '/';
    const QStringList images = {base + "A.bmp", base + "b.bmp", base + "c.BMP"};
    for (const std::string& given : {folder, folder + "/"})
        run_show(given, 0, 1, 0, [&](QWidget& window) { EXPECT_EQ(listed(window), images) << given; });
    // Without "valid extensions only" the content decides for unknown extensions.
    run_show(folder, 0, 0, 0, [&](QWidget& window) {
        EXPECT_EQ(listed(window), QStringList({base + "A.bmp", base + "b.bmp", base + "c.BMP", base + "noext"}));
    });
}

TEST(SlideShow, FirstImageTwoPeriodsThenClosesOnePeriodAfterTheLast)
{
    const std::string folder = picture_folder();
    run_show(folder, 0, 1, 1, [&](QWidget& window) {
        // A frameless window over the whole screen, the strip centred in the bar.
        EXPECT_EQ(window.windowTitle(), "SlideShow");
        EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(window.geometry(), QRect(0, 0, 1280, 1024));
        EXPECT_EQ(find_child<QWidget>(window, "Panel3")->geometry(), QRect(0, 988, 1280, 36));
        EXPECT_EQ(find_child<QWidget>(window, "Panel1")->geometry().left(), (1280 - 636) / 2);
        EXPECT_EQ(find_child<QTimer>(window, "Timer1")->interval(), 1000 * 1000);

        // The first image, 40 x 30 blue, at its own size in the middle of the image area.
        EXPECT_EQ(text(window, "Label1"), "1 of 3");
        EXPECT_TRUE(text(window, "Label2").startsWith("A.bmp   ")) << text(window, "Label2").toStdString();
        EXPECT_GT(text(window, "Label2").size(), 8);
        EXPECT_EQ(find_child<QWidget>(window, "AnyImage1")->geometry(), QRect(620, 479, 40, 30));
        const QImage screen = grabbed(window);
        EXPECT_EQ(pixel(screen, 640, 494), QColor(0, 0, 255));
        EXPECT_EQ(pixel(screen, 10, 10), QColor(Qt::black));

        std::vector<std::pair<QString, int>> ticks;
        for (int i = 0; i < 3; ++i) {
            show(window).Timer1Timer();
            ticks.emplace_back(text(window, "Label1"), show(window).BeepCount());
        }
        const std::vector<std::pair<QString, int>> expected = {{"1 of 3", 0}, {"2 of 3", 0}, {"3 of 3", 1}};
        EXPECT_EQ(ticks, expected);
        EXPECT_TRUE(window.isVisible());
        show(window).Timer1Timer();
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(show(window).BeepCount(), 2) << "at the last image and at the closing tick";
    });
}

TEST(SlideShow, EndlessLoopBeepsOncePerPass)
{
    const std::string folder = picture_folder();
    run_show(folder, 1, 1, 1, [&](QWidget& window) {
        QStringList shown;
        for (int i = 0; i < 7; ++i) {
            show(window).Timer1Timer();
            shown << text(window, "Label1");
        }
        EXPECT_EQ(shown, QStringList({"1 of 3", "2 of 3", "3 of 3", "1 of 3", "2 of 3", "3 of 3", "1 of 3"}));
        EXPECT_EQ(show(window).BeepCount(), 2);
        EXPECT_TRUE(window.isVisible());
    });
}

TEST(SlideShow, ButtonsKeysAndClicks)
{
    const std::string folder = picture_folder();
    run_show(folder, 0, 1, 0, [&](QWidget& window) {
        auto* timer = find_child<QTimer>(window, "Timer1");
        auto click = [&](const char* name) { find_child<QToolButton>(window, name)->click(); };
        EXPECT_TRUE(timer->isActive());
        click("pausebutton");
        EXPECT_FALSE(timer->isActive());
        click("backbutton");
        EXPECT_EQ(text(window, "Label1"), "1 of 3") << "no step back from the first";
        click("nextbutton");
        QTest::keyClick(&window, Qt::Key_Right);
        EXPECT_EQ(text(window, "Label1"), "3 of 3");
        click("nextbutton");
        EXPECT_EQ(text(window, "Label1"), "1 of 3") << "wraps to the first";
        QTest::keyClick(&window, Qt::Key_Left);
        EXPECT_EQ(text(window, "Label1"), "1 of 3");
        click("pausebutton");
        EXPECT_TRUE(timer->isActive());

        // Back to the beginning after the last image: the show goes on.
        for (int i = 0; i < 3; ++i) show(window).Timer1Timer();
        EXPECT_EQ(text(window, "Label1"), "3 of 3");
        click("startbutton");
        EXPECT_EQ(text(window, "Label1"), "1 of 3");
        show(window).Timer1Timer();
        EXPECT_TRUE(window.isVisible());

        // A click on the bar keeps the show; one on the image ends it.
        QTest::mouseClick(find_child<QWidget>(window, "Label2"), Qt::LeftButton);
        EXPECT_TRUE(window.isVisible());
        QTest::mouseClick(find_child<QWidget>(window, "AnyImage1"), Qt::LeftButton);
        EXPECT_FALSE(window.isVisible());
    });
    run_show(folder, 0, 1, 0, [&](QWidget& window) {
        QTest::keyClick(&window, Qt::Key_Escape);
        EXPECT_FALSE(window.isVisible());
    });
}

// .d.bmp (hidden, red), a.bmp (blue), b.bmp (not a picture), c.bmp (green).
TEST(SlideShow, HiddenFilesShowUnreadableOnesArePassedAndArrowsStepFromThePictureOnShow)
{
    const std::string folder = temp_path("mixed");
    QDir().mkpath(QString::fromStdString(folder));
    write_solid(folder + "/.d.bmp", 30, 20, 255, 0, 0);
    write_solid(folder + "/a.bmp", 30, 20, 0, 0, 255);
    write_file(folder + "/b.bmp", Bytes(100, 'x'));
    write_solid(folder + "/c.bmp", 30, 20, 0, 255, 0);
    run_show(folder, 0, 1, 0, [&](QWidget& window) {
        auto click = [&](const char* name) { find_child<QToolButton>(window, name)->click(); };
        auto on_show = [&] {
            const QRect image = find_child<QWidget>(window, "AnyImage1")->geometry();
            return std::make_pair(text(window, "Label1"),
                                  pixel(grabbed(window), image.center().x(), image.center().y()));
        };
        EXPECT_EQ(listed(window).size(), 4);
        EXPECT_TRUE(text(window, "Label2").startsWith(".d.bmp   "));
        for (const char* label : {"Label1", "Label2"})
            EXPECT_EQ(QFontInfo(find_child<QLabel>(window, label)->font()).pixelSize(),
                      QFontInfo(window.font()).pixelSize())
                << label;

        // Running, from the first picture on.
        click("nextbutton");
        EXPECT_EQ(on_show(), std::make_pair(QString("2 of 4"), QColor(0, 0, 255)));
        QTest::keyClick(&window, Qt::Key_Right);
        EXPECT_EQ(on_show(), std::make_pair(QString("4 of 4"), QColor(0, 255, 0))) << "b.bmp passed over";
        EXPECT_TRUE(text(window, "Label2").startsWith("c.bmp   "));

        // Paused after a tick has moved on: one step each way.
        click("startbutton");
        show(window).Timer1Timer();
        click("pausebutton");
        click("nextbutton");
        EXPECT_EQ(on_show(), std::make_pair(QString("2 of 4"), QColor(0, 0, 255)));
        click("nextbutton");
        EXPECT_EQ(text(window, "Label1"), "4 of 4");
        click("backbutton");
        EXPECT_EQ(on_show(), std::make_pair(QString("2 of 4"), QColor(0, 0, 255))) << "b.bmp passed over backwards";
    });
}

TEST(SlideShow, EmptyFolder)
{
    const std::string folder = temp_path("empty");
    QDir().mkpath(QString::fromStdString(folder));
    run_show(folder, 0, 1, 1, [&](QWidget& window) {
        show(window).Timer1Timer();
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(show(window).BeepCount(), 0);
    });
    run_show(folder, 1, 1, 1, [&](QWidget& window) {
        show(window).Timer1Timer();
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(find_child<QTimer>(window, "Timer1")->isActive());
        EXPECT_EQ(text(window, "Label1"), "...");
        EXPECT_EQ(text(window, "Label2"), "...");
    });
}

// On its own timer a show of three images takes four periods: the first
// image stays for two.
TEST(SlideShow, RunsToTheEndOnItsOwnTimer)
{
    const std::string folder = picture_folder();
    constexpr int kSecond = 40;
    TSlideShow::setSecondLength(kSecond);
    QElapsedTimer clock;
    clock.start();
    _SlideShowImages(folder.c_str(), 1, 1, 0, 1, 0);
    EXPECT_GE(clock.elapsed(), 4 * kSecond);
    TSlideShow::setSecondLength(1000);
}

}  // namespace
