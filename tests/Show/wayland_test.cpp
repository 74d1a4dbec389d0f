// The viewer as a native Wayland client: it starts under a headless compositor, shows a picture and takes a hand-off.
#include "command_line.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace zarn::test;

// A program started for the test, killed if it still runs when the test ends.
class Child {
public:
    Child(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
    {
        process_.setProgram(program);
        process_.setArguments(arguments);
        process_.setProcessEnvironment(environment);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start();
        EXPECT_TRUE(process_.waitForStarted(10000)) << program.toStdString();
    }
    ~Child()
    {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(10000);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool running() const { return process_.state() == QProcess::Running; }
    bool ended()
    {
        return QTest::qWaitFor([this] { return process_.state() == QProcess::NotRunning; }, 15000);
    }
    int exitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }

private:
    QProcess process_;
};

// The title the viewer listening on this test's socket reports, empty while none answers.
QString running_title()
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(show::handOffServerName());
    if (!socket.waitForConnected(1000)) return {};
    socket.write(QByteArray(show::kTitleRequest) + '\n');
    if (!QTest::qWaitFor([&] { return socket.canReadLine() || socket.state() != QLocalSocket::ConnectedState; }, 5000))
        return {};
    return QString::fromUtf8(socket.readLine().trimmed());
}

TEST(Wayland, TheViewerShowsAPictureAndTakesAHandOff)
{
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    const QString plugin =
        QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqwayland-generic.so");
    if (weston.isEmpty() || !QFileInfo::exists(plugin))
        GTEST_SKIP() << "weston or Qt's Wayland plugin is not installed (scripts/install-deps.sh)";

    // The compositor's socket lives in a runtime folder only this user may enter.
    const std::string runtime = temp_path("runtime");
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    const QString socket_name = QStringLiteral("zarn-wayland-%1").arg(::getpid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime));
    Child compositor(weston, {QStringLiteral("--backend=headless-backend.so"), "--socket=" + socket_name}, environment);
    const QString socket_path = QString::fromStdString(runtime) + '/' + socket_name;
    ZARN_WAIT_TRUE(QFileInfo::exists(socket_path) || !compositor.running(), 20000);
    ASSERT_TRUE(QFileInfo::exists(socket_path)) << "weston did not open its socket";

    // No X display to fall back on: the viewer is a Wayland client or nothing.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), socket_name);
    // Qt's Wayland plugin leaves the client library's objects for the end of
    // the process to take; the sanitizer build's leak check is told so.
    const std::string suppressions = temp_path("wayland.supp");
    const std::string rule = "leak:libwayland-client.so\n";
    write_file(suppressions, Bytes(rule.begin(), rule.end()));
    const QString leak_options = environment.value(QStringLiteral("LSAN_OPTIONS"));
    environment.insert(QStringLiteral("LSAN_OPTIONS"), leak_options + (leak_options.isEmpty() ? "" : ":") +
                                                           "suppressions=" + QString::fromStdString(suppressions));
    const QString show = QStringLiteral(ZARN_BIN_DIR "/Show");
    const std::string first = write_bmp24("first.bmp", 300, 200);
    const std::string second = write_bmp8("second.bmp", 120, 90);
    Child viewer(show, {QString::fromStdString(first)}, environment);
    ZARN_WAIT_EQ(running_title(), QStringLiteral("Show - first.bmp"), 20000);
    ASSERT_TRUE(viewer.running());

    Child copy(show, {QString::fromStdString(second)}, environment);
    ASSERT_TRUE(copy.ended());
    EXPECT_EQ(copy.exitCode(), 0);
    ZARN_WAIT_EQ(running_title(), QStringLiteral("Show - second.bmp"), 10000);
    EXPECT_TRUE(viewer.running());
    EXPECT_TRUE(compositor.running());
}

}  // namespace
