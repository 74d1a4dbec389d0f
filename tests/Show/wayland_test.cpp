// The viewer as a Wayland client under a headless compositor: a large picture shown fitted, then a hand-off.
#include "command_line.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
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

// The compositor's own picture of its screen, taken by weston's screenshot
// client (which weston serves only when started with --debug).
QImage compositor_screen(const QString& folder, const QProcessEnvironment& environment)
{
    QDir shots(folder);
    for (const QString& old : shots.entryList({QStringLiteral("*.png")}, QDir::Files)) shots.remove(old);
    QProcess shooter;
    shooter.setProcessEnvironment(environment);
    shooter.setWorkingDirectory(folder);
    shooter.start(QStringLiteral("weston-screenshooter"), {});
    if (!shooter.waitForFinished(10000)) {
        shooter.kill();
        shooter.waitForFinished(10000);
        return {};
    }
    const QStringList taken = shots.entryList({QStringLiteral("*.png")}, QDir::Files);
    return taken.isEmpty() ? QImage() : QImage(shots.filePath(taken.first()));
}

// Quarters of red, green, blue and magenta: the same four colours whichever
// order the builder keeps a pixel's channels in.
std::string write_quarters(const std::string& name, int width, int height)
{
    Rows rows(std::size_t(height), Bytes(std::size_t(width) * 3, 0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            std::uint8_t* at = &rows[std::size_t(y)][std::size_t(x) * 3];
            at[0] = (!bottom && !right) || (bottom && right) ? 255 : 0;
            at[1] = !bottom && right ? 255 : 0;
            at[2] = bottom ? 255 : 0;
        }
    const std::string path = temp_path(name);
    BmpBuilder().size(width, height).bits(24).pixels(rows).write(path);
    return path;
}

// Whether each quarter covers a good share of the screen: a picture shown at
// 100% in a window no larger than the screen shows hardly any of the last.
bool shows_every_quarter(const QImage& screen)
{
    if (screen.isNull()) return false;
    const QRgb quarters[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 0, 255)};
    for (const QRgb colour : quarters) {
        int count = 0;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x) count += (screen.pixel(x, y) & 0xFFFFFFu) == (colour & 0xFFFFFFu);
        if (count < 100000) return false;
    }
    return true;
}

TEST(Wayland, TheViewerShowsAPictureFittedAndTakesAHandOff)
{
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    const QString plugin =
        QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqwayland-generic.so");
    if (weston.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("weston-screenshooter")).isEmpty() ||
        !QFileInfo::exists(plugin))
        GTEST_SKIP() << "weston or Qt's Wayland plugin is not installed (scripts/install-deps.sh)";

    // The compositor's socket lives in a runtime folder only this user may enter.
    const std::string runtime = temp_path("runtime");
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    const QString socket_name = QStringLiteral("zarn-wayland-%1").arg(::getpid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime));
    // Its screen is drawn in memory (the headless default draws nothing), 1280x1024.
    Child compositor(
        weston,
        {QStringLiteral("--backend=headless-backend.so"), "--socket=" + socket_name, QStringLiteral("--use-pixman"),
         QStringLiteral("--width=1280"), QStringLiteral("--height=1024"), QStringLiteral("--debug")},
        environment);
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
    // Larger than the screen: shown fitted, every quarter in sight.
    const std::string first = write_quarters("first.bmp", 2000, 1500);
    const std::string second = write_bmp8("second.bmp", 120, 90);
    Child viewer(show, {QString::fromStdString(first)}, environment);
    ZARN_WAIT_EQ(running_title(), QStringLiteral("Show - first.bmp"), 20000);
    ASSERT_TRUE(viewer.running());
    const QString shots = QString::fromStdString(temp_path("shots"));
    ASSERT_TRUE(QDir().mkpath(shots));
    ZARN_WAIT_TRUE(shows_every_quarter(compositor_screen(shots, environment)), 20000);

    Child copy(show, {QString::fromStdString(second)}, environment);
    ASSERT_TRUE(copy.ended());
    EXPECT_EQ(copy.exitCode(), 0);
    ZARN_WAIT_EQ(running_title(), QStringLiteral("Show - second.bmp"), 10000);
    EXPECT_TRUE(viewer.running());
    EXPECT_TRUE(compositor.running());
}

}  // namespace
