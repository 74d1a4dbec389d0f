// ViewerCore without a window: undo and redo, stepping through the folder, hand-offs held while a modal window is open.
#include "command_line.h"
#include "show_test_support.h"
#include "viewer_core.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLocalSocket>
#include <QSignalSpy>

namespace {

using namespace zarn::test;

Bytes working(const ViewerCore& core)
{
    return read_file(core.WorkingFile.toStdString());
}

// What the core answers to one hand-off of `argument`.
QByteArray hand_over(const QByteArray& argument)
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(show::handOffServerName());
    if (!socket.waitForConnected(5000)) return "no connection";
    socket.write(show::handOffRequest(argument) + '\n');
    if (!QTest::qWaitFor([&] { return socket.canReadLine(); }, 5000)) return "no answer";
    return socket.readLine().trimmed();
}

TEST(ViewerCore, UndoAndRedoTradeTheWorkingFileAndKnowTheCleanState)
{
    ViewerSettings settings;
    ViewerCore core(settings);
    ASSERT_TRUE(core.load(QString::fromStdString(write_bmp24("core.bmp", 12, 8))));
    EXPECT_EQ(core.title(), "Show - core.bmp");
    const Bytes loaded = working(core);
    EXPECT_TRUE(core.process(+zarn::ProcessCode::Rotate));  // a new shape: fitted again
    EXPECT_EQ(core.picture().size(), QSize(8, 12));
    const Bytes rotated = working(core);
    EXPECT_FALSE(core.process(+zarn::ProcessCode::Sepia));
    EXPECT_EQ(core.undoCount(), 2);
    EXPECT_TRUE(core.hasUnsavedChanges());

    ASSERT_TRUE(core.undo());
    EXPECT_EQ(working(core), rotated);
    ASSERT_TRUE(core.undo());
    EXPECT_EQ(working(core), loaded);
    EXPECT_EQ(core.picture().size(), QSize(12, 8));
    EXPECT_FALSE(core.hasUnsavedChanges());  // back to the very file loaded
    EXPECT_FALSE(core.undo());
    ASSERT_TRUE(core.redo());
    EXPECT_EQ(working(core), rotated);
    EXPECT_EQ(core.redoCount(), 1);
}

TEST(ViewerCore, StepsGoThroughTheFolderAndAskBeforeDroppingAChange)
{
    const QString folder = QString::fromStdString(temp_path("core_folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        BmpBuilder().size(6, 4).bits(24).pixels(rgb_ramp(6, 4)).write((folder + '/' + name).toStdString());
    ViewerSettings settings;
    ViewerCore core(settings);
    // Asked before every step that finds a picture; a changed one is kept.
    int refused = 0;
    core.confirmDiscard = [&] {
        if (!core.hasUnsavedChanges()) return true;
        ++refused;
        return false;
    };
    ASSERT_TRUE(core.load(folder + "/b.bmp"));

    EXPECT_TRUE(core.step(ViewerCore::PictureStep::Next));
    EXPECT_EQ(core.FileTitle, "c.bmp");
    EXPECT_FALSE(core.step(ViewerCore::PictureStep::Next));
    EXPECT_EQ(core.FileName, folder + "/c.bmp");
    EXPECT_EQ(core.title(), "Show - c.bmp");
    EXPECT_TRUE(core.step(ViewerCore::PictureStep::First));
    EXPECT_EQ(core.FileTitle, "a.bmp");
    EXPECT_EQ(refused, 0);

    core.process(+zarn::ProcessCode::Sepia);
    EXPECT_FALSE(core.step(ViewerCore::PictureStep::Last));
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(core.FileTitle, "a.bmp");
}

TEST(ViewerCore, HandOffsWaitForTheModalWindowAndComeInOrder)
{
    ViewerSettings settings;
    settings.OnlyOne = true;
    ViewerCore core(settings);
    core.listenForCopies();
    QStringList acted;
    QObject::connect(&core, &ViewerCore::handOff, [&](const QString& argument) { acted << argument; });

    EXPECT_EQ(hand_over("/first.bmp"), "1");
    ZARN_WAIT_EQ(acted, QStringList{"/first.bmp"}, 5000);
    core.modal([&] {
        EXPECT_EQ(hand_over("/second.bmp"), "1");
        EXPECT_EQ(hand_over("/third.bmp"), "1");
        ZARN_WAIT_TRUE(core.hasHeldHandOffs(), 5000);
        EXPECT_EQ(acted.size(), 1);
        return 0;
    });
    ZARN_WAIT_EQ(acted, (QStringList{"/first.bmp", "/second.bmp", "/third.bmp"}), 5000);

    settings.OnlyOne = false;  // declined: the other copy starts a window of its own
    EXPECT_EQ(hand_over("/fourth.bmp"), "0");
}

}  // namespace
