// The viewer's start-up: a second copy hands its argument to the running one, and the verbs of the command line.
#include "command_line.h"
#include "gfx24/dialog_test_support.h"
#include "private_temp.h"
#include "registration.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>
#include <sys/stat.h>

namespace {

using namespace zarn::test;

// A copy of the viewer program in this test's folders; killed if it is
// still running when the test ends.
class ShowCopy {
public:
    explicit ShowCopy(const QStringList& arguments, const QString& folder = {})
    {
        process_.setProgram(QStringLiteral(ZARN_BIN_DIR "/Show"));
        process_.setArguments(arguments);
        process_.setWorkingDirectory(folder);
        process_.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start();
        EXPECT_TRUE(process_.waitForStarted(10000));
    }
    ~ShowCopy()
    {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(10000);
    }
    ShowCopy(const ShowCopy&) = delete;
    ShowCopy& operator=(const ShowCopy&) = delete;

    // Waits (serving this process's windows meanwhile) for the copy to end.
    bool ended()
    {
        return QTest::qWaitFor([this] { return process_.state() == QProcess::NotRunning; }, 15000);
    }
    bool running() const { return process_.state() == QProcess::Running; }
    void signal(int number) { ::kill(pid_t(process_.processId()), number); }
    int exitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }

private:
    QProcess process_;
};

// Every viewer window reserves a working file in the private folder.
qsizetype working_files()
{
    return QDir(controls::privateTempDir()).entryList({QStringLiteral("zarn~*.bmp")}, QDir::Files).size();
}

// Every viewer window rewrites its desktop entry as it is made: one taken
// away comes back when a copy makes its main window.
std::string desktop_entry()
{
    return std::string(std::getenv("XDG_DATA_HOME")) + "/applications/" + show::kDesktopId;
}

// An editor that writes each argument it gets on a line of `record`.
QString stand_in_editor(const std::string& record)
{
    const std::string script = temp_path("editor.sh");
    const std::string text = "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + record + "'\n";
    write_file(script, Bytes(text.begin(), text.end()));
    ::chmod(script.c_str(), 0755);
    return QString::fromStdString(script);
}

QStringList recorded(const std::string& record)
{
    if (!file_exists(record)) return {};
    const Bytes bytes = read_file(record);
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
        .split('\n', Qt::SkipEmptyParts);
}

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

// What the viewer listening on this test's socket answers to one request line.
QByteArray answer_to(const QByteArray& line)
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(show::handOffServerName());
    if (!socket.waitForConnected(5000)) return "no connection";
    socket.write(line + '\n');
    if (!QTest::qWaitFor([&] { return socket.canReadLine() || socket.state() != QLocalSocket::ConnectedState; }, 5000))
        return "no answer";
    return socket.canReadLine() ? socket.readLine().trimmed() : QByteArray("cut off");
}

TEST(SingleInstance, TheRunningViewerTakesTheArgumentAndComesToTheFront)
{
    const std::string first = write_bmp24("first.bmp", 30, 20);
    const std::string second = write_bmp8("second picture.bmp", 20, 20);
    const std::string record = temp_path("record.txt");
    TForm1 form;
    form.LoadImage(q(first));
    ASSERT_TRUE(showAndWait(form));
    form.Settings.Editors[1] = stand_in_editor(record);

    // The desktop entry's spelling of a verb travels as its character: the
    // path is shown here and handed to the editor.
    {
        ShowCopy copy({"--edit", q(second)});
        ASSERT_TRUE(copy.ended());
        EXPECT_EQ(copy.exitCode(), 0);
    }
    ZARN_WAIT_EQ(form.windowTitle(), QStringLiteral("Show - second picture.bmp"), 5000);
    ZARN_WAIT_EQ(recorded(record), QStringList{q(second)}, 10000);
    // A picture read ahead is shown from memory while its working copy is
    // written beside the old one, which it then replaces.
    ZARN_WAIT_EQ(working_files(), 1, 5000);

    // Without an argument the viewer only comes back from the task bar.
    form.showMinimized();
    {
        ShowCopy copy({});
        ASSERT_TRUE(copy.ended());
        EXPECT_EQ(copy.exitCode(), 0);
    }
    ZARN_WAIT_TRUE(!form.isMinimized(), 5000);
    EXPECT_EQ(form.windowTitle(), "Show - second picture.bmp");
}

