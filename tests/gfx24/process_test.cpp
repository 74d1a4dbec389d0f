// TAdjuster24 through _AdjustImage: the refusal, the previewed area, the tone on preview and file, the close paths.
#include "dialog_test_support.h"
#include "zarngfx24.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace zarn::test;

// Closes the window when a check gave up early, so the export returns.
struct CloseAtEnd {
    QWidget& window;
    ~CloseAtEnd()
    {
        if (window.isVisible()) static_cast<QDialog&>(window).reject();
    }
};

struct Tone {
    int red = 0, green = 0, blue = 0, brightness = 0, contrast = 0;
};

// The tone rule on one channel value, in the library's integer arithmetic.
int toned(int v, int percent, const Tone& tone)
{
    int out = v + v * (percent + tone.brightness) / 100;
    if (tone.contrast != 0) out = (out - 127) * (tone.contrast + 100) / 100 + 127;
    return std::clamp(out, 0, 255);
}

// Empty when `picture` is the w x h area of `source` at (left, top) with
// `tone` applied, else where they first differ.
std::string area_difference(const QImage& picture, const Rows& source, int left, int top, int w, int h,
                            const Tone& tone = {})
{
    if (picture.width() != w || picture.height() != h)
        return "size " + std::to_string(picture.width()) + "x" + std::to_string(picture.height());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* rgb = &source[std::size_t(top + y)][3 * std::size_t(left + x)];
            const QRgb seen = picture.pixel(x, y);
            if (qRed(seen) != toned(rgb[0], tone.red, tone) || qGreen(seen) != toned(rgb[1], tone.green, tone) ||
                qBlue(seen) != toned(rgb[2], tone.blue, tone))
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    return {};
}

QImage preview(QWidget& window)
{
    return find_child<QLabel>(window, "Image1")->pixmap().toImage();
}

QScrollBar* bar(QWidget& window, const char* name)
{
    return find_child<QScrollBar>(window, name);
}

void click(QWidget& window, const char* button)
{
    QTest::mouseClick(find_child<QPushButton>(window, button), Qt::LeftButton);
}

// The window's temporary files in the private folder under `tmp`.
QStringList temporary_files(const std::string& tmp = temp_dir() + "/tmp")
{
    const QString folder = QString::fromStdString(tmp + "/zarn-" + std::to_string(::getuid()));
    return QDir(folder).entryList({"zarngfx24*"}, QDir::Files);
}

bool temporary_files_left()
{
    return !temporary_files().isEmpty();
}

std::string write_rgb(const std::string& name, int width, int height, const Rows& rows)
{
    const std::string path = temp_path(name);
    BmpBuilder().size(width, height).bits(24).pixels(rows).write(path);
    return path;
}

TEST(Adjuster24, EightBitFileIsRefusedWithAMessageAndLeftAlone)
{
    const std::string path = temp_path("grey.bmp");
    BmpBuilder().size(16, 8).bits(8).palette(grey_ramp(256)).pixels(ramp(16, 8)).write(path);
    const Bytes before = read_file(path);

    QString text, caption;
    int buttons = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, &answer, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible()) continue;
            answer.stop();
            text = box->text();
            caption = box->windowTitle();
            buttons = int(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
            return;
        }
    });
    answer.start(10);
    WhenShown never("TAdjuster24", [](QWidget& window) { static_cast<QDialog&>(window).reject(); });

    EXPECT_EQ(_AdjustImage(path.c_str()), 0);
    EXPECT_EQ(text, QStringLiteral("This is not a 24bit Image!"));
    EXPECT_EQ(caption, QStringLiteral("Error"));
    EXPECT_EQ(buttons, 1);
    EXPECT_FALSE(never.seen());
    EXPECT_EQ(read_file(path), before);
}

