// The scanner exports through the eztw32 module against SANE's test backend, configured in the test's own folder.
#include "codecs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#ifdef ZARN_SCANNER_QT_HOST
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QInputDialog>
#include <QTimer>
#endif

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>

using namespace zarn::test;
namespace fs = std::filesystem;

// SANE keeps a few small allocations for good, in libraries the scanner
// module unloads after every call. Keeping them mapped in the test lets
// LeakSanitizer name them, and only them, in tests/support/lsan_suppressions.c.
[[maybe_unused]] const bool sane_kept_loaded = [] {
    for (const char* library : {"libsane.so.1", "/usr/lib/x86_64-linux-gnu/sane/libsane-test.so.1",
                                "/usr/lib/x86_64-linux-gnu/sane/libsane-dll.so.1"})
        ::dlopen(library, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    return true;
}();

namespace {

// SANE reads only this test's folder: dll.conf naming the test backend (or
// nothing, for no device at all) and the backend's own starting options.
// 20 x 10 mm at 254 dpi is 200 x 100 pixels.
//
// The test backend stops its reader thread with an asynchronous cancel as
// soon as the last byte is read, which can catch the thread inside free()
// and hang the next scan. Reading byte by byte leaves it long done with its
// last free() by then; a forced read error (cancelled right after the start)
// cannot be made safe, so failures come from no device or a size ceiling.
class Scanner : public ::testing::Test {
protected:
    void configure(const std::string& options, bool with_device = true)
    {
        fs::create_directories(sane_dir_);
        std::ofstream(sane_dir_ + "/dll.conf") << (with_device ? "test\n" : "");
        std::ofstream(sane_dir_ + "/test.conf") << "number_of_devices 2\nresolution 254\n"
                                                   "tl_x 0\ntl_y 0\nbr_x 20\nbr_y 10\n"
                                                   "read-limit true\nread-limit-size 1\n"
                                                << options << "\n";
    }

    // Scans to a new file, checks it as the viewer does and reads it back.
    void scan(ScopedPic& pic)
    {
        const std::string path = temp_path("scan.bmp");
        fs::remove(path);
        ASSERT_EQ(_ScanToFile(nullptr, path.c_str()), 1);
        ASSERT_EQ(_checkbmp(path.c_str(), pic.get()), 1);
        ASSERT_EQ(zarn::read_bmp(path.c_str(), pic.get()), 1);
    }

    std::string sane_dir_ = temp_path("sane");
    ScopedEnv config_{"SANE_CONFIG_DIR", sane_dir_.c_str()};
};

TEST_F(Scanner, FileHoldsTheFrameOfEachKind)
{
    configure("mode Color\ndepth 8\ntest-picture \"Color pattern\"");
    ScopedPic colour;
    scan(colour);
    EXPECT_EQ(colour->width, 200);
    EXPECT_EQ(colour->height, 100);
    EXPECT_EQ(colour->bits, 24);

    // Three frames, one per colour and in any order, make the same picture.
    configure("mode Color\ndepth 8\ntest-picture \"Color pattern\"\nthree-pass true\nthree-pass-order BGR");
    ScopedPic three_pass;
    scan(three_pass);
    ASSERT_EQ(pixel_rows(*colour).size(), 100u);
    EXPECT_EQ(pixel_rows(*three_pass), pixel_rows(*colour));

    // 16-bit samples give their high bytes: the backend's grey ramp rises
    // steadily instead of wrapping round every 256 steps.
    configure("mode Gray\ndepth 16\ntest-picture \"Color pattern\"");
    ScopedPic grey;
    scan(grey);
    EXPECT_EQ(grey->bits, 8);
    const Bytes ramp_row = pixel_rows(*grey)[50];
    EXPECT_TRUE(std::ranges::is_sorted(ramp_row.begin() + 5, ramp_row.end() - 5));
    EXPECT_LT(ramp_row[5], ramp_row[194]);

    // Line art stays 1-bit, with SANE's 1 meaning black.
    configure("mode Gray\ndepth 1\ntest-picture \"Solid white\"");
    ScopedPic line_art;
    scan(line_art);
    EXPECT_EQ(line_art->bits, 1);
    for (const Bytes& row : rgb_rows(*line_art))
        ASSERT_TRUE(std::ranges::all_of(row, [](std::uint8_t v) { return v == 255; }));
}

TEST_F(Scanner, FailedScanLeavesTheFileAsItWas)
{
    const std::string path = temp_path("old.bmp");
    BmpBuilder().size(3, 2).bits(24).pixels(rgb_ramp(3, 2)).write(path);
    const Bytes old = read_file(path);

    // A frame of unknown length is read only up to the library's ceiling.
    configure("mode Color\nhand-scanner true\nread-limit false");
    {
        const ScopedEnv ceiling("ZARN_MAX_IMAGE_BYTES", "1000000");
        EXPECT_EQ(_ScanToFile(nullptr, path.c_str()), 0);
    }
    EXPECT_EQ(read_file(path), old);

    configure("mode Color", false);
    EXPECT_EQ(_ScanToFile(nullptr, path.c_str()), 0);
    EXPECT_EQ(_SelectScanSource(nullptr), 0);
    EXPECT_EQ(read_file(path), old);
}

TEST_F(Scanner, WithoutQtHostSelectionTakesTheFirstDeviceAndTheClipboardRefuses)
{
    configure("mode Color");
    EXPECT_EQ(_SelectScanSource(nullptr), 1);
    EXPECT_EQ(_ScanToClipboard(nullptr), 0);
}

// Run by MissingModuleMakesEveryExportZero in a copy of this program that
// has no scanner module beside it.
TEST_F(Scanner, ChildWithoutModule)
{
    if (!std::getenv("ZARN_SCANNER_CHILD"))
        GTEST_SKIP() << "runs only as the child of MissingModuleMakesEveryExportZero";
    configure("mode Color");
    const std::string path = temp_path("scan.bmp");
    EXPECT_EQ(_ScanToFile(nullptr, path.c_str()), 0);
    EXPECT_FALSE(file_exists(path));
    EXPECT_EQ(_ScanToClipboard(nullptr), 0);
    EXPECT_EQ(_SelectScanSource(nullptr), 0);
}

TEST_F(Scanner, MissingModuleMakesEveryExportZero)
{
    const std::string copy = temp_path("scanner_test");
    fs::copy_file("/proc/self/exe", copy);
    fs::permissions(copy, fs::perms::owner_exec, fs::perm_options::add);
    const ScopedEnv child("ZARN_SCANNER_CHILD", "1");
    const ToolRun run = run_tool({copy, "--gtest_filter=Scanner.ChildWithoutModule"});
    const std::string output(run.output.begin(), run.output.end());
    EXPECT_EQ(run.status, 0) << output;
    EXPECT_NE(output.find("[       OK ] Scanner.ChildWithoutModule"), std::string::npos) << output;
}

#ifdef ZARN_SCANNER_QT_HOST
// The viewer's side: a widget application on this thread.
TEST_F(Scanner, QtHostPicksInADialogAndFillsTheClipboard)
{
    configure("mode Color\ntest-picture \"Color pattern\"");
    ScopedPic scanned;
    scan(scanned);

    const ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "scanner_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget window;
    window.show();
    // Answers the source dialog inside the export's modal loop: the second
    // device, or cancel.
    bool cancel = false;
    QTimer answer(&window);
    QObject::connect(&answer, &QTimer::timeout, &window, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QInputDialog*>(top);
            if (!dialog || !dialog->isVisible()) continue;
            EXPECT_EQ(dialog->parentWidget(), &window);
            if (cancel) {
                dialog->reject();
            } else {
                dialog->setTextValue(dialog->comboBoxItems().value(1));
                dialog->accept();
            }
        }
    });
    answer.start(10);

    EXPECT_EQ(_SelectScanSource(&window), 1);
    const Bytes settings = read_file(std::string(std::getenv("XDG_CONFIG_HOME")) + "/Zarn.ini");
    EXPECT_NE(std::string(settings.begin(), settings.end()).find("ScanSource=test:1"), std::string::npos);
    cancel = true;
    EXPECT_EQ(_SelectScanSource(&window), 0);

    ASSERT_EQ(_ScanToClipboard(&window), 1);
    const QImage image = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(image.size(), QSize(200, 100));
    const Rows rows = rgb_rows(*scanned);
    for (int y = 0; y < 100; ++y)
        ASSERT_EQ(Bytes(image.constScanLine(y), image.constScanLine(y) + 600), rows[std::size_t(y)]) << y;
}
#endif

}  // namespace
