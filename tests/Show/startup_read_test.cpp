// The picture named at start-up, read beside the window's construction and shown from memory while the working
// file is written: the same picture, record and file as a load of its own.
#include "bmp_picture.h"
#include "command_line.h"
#include "picture_load.h"
#include "picturebox.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLocalServer>

namespace {

using namespace zarn::test;

QImage as_rgb(const QImage& picture)
{
    return picture.convertToFormat(QImage::Format_RGB32);
}

const QImage& shown(TForm1& form)
{
    return child<TPictureBox>(form, "Image1")->Picture();
}

QString incoming_of(const TForm1& form)
{
    return form.WorkingFile.chopped(4) + QStringLiteral(".load.bmp");
}

void press_a_key(TForm1& form)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    QApplication::sendEvent(&form, &press);
}

TEST(StartupRead, EveryKindShowsAndWritesWhatALoadOfItsOwnDoes)
{
    const std::vector<std::string> pictures{
        write_bmp24("odd.bmp", 37, 23),  // rows of 111 bytes
        write_bmp8("grey.bmp", 40, 9),
        write_mono_bmp("mono.bmp", 11, {{0xA5, 0x40}, {0x5A, 0x80}, {0xFF, 0x20}}),
        [] {  // four bits a pixel: stored otherwise than in memory, so written and read back
            const std::string path = temp_path("nibbles.bmp");
            BmpBuilder()
                .size(5, 3)
                .bits(4)
                .palette(grey_ramp(16))
                .pixels({{1, 2, 3, 4, 0}, {5, 6, 7, 8, 9}, {10, 11, 12, 13, 14}})
                .write(path);
            return path;
        }(),
    };
    for (const std::string& picture : pictures) {
        SCOPED_TRACE(picture);
        const QString path = QString::fromStdString(picture);
        TForm1 plain;
        ASSERT_TRUE(plain.DispatchArgument({path}));
        const QImage expected = controls::readBmpPicture(plain.WorkingFile);
        ASSERT_FALSE(expected.isNull());

        show::BackgroundRead early(path, show::storedLoadOptions(SettingsStore()));
        TForm1 form;
        ASSERT_TRUE(form.DispatchArgument({path}, &early));
        EXPECT_EQ(as_rgb(shown(form)), as_rgb(expected));
        EXPECT_EQ(form.windowTitle(), plain.windowTitle());
        EXPECT_EQ(label(form, "Label1"), label(plain, "Label1"));
        EXPECT_EQ(form.Pic()->bits, plain.Pic()->bits);
        EXPECT_EQ(form.Pic()->pixels, nullptr);

        // Whatever the user does first waits for the working file; only the
        // four-bit picture went through it before it was shown.
        EXPECT_EQ(controls::readBmpPicture(form.WorkingFile).isNull(), picture != pictures.back());
        press_a_key(form);
        ASSERT_TRUE(QFile::exists(form.WorkingFile));
        EXPECT_FALSE(QFile::exists(incoming_of(form)));
        EXPECT_EQ(as_rgb(controls::readBmpPicture(form.WorkingFile)), as_rgb(expected));
    }
}

TEST(StartupRead, TheFirstPaintPutsTheWorkingFileInPlace)
{
    const QString path = QString::fromStdString(write_bmp24("painted.bmp", 64, 48));
    show::BackgroundRead early(path, show::storedLoadOptions(SettingsStore()));
    TForm1 form;
    ASSERT_TRUE(form.DispatchArgument({path}, &early));
    form.show();
    ZARN_WAIT_TRUE(QFile::exists(form.WorkingFile), 10000);
    // Painted from the read's own memory, rows of 192 bytes as RGB.
    const QImage painted = child<TPictureBox>(form, "Image1")->grab().toImage();
    for (const QPoint at : {QPoint(0, 0), QPoint(63, 0), QPoint(17, 29), QPoint(63, 47)})
        EXPECT_EQ(painted.pixelColor(at), expected24(64, 48, at.x(), at.y())) << at.x() << ',' << at.y();
}

TEST(StartupRead, AWorkingFileThatCannotBeWrittenTakesThePictureOffScreen)
{
    const QString path = QString::fromStdString(write_bmp24("unwritable.bmp", 16, 8));
    show::BackgroundRead early(path, show::storedLoadOptions(SettingsStore()));
    TForm1 form;
    ASSERT_TRUE(QDir().mkpath(incoming_of(form)));  // the write cannot open its file
    ASSERT_TRUE(form.DispatchArgument({path}, &early));
    press_a_key(form);
    EXPECT_TRUE(shown(form).isNull());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Show - Error Loading Image"));
    EXPECT_EQ(form.Pic()->width, 0);
    EXPECT_TRUE(controls::readBmpPicture(form.WorkingFile).isNull());
    QDir().rmdir(incoming_of(form));
}

TEST(StartupRead, NothingIsReadForAVerbAFolderOrAFileWithAnOutsideReader)
{
    // A read that matches nothing is never taken; the window loads the picture itself.
    const QString png = QString::fromStdString(temp_path("picture.png"));
    const QString bmp = QString::fromStdString(write_bmp24("named.bmp", 8, 8));
    const show::LoadOptions options = show::storedLoadOptions(SettingsStore());
    EXPECT_FALSE(show::BackgroundRead(png, options).matches(png, options));
    EXPECT_FALSE(show::BackgroundRead(QDir::tempPath(), options).matches(QDir::tempPath(), options));
    show::BackgroundRead early(bmp, options);
    show::LoadOptions reduced = options;
    reduced.reduce = !options.reduce;
    EXPECT_FALSE(early.matches(bmp, reduced));
    EXPECT_TRUE(early.matches(bmp, options));
}

TEST(StartupRead, ARunningViewerIsSeenWithoutBeingDisturbed)
{
    // Looked up, not connected to: the server sees no one knocking.
    EXPECT_FALSE(show::viewerMayBeListening());
    QLocalServer server;
    server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    ASSERT_TRUE(server.listen(show::handOffServerName()));
    EXPECT_TRUE(show::viewerMayBeListening());
    EXPECT_FALSE(server.hasPendingConnections());
}

}  // namespace
