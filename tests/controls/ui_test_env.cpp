// Widget tests: every test program starts its own Xvfb, so the suite needs no
// display of its own and never draws on the user's; one QApplication lives
// for the whole program.
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zarn::test {
namespace {

class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        start_xvfb();
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::unsetenv("QT_QPA_PLATFORMTHEME");
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ::unsetenv("SESSION_MANAGER");
        // No session bus: Qt would otherwise start a dbus child per program.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        static int argc = 1;
        static char name[] = "ui_test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));  // the same pixels on every machine
    }

    void TearDown() override
    {
        delete app_;
        app_ = nullptr;
        if (server_ > 0) {
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
        }
    }

private:
    void start_xvfb()
    {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const std::string fd = std::to_string(ready[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, ready[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen",  "0",
                              "1280x1024x24", "-nolisten",  "tcp",      "-noreset", nullptr};
        const int spawned = ::posix_spawnp(&server_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ready[1]);
        if (spawned != 0) {
            ::close(ready[0]);
            FAIL() << "Xvfb could not be started (scripts/install-deps.sh installs it)";
        }
        // Xvfb writes its display number once it accepts connections.
        std::string number;
        pollfd wait_for{ready[0], POLLIN, 0};
        char c = 0;
        while (::poll(&wait_for, 1, 20000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(ready[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not report a display";
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
    }

    QApplication* app_ = nullptr;
    pid_t server_ = 0;
};

// Listing the tests (ctest's discovery) needs no display: environments are
// set up only when tests run.
[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace

QImage grabbed(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool showAndWait(QWidget& widget)
{
    widget.show();
    return QTest::qWaitForWindowExposed(&widget, 5000);
}

QString artifactDir()
{
    const QString dir = QStringLiteral(ZARN_ARTIFACT_DIR);
    QDir().mkpath(dir);
    return dir;
}

}  // namespace zarn::test
