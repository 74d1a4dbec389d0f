// The image library's _Win* exports: the dialog library loaded for each call and gone after it, or absent.
#include "dialog_test_support.h"

#include <gtest/gtest.h>

#include <QPushButton>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

using namespace zarn::test;
namespace fs = std::filesystem;

const std::string kBin = ZARN_BIN_DIR;

bool dialog_library_mapped()
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libzarngfx24.so") != std::string::npos) return true;
    return false;
}

std::string output_text(const ToolRun& run)
{
    return std::string(run.output.begin(), run.output.end());
}

TEST(Forwarding, EachCallLoadsAndUnloadsTheDialogLibrary)
{
    for (int call = 0; call < 2; ++call) {
        char buffer[256] = "/nowhere/start.bmp";
        WhenShown cancel("TImageForm", [](QWidget& window) { QTest::keyClick(&window, Qt::Key_Escape); });
        EXPECT_EQ(_WinImageBrowse(buffer), 0);
        EXPECT_TRUE(cancel.seen());
        EXPECT_EQ(buffer[0], '\0') << "nothing chosen empties the buffer";
        EXPECT_FALSE(dialog_library_mapped()) << "call " << call;
    }

    const std::string path = write_picture("size.bmp", 64, 32);
    const Bytes before = read_file(path);
    for (const char* button : {"Button2", "Button1"}) {
        WhenShown act("TSizeIt", [&](QWidget& window) { find_child<QPushButton>(window, button)->click(); });
        const int result = _WinImageSize(path.c_str());
        EXPECT_TRUE(act.seen());
        EXPECT_FALSE(dialog_library_mapped());
        if (std::strcmp(button, "Button2") == 0) {
            EXPECT_EQ(result, 0) << "Cancel";
            EXPECT_EQ(read_file(path), before);
        } else {
            EXPECT_EQ(result, 1) << "Ok with the sizes as shown";
        }
    }
}

// A host without the dialog library beside it: a copy of the host and the
// image library in a folder of their own.
TEST(Forwarding, WithoutTheDialogLibraryEveryExportGivesZero)
{
    const fs::path folder = temp_path("alone");
    fs::create_directories(folder);
    for (const char* file : {"plain_host", "libzarngfx.so"}) fs::copy_file(fs::path(kBin) / file, folder / file);
    const ToolRun run = run_tool({(folder / "plain_host").string(), "all", "/kept/as/it/was.bmp"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(output_text(run),
              "slide 0 0\nprint 0 0\nsize 0 0\ncopy 0 0\nshow 0 0\nbrowse 0 0\nadjust 0 0\n"
              "buffer /kept/as/it/was.bmp\n");
}

// A host with no display to open, told to use X11 or left to Qt's choice:
// no window opens, nothing is written, and the process carries on.
TEST(Forwarding, WithoutADisplayEveryCallReturns)
{
    const std::string path = write_picture("nodisplay.bmp", 8, 8);
    const Bytes before = read_file(path);
    for (const char* platform : {"QT_QPA_PLATFORM=xcb", "QT_QPA_PLATFORM="}) {
        const ToolRun run = run_tool({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "WAYLAND_SOCKET", "-u",
                                      "XDG_SESSION_TYPE", platform, kBin + "/plain_host", "all", path});
        EXPECT_EQ(run.status, 0) << platform;
        EXPECT_EQ(output_text(run),
                  "slide 1 0\nprint 1 0\nsize 0 0\ncopy 1 0\nshow 1 0\nbrowse 0 0\nadjust 0 0\n"
                  "buffer \n")
            << platform;
    }
    EXPECT_EQ(read_file(path), before);
}

// A program with no Qt of its own: each call brings up the application, the
// window and the clipboard, and takes all of it down again.
TEST(Forwarding, PlainHostOpensAWindowThreeTimes)
{
    const std::string path = write_picture("copy.bmp", 40, 30);
    const ToolRun run = run_tool({kBin + "/plain_host", "copy", path, "3"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(output_text(run), "copy 1 0\ncopy 1 0\ncopy 1 0\n");
}

}  // namespace