// A file manager starts a copy per selected file, all at once: each
// argument reaches the running viewer once.
TEST(SingleInstance, CopiesStartedTogetherAllHandOver)
{
    const std::string first = write_bmp24("first.bmp", 30, 20);
    const std::string record = temp_path("record.txt");
    TForm1 form;
    form.LoadImage(q(first));
    ASSERT_TRUE(showAndWait(form));
    form.Settings.Editors[1] = stand_in_editor(record);

    QStringList pictures;
    std::vector<std::unique_ptr<ShowCopy>> copies;
    for (int i = 0; i < 6; ++i) pictures << q(write_bmp8("g" + std::to_string(i) + ".bmp", 8 + i, 8));
    for (const QString& picture : pictures)
        copies.push_back(std::make_unique<ShowCopy>(QStringList{"--edit", picture}));
    for (const auto& copy : copies) {
        ASSERT_TRUE(copy->ended());
        EXPECT_EQ(copy->exitCode(), 0);
    }
    const auto sorted = [](QStringList list) {
        list.sort();
        return list;
    };
    ZARN_WAIT_EQ(sorted(recorded(record)), sorted(pictures), 15000);
    ZARN_WAIT_EQ(working_files(), 1, 5000);
}

// What arrives on the viewer's socket is taken as it comes: a hand-off
// carries the argument whole, anything else is declined or cut off.
TEST(SingleInstance, TheSocketTakesOnlyWellFormedHandOffs)
{
    TForm1 form;
    const QByteArray longest(show::kMaxArgumentBytes, 'a');
    EXPECT_EQ(answer_to(show::handOffRequest("/no/such.bmp")), "1");
    EXPECT_EQ(answer_to(show::handOffRequest(longest)), "1");
    EXPECT_EQ(answer_to(show::handOffRequest(longest + 'a')), "cut off");
    EXPECT_EQ(answer_to("hand-off 2f7a"), "1");
    for (const QByteArray bad : {"hand-off 2f7", "hand-off 2f7g", "hand-off 2f00", "hand-offs"})
        EXPECT_EQ(answer_to(bad), "0") << bad.constData();
    EXPECT_EQ(answer_to("open /etc/passwd"), "cut off");

    EXPECT_EQ(show::handOffArgument(show::handOffRequest({})), QString());
    EXPECT_EQ(show::handOffArgument(show::handOffRequest("?/a b/\xC3\xA9.bmp")),
              QString::fromUtf8("?/a b/\xC3\xA9.bmp"));
}