TEST(Adjuster24, PreviewFollowsTheNavigatorAndGreenReachesOnlyGreen)
{
    const int width = 2000, height = 1500;
    const Rows source = rgb_ramp(width, height);
    const std::string path = write_rgb("large.bmp", width, height, source);

    WhenShown act("TAdjuster24", [&](QWidget& window) {
        CloseAtEnd closer{window};
        EXPECT_EQ(window.windowTitle(), QStringLiteral("24bit Image Adjustment"));
        EXPECT_EQ(find_child<QLabel>(window, "Image2")->size(), QSize(width / 2, height / 2));
        EXPECT_EQ(area_difference(preview(window), source, 0, 0, 320, 240), "");

        // Left to the timer, the preview follows once the navigator is still.
        auto* navigator = find_child<QScrollArea>(window, "ScrollBox2");
        navigator->horizontalScrollBar()->setValue(100);
        navigator->verticalScrollBar()->setValue(50);
        const auto followed = [&] { return area_difference(preview(window), source, 200, 100, 320, 240); };
        EXPECT_TRUE(QTest::qWaitFor([&] { return followed().empty(); }, 5000)) << followed();

        // "update" follows it at once.
        navigator->horizontalScrollBar()->setValue(300);
        navigator->verticalScrollBar()->setValue(211);
        click(window, "update");
        EXPECT_EQ(area_difference(preview(window), source, 600, 422, 320, 240), "");

        bar(window, "greenbar")->setValue(20);
        EXPECT_EQ(find_child<QLabel>(window, "Label2")->text(), QStringLiteral("20"));
        EXPECT_EQ(area_difference(preview(window), source, 600, 422, 320, 240, {.green = 20}), "");
        click(window, "Button1");
    });
    EXPECT_EQ(_AdjustImage(path.c_str()), 1);
    ASSERT_TRUE(act.seen());
    EXPECT_FALSE(temporary_files_left());

    const QImage file(QString::fromStdString(path));
    EXPECT_EQ(area_difference(file, source, 0, 0, width, height, {.green = 20}), "");
}

TEST(Adjuster24, ResetRestoresTheAreaAndEveryCloseButOkLeavesTheFile)
{
    const int width = 200, height = 100;
    const Rows source = rgb_ramp(width, height);
    const std::string path = write_rgb("small.bmp", width, height, source);
    const Bytes before = read_file(path);

    const auto close_paths = {+[](QWidget& window) { click(window, "Button2"); },
                              +[](QWidget& window) { QTest::keyClick(&window, Qt::Key_Escape); },
                              +[](QWidget& window) { window.close(); }};
    for (auto close : close_paths) {
        WhenShown act("TAdjuster24", [&](QWidget& window) {
            CloseAtEnd closer{window};
            bar(window, "redbar")->setValue(-30);
            bar(window, "brightbar")->setValue(15);
            bar(window, "contbar")->setValue(10);
            EXPECT_EQ(area_difference(preview(window), source, 0, 0, width, height,
                                      {.red = -30, .brightness = 15, .contrast = 10}),
                      "");
            EXPECT_EQ(find_child<QLabel>(window, "Label4")->text(), QStringLiteral("15"));

            click(window, "Button3");
            for (const char* name : {"redbar", "greenbar", "bluebar", "brightbar", "contbar"})
                EXPECT_EQ(bar(window, name)->value(), 0) << name;
            for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5"})
                EXPECT_EQ(find_child<QLabel>(window, name)->text(), QStringLiteral("0")) << name;
            EXPECT_EQ(area_difference(preview(window), source, 0, 0, width, height), "");

            bar(window, "bluebar")->setValue(40);
            close(window);
        });
        EXPECT_EQ(_AdjustImage(path.c_str()), 0);
        EXPECT_TRUE(act.seen());
        EXPECT_EQ(read_file(path), before);
        EXPECT_FALSE(temporary_files_left());
    }
}

TEST(Adjuster24, NavigatorAtTheEdgeAndAFileThatCannotBeRewritten)
{
    // Odd sizes and a navigator smaller than it is laid out, so twice its
    // last offsets reach past the file's edge.
    const int width = 1001, height = 751;
    const Rows source = rgb_ramp(width, height);
    const std::string path = write_rgb("odd.bmp", width, height, source);
    const Bytes garbage(100, 0x5A);

    WhenShown act("TAdjuster24", [&](QWidget& window) {
        CloseAtEnd closer{window};
        auto* navigator = find_child<QScrollArea>(window, "ScrollBox2");
        navigator->resize(60, 50);
        navigator->horizontalScrollBar()->setValue(navigator->horizontalScrollBar()->maximum());
        navigator->verticalScrollBar()->setValue(navigator->verticalScrollBar()->maximum());
        ASSERT_GT(2 * navigator->horizontalScrollBar()->value() + 320, width);
        click(window, "update");
        EXPECT_EQ(area_difference(preview(window), source, width - 320, height - 240, 320, 240), "");

        // Replaced behind the window's back: "Ok" cannot apply the change.
        write_file(path, garbage);
        bar(window, "greenbar")->setValue(10);
        click(window, "Button1");
    });
    EXPECT_EQ(_AdjustImage(path.c_str()), 0);
    EXPECT_TRUE(act.seen());
    EXPECT_EQ(read_file(path), garbage);
    EXPECT_FALSE(temporary_files_left());
}

