// TSizeIt behind _SizeImage: the proportions rule, the presets, and when the file is rewritten.
#include "dialog_test_support.h"
#include "numedit.h"
#include "progbar.h"
#include "zarngfx24.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <functional>

namespace {

using namespace zarn::test;

TNumEdit* edit(QWidget& window, const char* name)
{
    return find_child<TNumEdit>(window, name);
}

void press(QWidget& window, const char* name)
{
    find_child<QPushButton>(window, name)->click();
}

std::pair<double, double> size_shown(QWidget& window)
{
    return {edit(window, "NumEdit1")->Number(), edit(window, "NumEdit2")->Number()};
}

// Runs the export with `act` on its window; a window that `act` left open
// is cancelled, so a failed check cannot leave the export waiting.
int size_image(const std::string& path, const std::function<void(QWidget&)>& act)
{
    WhenShown when("TSizeIt", [&](QWidget& window) {
        act(window);
        if (window.isVisible()) static_cast<QDialog&>(window).reject();
    });
    const int result = _SizeImage(path.c_str());
    EXPECT_TRUE(when.seen());
    return result;
}

TEST(SizeIt, HeightFollowsTypedWidthInWholePercent)
{
    const std::string path = write_picture("wide.bmp", 1000, 333);
    const Bytes before = read_file(path);
    const int result = size_image(path, [](QWidget& window) {
        EXPECT_EQ(window.windowTitle(), "Resize Image");
        EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "fixed size";
        const QPoint centre = window.screen()->availableGeometry().center();
        EXPECT_LE((window.geometry().center() - centre).manhattanLength(), 40);
        const std::pair<const char*, const char*> buttons[] = {
            {"Button1", "Ok"},        {"Button2", "Cancel"},     {"Button3", "320 x 240"}, {"Button4", "640 x 480"},
            {"Button5", "800 x 600"}, {"Button6", "1024 x 768"}, {"Button7", "50%"},       {"Button8", "75%"},
            {"Button9", "150%"},      {"Button10", "200%"}};
        for (const auto& [name, text] : buttons) {
            auto* button = find_child<QPushButton>(window, name);
            ASSERT_NE(button, nullptr) << name;
            EXPECT_EQ(button->text(), text);
            EXPECT_GE(button->width(), button->sizeHint().width()) << name << " shows its whole text";
        }

        EXPECT_EQ(size_shown(window), std::make_pair(1000.0, 333.0));
        auto* keep = find_child<QCheckBox>(window, "CheckBox1");
        EXPECT_TRUE(keep->isChecked());
        EXPECT_FALSE(edit(window, "NumEdit2")->isEnabled());

        TNumEdit* width = edit(window, "NumEdit1");
        width->selectAll();
        QTest::keyClicks(width, "500");
        EXPECT_EQ(size_shown(window), std::make_pair(500.0, 165.0)) << "ratio 33, not 33.3";

        keep->click();
        EXPECT_TRUE(edit(window, "NumEdit2")->isEnabled());
        width->selectAll();
        QTest::keyClicks(width, "800");
        EXPECT_EQ(size_shown(window).second, 165.0) << "free proportions leave the height";
        press(window, "Button2");
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read_file(path), before);
}

TEST(SizeIt, PresetsSetHeightOnlyWhenProportionsAreFree)
{
    const std::string screen = write_picture("screen.bmp", 1024, 768);
    size_image(screen, [](QWidget& window) {
        press(window, "Button3");
        EXPECT_EQ(size_shown(window), std::make_pair(320.0, 240.0));
    });

    const std::string wide = write_picture("half.bmp", 1000, 500);
    size_image(wide, [](QWidget& window) {
        press(window, "Button3");
        EXPECT_EQ(size_shown(window), std::make_pair(320.0, 160.0));
        find_child<QCheckBox>(window, "CheckBox1")->click();
        press(window, "Button3");
        EXPECT_EQ(size_shown(window), std::make_pair(320.0, 240.0));
    });

    // Percentages come from the file's size in whole numbers, not from the edits.
    const std::string odd = write_picture("odd.bmp", 101, 75);
    size_image(odd, [](QWidget& window) {
        find_child<QCheckBox>(window, "CheckBox1")->click();
        press(window, "Button7");
        press(window, "Button7");
        EXPECT_EQ(size_shown(window), std::make_pair(50.0, 37.0));
        press(window, "Button8");
        EXPECT_EQ(size_shown(window), std::make_pair(75.0, 56.0));
        press(window, "Button9");
        EXPECT_EQ(size_shown(window), std::make_pair(151.0, 112.0));
    });
}

TEST(SizeIt, OkRewritesTheFileAtTheNewSize)
{
    const std::string path = write_picture("odd.bmp", 101, 75);
    int progress = 0;
    const int result = size_image(path, [&](QWidget& window) {
        find_child<QCheckBox>(window, "CheckBox1")->click();
        press(window, "Button7");
        press(window, "Button1");
        progress = find_child<TProgbar>(window, "Progbar1")->Level();
    });
    EXPECT_EQ(result, 1);
    EXPECT_GT(progress, 0) << "the library's progress reached the bar";
    const Bytes file = read_file(path);
    ASSERT_EQ(file.size(), 54u + 152u * 37u);  // rows of 50 pixels padded to 152 bytes
    EXPECT_EQ(get_u32(file, 18), 50u);
    EXPECT_EQ(get_u32(file, 22), 37u);
    EXPECT_EQ(get_u16(file, 28), 24u);

    // A width typed below the limit, the focus still in its edit, is raised
    // to 16 before the resize; the height follows it.
    const int small = size_image(path, [](QWidget& window) {
        TNumEdit* width = edit(window, "NumEdit1");
        width->selectAll();
        QTest::keyClicks(width, "3");
        press(window, "Button1");
    });
    EXPECT_EQ(small, 1);
    const Bytes smallest = read_file(path);
    EXPECT_EQ(get_u32(smallest, 18), 16u);
    EXPECT_EQ(get_u32(smallest, 22), 16u);
}

// A side that typing more digits cannot bring within the limits shows at once
// as the side the resize will use; one on its way up from below is left alone.
TEST(SizeIt, SidesPastTheLimitsShowAsTheyWillBeUsed)
{
    const std::string path = write_picture("limits.bmp", 64, 48);
    const int result = size_image(path, [](QWidget& window) {
        TNumEdit* width = edit(window, "NumEdit1");
        TNumEdit* height = edit(window, "NumEdit2");
        for (TNumEdit* side : {width, height})
            EXPECT_TRUE(side->toolTip().contains("16") && side->toolTip().contains("5000"))
                << side->toolTip().toStdString();
        width->selectAll();
        QTest::keyClicks(width, "0");
        EXPECT_EQ(width->text(), "16");
        EXPECT_EQ(height->text(), "16");
        find_child<QCheckBox>(window, "CheckBox1")->click();
        height->selectAll();
        QTest::keyClicks(height, "99999");
        EXPECT_EQ(height->text(), "5000");
        width->selectAll();
        QTest::keyClicks(width, "100");
        EXPECT_EQ(width->text(), "100");
        press(window, "Button1");
    });
    EXPECT_EQ(result, 1);
    const Bytes file = read_file(path);
    EXPECT_EQ(get_u32(file, 18), 100u);
    EXPECT_EQ(get_u32(file, 22), 5000u);
}

TEST(SizeIt, NothingRewrittenGivesZeroAndLeavesTheFile)
{
    const std::string path = write_picture("kept.bmp", 64, 48);
    const Bytes before = read_file(path);
    const std::function<void(QWidget&)> closes[] = {
        [](QWidget& window) { press(window, "Button2"); },
        [](QWidget& window) { QTest::keyClick(edit(window, "NumEdit1"), Qt::Key_Escape); },
        [](QWidget& window) { window.close(); },
    };
    for (const auto& close_window : closes) {
        EXPECT_EQ(size_image(path,
                             [&](QWidget& window) {
                                 press(window, "Button3");
                                 close_window(window);
                                 EXPECT_FALSE(window.isVisible());
                             }),
                  0);
        EXPECT_EQ(read_file(path), before);
    }

    // The file stops being a bitmap while the window is open: "Ok" cannot
    // resize it, and says so.
    const Bytes garbage(200, 'x');
    EXPECT_EQ(size_image(path,
                         [&](QWidget& window) {
                             write_file(path, garbage);
                             press(window, "Button1");
                         }),
              0);
    EXPECT_EQ(read_file(path), garbage);

    // No header to read: no window at all.
    write_file(path, Bytes(10, 'B'));
    WhenShown never("TSizeIt", [](QWidget& window) { window.close(); });
    EXPECT_EQ(_SizeImage(temp_path("missing.bmp").c_str()), 0);
    EXPECT_EQ(_SizeImage(path.c_str()), 0);
    EXPECT_FALSE(never.seen());
}

}  // namespace