// A path relative to the folder the copy started in names the same file for
// the running viewer, which works in a folder of its own.
TEST(SingleInstance, ARelativePathOpensTheFileOfTheCopysFolder)
{
    const std::string first = write_bmp24("first.bmp", 30, 20);
    const QString folder = q(temp_path("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::string second = write_bmp8("elsewhere/first.bmp", 20, 20);
    TForm1 form;
    form.LoadImage(q(first));
    ASSERT_TRUE(showAndWait(form));

    ShowCopy copy({QStringLiteral("first.bmp")}, folder);
    ASSERT_TRUE(copy.ended());
    EXPECT_EQ(copy.exitCode(), 0);
    ZARN_WAIT_EQ(form.FileName, q(second), 5000);
    EXPECT_EQ(form.Pic()->bits, 8);
}

// A modal window works on the picture shown when it opened: a picture
// handed over meanwhile waits until it has closed.
TEST(SingleInstance, AHandOffWaitsForTheModalWindowOpen)
{
    const std::string first = write_bmp24("first.bmp", 30, 20);
    const std::string second = write_bmp8("second.bmp", 20, 20);
    TForm1 form;
    form.LoadImage(q(first));
    ASSERT_TRUE(showAndWait(form));

    bool handed_over = false;
    bool loaded_under_the_window = true;
    WhenShown preferences("TForm2", [&](QWidget& window) {
        ShowCopy copy({q(second)});
        handed_over = copy.ended() && copy.exitCode() == 0;
        loaded_under_the_window = QTest::qWaitFor([&] { return form.FileName != q(first) || form.isVisible(); }, 1000);
        QMetaObject::invokeMethod(&window, "reject", Qt::QueuedConnection);
    });
    form.xprefsClick();
    EXPECT_TRUE(preferences.seen());
    EXPECT_TRUE(handed_over);
    EXPECT_FALSE(loaded_under_the_window);
    ZARN_WAIT_EQ(form.FileName, q(second), 5000);
    EXPECT_EQ(form.windowTitle(), "Show - second.bmp");
}

// A file manager opening a picture through the desktop entry reaches the
// viewer already running.
TEST(SingleInstance, TheDesktopEntryOpensThePictureInTheRunningViewer)
{
    if (!have_program("gio")) GTEST_SKIP() << "gio is not installed";
    const std::string first = write_bmp24("first.bmp", 30, 20);
    const std::string second = write_bmp8("second.bmp", 20, 20);
    TForm1 form;
    form.LoadImage(q(first));
    ASSERT_TRUE(showAndWait(form));

    const std::string entry = temp_path("Show.Image.desktop");
    for (const show::DesktopEntry& made : show::desktopEntries(QStringLiteral(ZARN_BIN_DIR "/Show"), {"image/bmp"}))
        if (made.fileName == QLatin1String(show::kDesktopId)) {
            const QByteArray text = made.text.toUtf8();
            write_file(entry, Bytes(text.begin(), text.end()));
        }
    QProcess launch;
    launch.setProcessChannelMode(QProcess::ForwardedChannels);  // the viewer it starts outlives it
    launch.start(QStringLiteral("gio"), {QStringLiteral("launch"), q(entry), q(second)});
    ASSERT_TRUE(launch.waitForStarted(10000));
    ZARN_WAIT_EQ(form.windowTitle(), QStringLiteral("Show - second.bmp"), 15000);
    ZARN_WAIT_TRUE(launch.state() == QProcess::NotRunning, 10000);
    EXPECT_EQ(launch.exitCode(), 0);
}

TEST(SingleInstance, DeclinedHandOffStartsAWindowOfItsOwn)
{
    const std::string first = write_bmp24("first.bmp", 30, 20);
    const std::string second = write_bmp8("second.bmp", 20, 20);
    TForm1 form;
    form.LoadImage(q(first));
    ASSERT_TRUE(showAndWait(form));
    form.Settings.OnlyOne = false;

    std::remove(desktop_entry().c_str());
    ShowCopy copy({q(second)});
    ZARN_WAIT_TRUE(file_exists(desktop_entry()), 15000);  // the copy has made its main window
    EXPECT_TRUE(copy.running());
    EXPECT_EQ(form.windowTitle(), "Show - first.bmp");
}

TEST(SingleInstance, OnlyAViewerShowingAPictureIsFound)
{
    const std::string second = write_bmp8("second.bmp", 20, 20);
    {
        TForm1 form;  // still titled "Show"
        std::remove(desktop_entry().c_str());
        ShowCopy copy({q(second)});
        ZARN_WAIT_TRUE(file_exists(desktop_entry()), 15000);
        EXPECT_TRUE(copy.running());
        EXPECT_EQ(form.windowTitle(), "Show");
    }
    // A server that never answers only delays the start.
    QLocalServer silent;
    silent.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    ASSERT_TRUE(silent.listen(show::handOffServerName()));
    std::remove(desktop_entry().c_str());
    ShowCopy copy({q(second)});
    ZARN_WAIT_TRUE(file_exists(desktop_entry()), 15000);
    EXPECT_TRUE(copy.running());
}

TEST(StartupVerbs, HelpPrintsTheUsageWithoutAWindow)
{
    // No display to make a window on, and none needed.
    QProcess help;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    help.setProcessEnvironment(environment);
    for (const char* option : {"--help", "-h"}) {
        help.start(QStringLiteral(ZARN_BIN_DIR "/Show"), {QString::fromLatin1(option)});
        ASSERT_TRUE(help.waitForFinished(10000));
        EXPECT_EQ(help.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(help.exitCode(), 0);
        const QString usage = QString::fromLocal8Bit(help.readAllStandardOutput());
        for (const char* verb : {"--browse", "--edit", "--edit-with", "--print", "PICTURE"})
            EXPECT_TRUE(usage.contains(QLatin1String(verb))) << verb;
    }
    EXPECT_EQ(working_files(), 0);
}

// Ended by the system, the viewer closes as its Esc key closes it.
TEST(StartupVerbs, TermAndInterruptCloseTheViewer)
{
    const QString picture = q(write_bmp24("signalled.bmp", 12, 10));
    for (const int number : {SIGTERM, SIGINT}) {
        ShowCopy copy({picture});
        // Answered by the copy's event loop once its window shows the picture.
        ZARN_WAIT_EQ(answer_to(show::kTitleRequest), QByteArray("Show - signalled.bmp"), 15000);
        EXPECT_EQ(working_files(), 1);
        copy.signal(number);
        ASSERT_TRUE(copy.ended());
        EXPECT_EQ(copy.exitCode(), 0);
        EXPECT_EQ(working_files(), 0);
        EXPECT_TRUE(QDir(controls::privateTempDir()).entryList({QStringLiteral("zarn~*")}, QDir::Files).isEmpty());
    }
}

TEST(StartupVerbs, EditStartsTheRegisteredEditorAndEnds)
{
    const std::string picture = write_bmp24("edit me.bmp", 10, 10);
    const std::string record = temp_path("record.txt");
    // None registered: nothing starts, and the program ends all the same.
    write_settings("Editor-bmp=\n");
    {
        ShowCopy copy({"?" + q(picture)});
        ASSERT_TRUE(copy.ended());
        EXPECT_EQ(copy.exitCode(), 0);
    }
    write_settings("Editor-bmp=" + stand_in_editor(record).toStdString() + "\n");
    {
        ShowCopy copy({"?" + q(picture)});
        ASSERT_TRUE(copy.ended());
        EXPECT_EQ(copy.exitCode(), 0);
    }
    ZARN_WAIT_EQ(recorded(record), QStringList{q(picture)}, 10000);
    EXPECT_EQ(working_files(), 0);  // each window closed, and took its working file along
}

TEST(StartupVerbs, BrowsingWithoutAChoiceEndsTheProgram)
{
    const std::string picture = write_bmp24("browse me.bmp", 10, 10);
    TForm1 form;
    WhenShown browser("TImageForm", [](QWidget& window) { QTest::keyClick(&window, Qt::Key_Escape); });
    EXPECT_FALSE(form.DispatchArgument({"--browse", q(picture)}));
    EXPECT_TRUE(browser.seen());
    EXPECT_TRUE(form.ExitOnActivate);
    EXPECT_FALSE(form.isVisible());

    // Should the window show after all, its first activation closes it.
    ASSERT_TRUE(showAndWait(form));
    form.activateWindow();
    ZARN_WAIT_TRUE(!form.isVisible(), 5000);
    EXPECT_FALSE(QFile::exists(form.WorkingFile));
}

// A desktop entry's action is started without a file: the browser opens
// without one, the other verbs ask for the file first.
TEST(StartupVerbs, AVerbWithoutAFileBrowsesOrAsks)
{
    TForm1 browsing;
    FileDialogWatch dialogs;
    WhenShown browser("TImageForm", [](QWidget& window) { QTest::keyClick(&window, Qt::Key_Escape); });
    EXPECT_FALSE(browsing.DispatchArgument({"--browse"}));
    EXPECT_TRUE(browser.seen());
    EXPECT_EQ(dialogs.shown, 0);

    TForm1 editing;
    EXPECT_FALSE(editing.DispatchArgument({"--edit"}));
    EXPECT_EQ(dialogs.shown, 1);  // closed unanswered: nothing to edit, and the program ends
    EXPECT_TRUE(editing.ExitOnActivate);
}

TEST(StartupVerbs, PrintingConvertsThePictureAndEnds)
{
    // A file the library does not know: the verb is dropped, the viewer starts empty.
    const std::string text = temp_path("notes.txt");
    write_file(text, Bytes{'h', 'i', '\n'});
    const std::string picture = write_bmp8("print me.bmp", 24, 16);
    TForm1 form;
    EXPECT_TRUE(form.DispatchArgument({"+" + q(text)}));
    EXPECT_FALSE(form.ExitOnActivate);
    EXPECT_EQ(form.windowTitle(), "Show");

    qint64 printed_bytes = 0;
    WhenShown preview("TPrintPreview", [&](QWidget& window) {
        printed_bytes = QFileInfo(form.WorkingFile).size();
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    EXPECT_FALSE(form.DispatchArgument({"--print", q(picture)}));
    EXPECT_TRUE(preview.seen());
    EXPECT_TRUE(form.ExitOnActivate);
    EXPECT_EQ(QSize(form.Pic()->width, form.Pic()->height), QSize(24, 16));
    EXPECT_GT(printed_bytes, 24 * 16);
    form.exitClick();
    EXPECT_FALSE(QFile::exists(form.WorkingFile));
}

}  // namespace