TEST(Adjuster24, EverySliderMovesOneStepAPixel)
{
    const std::string path = write_rgb("small.bmp", 8, 8, rgb_ramp(8, 8));
    WhenShown act("TAdjuster24", [&](QWidget& window) {
        CloseAtEnd closer{window};
        for (const char* name : {"redbar", "greenbar", "bluebar", "brightbar", "contbar"}) {
            QScrollBar* slider = bar(window, name);
            QStyleOptionSlider option;
            option.initFrom(slider);
            option.orientation = slider->orientation();
            option.minimum = slider->minimum();
            option.maximum = slider->maximum();
            option.pageStep = slider->pageStep();
            option.sliderPosition = option.sliderValue = slider->value();
            const QStyle* style = slider->style();
            const int groove =
                style->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarGroove, slider).width();
            const int handle =
                style->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, slider).width();
            EXPECT_GE(groove - handle + 1, slider->maximum() - slider->minimum() + 1) << name;
            EXPECT_TRUE(window.rect().contains(slider->mapTo(&window, slider->rect().bottomRight()))) << name;
        }
    });
    EXPECT_EQ(_AdjustImage(path.c_str()), 0);
    EXPECT_TRUE(act.seen());
}

// Two programs adjusting pictures at once, each in a child process running
// this test with a role: both windows are up together, each previews its
// own picture, and the first closing takes none of the second's files.
TEST(Adjuster24, TwoProgramsAtOnceKeepTheirOwnPreviews)
{
    const char* role = std::getenv("ZARN_ADJUST_ROLE");
    const char* shared = std::getenv("ZARN_ADJUST_SHARED");
    if (role && shared) {
        const std::string folder = shared;
        const std::string me = role, other = me == "1" ? "2" : "1";
        const auto mark = [&](const std::string& what) { write_file(folder + "/" + me + what, Bytes{1}); };
        const auto marked = [&](const std::string& who, const std::string& what) {
            return file_exists(folder + "/" + who + what);
        };
        // Pictures of different sizes, so one cannot pass for the other.
        const int width = me == "1" ? 40 : 24, height = me == "1" ? 30 : 18;
        const Rows source = rgb_ramp(width, height);
        const std::string path = write_rgb("mine.bmp", width, height, source);
        ScopedEnv tmp("TMPDIR", (folder + "/tmp").c_str());
        WhenShown act("TAdjuster24", [&](QWidget& window) {
            CloseAtEnd closer{window};
            mark(".up");
            ZARN_WAIT_TRUE(marked(other, ".up"), 30000);
            click(window, "update");
            EXPECT_EQ(area_difference(preview(window), source, 0, 0, width, height), "");
            if (me == "1") {
                ZARN_WAIT_TRUE(temporary_files(folder + "/tmp").size() == 4, 10000) << "two files each";
                mark(".checked");
                ZARN_WAIT_TRUE(marked(other, ".checked"), 30000);
                click(window, "Button2");
                mark(".closed");
            } else {
                mark(".checked");
                ZARN_WAIT_TRUE(marked(other, ".closed"), 30000);
                click(window, "update");
                EXPECT_EQ(area_difference(preview(window), source, 0, 0, width, height), "");
            }
        });
        EXPECT_EQ(_AdjustImage(path.c_str()), 0);
        EXPECT_TRUE(act.seen());
        return;
    }

    const std::string folder = temp_path("shared");
    std::filesystem::create_directories(folder + "/tmp");
    const QString self = QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string());
    const QString filter = "--gtest_filter=Adjuster24.TwoProgramsAtOnceKeepTheirOwnPreviews";
    QProcess children[2];
    for (int i = 0; i < 2; ++i) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ZARN_ADJUST_ROLE", QString::number(i + 1));
        environment.insert("ZARN_ADJUST_SHARED", QString::fromStdString(folder));
        children[i].setProcessEnvironment(environment);
        children[i].setProcessChannelMode(QProcess::MergedChannels);
        children[i].start(self, {filter});
    }
    for (QProcess& child : children) {
        if (!QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 90000)) child.kill();
        child.waitForFinished();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    }
    EXPECT_EQ(temporary_files(folder + "/tmp"), QStringList());
}

}  // namespace
