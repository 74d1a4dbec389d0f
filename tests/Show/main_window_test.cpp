// TForm1: loading pictures, captions and status, the toolbars' switches, keys, dropping, opening and closing.
#include "picturebox.h"
#include "progbar.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include "private_temp.h"

#include <QDir>
#include <QFileDialog>
#include <QMimeData>
#include <QScrollArea>
#include <QTimer>
#include <QUrl>

namespace {

using namespace zarn::test;

QFrame* panel(TForm1& form, const char* name)
{
    return child<QFrame>(form, name);
}

TEST(MainWindow, CreatedWithNothingLoaded)
{
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Show");
    EXPECT_EQ(label(form, "Label1"), "ZarnViewer");
    EXPECT_EQ(label(form, "Label2"), "0");
    EXPECT_EQ(form.FormatCount, 16);
    EXPECT_EQ(QSize(form.MinClientWidth, form.MinClientHeight), QSize(339, 264));
    EXPECT_FALSE(panel(form, "Panel1")->isHidden());  // the progress panel covers the description until a load
    // The working file lives in the private folder under its start-up name.
    const QString expected_dir = QString::fromStdString(std::getenv("TMPDIR")) + "/zarn-" + QString::number(getuid());
    EXPECT_EQ(QFileInfo(form.WorkingFile).absolutePath(), expected_dir);
    EXPECT_TRUE(QFileInfo(form.WorkingFile).fileName().contains(QRegularExpression("^zarn~[0-5][0-9]0[0-9]{2}\\.bmp$")))
        << form.WorkingFile.toStdString();
    // Fourteen buttons on top and ten at the side, all marked for FitWindow.
    EXPECT_EQ(panel(form, "Panel5")->findChildren<TMButton*>().size(), 14);
    EXPECT_EQ(panel(form, "Panel6")->findChildren<TMButton*>().size(), 10);
    EXPECT_EQ(child<TMButton>(form, "MButton2")->toolTip(), "Open Image File");
    EXPECT_EQ(child<TMButton>(form, "MButton14")->geometry(), QRect(2 + 13 * 24, 2, 23, 24));
    EXPECT_EQ(child<TMButton>(form, "MButton33")->geometry(), QRect(3, 16 + 8 * 22, 30, 22));
    for (TMButton* button : form.findChildren<TMButton*>()) {
        EXPECT_EQ(button->Tag(), -5);
        EXPECT_FALSE(button->Bitmap().isNull()) << button->objectName().toStdString();
    }
}

TEST(MainWindow, OpenFilterListsTheFormatTable)
{
    TForm1 form;
    const QString filter = form.OpenFilter();
    EXPECT_TRUE(filter.startsWith("All Image Files|*.bmp;*.gif;")) << filter.toStdString();
    EXPECT_TRUE(
        filter.contains("|Windows Bitmap (bmp)|*.bmp|Compuserve Gif (gif)|*.gif|PBMPlus (ppm,pgm,pbm)|"
                        "*.ppm;*.pgm;*.pbm|"));
    EXPECT_TRUE(filter.contains("|FS Texture (R8)|*.R8;*.txr;*.?af|WebP (webp)|*.webp|"));
    EXPECT_TRUE(
        filter.endsWith("|Camera RAW (dng,cr2,cr3,nef,arw,orf,rw2,pef,srw)|"
                        "*.dng;*.cr2;*.cr3;*.nef;*.arw;*.orf;*.rw2;*.pef;*.srw|All Files|*.*"));
    const QStringList filters = TForm1::nameFilters(filter);
    ASSERT_EQ(filters.size(), 18);
    EXPECT_EQ(filters[3], "PBMPlus (ppm,pgm,pbm) (*.ppm *.pgm *.pbm)");
    EXPECT_EQ(filters.back(), "All Files (*)") << "files without a dot are listed too";
    EXPECT_EQ(form.OpenDialog1->nameFilters(), filters);
    EXPECT_EQ(form.SaveDialog1->nameFilters().size(), 20);
    EXPECT_EQ(form.SaveDialog1->selectedNameFilter(), "Windows Bitmap (*.bmp)");
}

TEST(MainWindow, LoadingShowsThePictureAndItsDescription)
{
    const std::string colour = write_bmp24("colour.bmp", 57, 31);
    const std::string grey = write_bmp8("grey.bmp", 40, 22);
    TForm1 form;
    form.LoadImage(QString::fromStdString(colour));
    EXPECT_EQ(form.windowTitle(), "Show - colour.bmp");
    EXPECT_EQ(label(form, "Label1"), QString::fromLatin1(form.Pic()->description));
    EXPECT_FALSE(label(form, "Label1").isEmpty());
    bool number = false;
    EXPECT_GE(label(form, "Label2").toDouble(&number), 0.0);
    EXPECT_TRUE(number);
    EXPECT_TRUE(panel(form, "Panel1")->isHidden());
    EXPECT_TRUE(panel(form, "Panel6")->isVisible());  // 24-bit: the side toolbar
    EXPECT_EQ(form.PicFormat, 1);
    EXPECT_EQ(form.FileTitle, "colour.bmp");
    ASSERT_TRUE(showAndWait(form));

    auto* picture = child<TPictureBox>(form, "Image1");
    EXPECT_EQ(picture->size(), QSize(57, 31));
    const QImage shown = grabbed(*picture);
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 57; ++x) ASSERT_EQ(pixel(shown, x, y), expected24(57, 31, x, y)) << x << "," << y;

    form.LoadImage(QString::fromStdString(grey));
    EXPECT_EQ(form.windowTitle(), "Show - grey.bmp");
    EXPECT_EQ(form.Pic()->bits, 8);
    EXPECT_TRUE(panel(form, "Panel6")->isHidden());
    const QImage grey_shown = grabbed(*picture);
    const Rows indexes = ramp(40, 22);
    for (int y = 0; y < 22; ++y)
        for (int x = 0; x < 40; ++x) {
            const int level = indexes[std::size_t(y)][std::size_t(x)];
            ASSERT_EQ(pixel(grey_shown, x, y), QColor(level, level, level)) << x << "," << y;
        }
}

TEST(MainWindow, DisplaySettingLoadsColourPicturesInAPalette)
{
    write_settings("Display=1\n");
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", 40, 30)));
    EXPECT_EQ(form.windowTitle(), "Show - colour.bmp");
    EXPECT_EQ(form.Pic()->bits, 8);
    EXPECT_TRUE(panel(form, "Panel6")->isHidden());
}

TEST(MainWindow, UnrecognisedFileChangesNothing)
{
    const std::string colour = write_bmp24("colour.bmp", 30, 20);
    const std::string notes = temp_path("notes.txt");
    write_file(notes, {'h', 'e', 'l', 'l', 'o'});
    TForm1 form;
    form.LoadImage(QString::fromStdString(colour));
    const QString description = label(form, "Label1");
    const QImage before = grabbed(*child(form, "Image1"));

    form.LoadImage(QString::fromStdString(notes));
    form.LoadImage(QString());
    EXPECT_EQ(form.windowTitle(), "Show - colour.bmp");
    EXPECT_EQ(label(form, "Label1"), description);
    EXPECT_EQ(form.FileName, QString::fromStdString(colour));
    EXPECT_EQ(form.PicFormat, 1);
    EXPECT_EQ(grabbed(*child(form, "Image1")), before);
}

TEST(MainWindow, FailedConversionKeepsThePreviousPictureAndSaysWhy)
{
    const std::string colour = write_bmp24("colour.bmp", 30, 20);
    const std::string broken = temp_path("broken.bmp");
    write_file(broken, {'B', 'M', 1, 2, 3});
    const std::string text = temp_path("text.bmp");
    write_file(text, Bytes(64, 'x'));
    TForm1 form;
    form.LoadImage(QString::fromStdString(colour));
    const QImage before = grabbed(*child(form, "Image1"));
    const QString description = label(form, "Label1");

    // The description panel says why, in the library's words, not what the
    // picture still shown is.
    EXPECT_FALSE(form.LoadImage(QString::fromStdString(temp_path("missing.bmp"))));
    EXPECT_EQ(form.windowTitle(), "Show - Error Loading Image");
    EXPECT_EQ(label(form, "Label1"), "file not found");
    EXPECT_FALSE(form.LoadImage(QString::fromStdString(text)));
    EXPECT_EQ(form.windowTitle(), "Show - Error Loading Image");
    EXPECT_NE(label(form, "Label1"), description);
    EXPECT_FALSE(label(form, "Label1").isEmpty());
    EXPECT_FALSE(form.LoadImage(QString::fromStdString(broken)));
    EXPECT_EQ(form.windowTitle(), "Show - Error Loading Image");
    EXPECT_EQ(label(form, "Label1"), "file truncated");
    EXPECT_EQ(grabbed(*child(form, "Image1")), before);
    EXPECT_TRUE(panel(form, "Panel1")->isHidden());
    EXPECT_EQ(form.FileTitle, "broken.bmp");  // the title and format describe the file that failed
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(MainWindow, AFailedLoadLeavesTheRecordDescribingThePictureShown)
{
    // A colour PNG with damaged pixel data: the library has read its header
    // into the record by the time it fails.
    const std::string png = temp_path("damaged.png");
    QImage colour(40, 30, QImage::Format_RGB888);
    colour.fill(Qt::red);
    ASSERT_TRUE(colour.save(QString::fromStdString(png), "PNG"));
    Bytes bytes = read_file(png);
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t idat = text.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    for (std::size_t i = idat + 4; i < idat + 12; ++i) bytes[i] ^= 0x5A;
    write_file(png, bytes);
    {
        ScopedPic probe;
        ASSERT_EQ(_anytobmps(png.c_str(), temp_path("probe.bmp").c_str(), probe.get(), 3, 0), 0);
        ASSERT_EQ(probe->bits, 24);
    }

    TForm1 form;
    form.LoadImage(QString::fromStdString(write_mono_bmp("mono.bmp", 50, mono_pattern(50, 40))));
    ASSERT_TRUE(showAndWait(form));
    const QSize before = form.size();
    form.LoadImage(QString::fromStdString(png));
    EXPECT_EQ(form.windowTitle(), "Show - Error Loading Image");
    EXPECT_EQ(form.Pic()->bits, 1);
    EXPECT_EQ(form.Pic()->width, 50);
    form.FitWindow();
    EXPECT_TRUE(panel(form, "Panel6")->isHidden());
    EXPECT_EQ(form.size(), before);

    // Before anything is shown, a failure leaves an empty record.
    TForm1 fresh;
    fresh.LoadImage(QString::fromStdString(png));
    EXPECT_EQ(fresh.Pic()->bits, 0);
}

TEST(MainWindow, OneBitPicturesStayOneBitAndTooLargeOnesAreRefused)
{
    const Rows pattern = mono_pattern(50, 40);
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_mono_bmp("mono.bmp", 50, pattern)));
    const QImage& held = child<TPictureBox>(form, "Image1")->Picture();
    ASSERT_EQ(held.format(), QImage::Format_Mono);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(held.pixelIndex(x, y), (pattern[std::size_t(y)][std::size_t(x / 8)] >> (7 - x % 8)) & 1);
    const Bytes working = read_file(form.WorkingFile.toStdString());

    // A picture one pixel wide takes 3 bytes a row in the library and 4 on
    // screen, where rows are padded: under this ceiling it converts, but
    // cannot be shown.
    const ScopedEnv ceiling("ZARN_MAX_IMAGE_BYTES", "3500");
    form.LoadImage(QString::fromStdString(write_bmp24("narrow.bmp", 1, 1000)));
    EXPECT_EQ(form.windowTitle(), "Show - Error Loading Image");
    EXPECT_EQ(held.format(), QImage::Format_Mono);
    EXPECT_EQ(form.Pic()->width, 50);
    EXPECT_EQ(read_file(form.WorkingFile.toStdString()), working);  // what later commands work on
    for (const std::string& name : folder_entries(QFileInfo(form.WorkingFile).absolutePath().toStdString()))
        EXPECT_EQ(name.find(".load."), std::string::npos) << name;
}

TEST(MainWindow, WorkingFilesOfViewersThatAreGoneAreRemovedAtStart)
{
    const QString folder = controls::privateTempDir();
    const auto put = [&](const char* name) { write_file((folder + '/' + name).toStdString(), {'x'}); };
    const auto there = [&](const char* name) { return QFileInfo::exists(folder + '/' + name); };
    // Left by viewers that were killed: working files, a lock file, a load
    // in progress, a file the library had half written.
    for (const char* name : {"zarn~11111.bmp", "zarn~11111.lock", "zarn~22222.load.bmp", ".zarn~33333.bmp.Ab12Cd"})
        put(name);
    put("zarn~notes.bmp");  // not a viewer's
    // A running viewer's, held as a viewer holds it.
    controls::NameLock running;
    ASSERT_TRUE(running.take(folder + "/zarn~44444.lock"));
    put("zarn~44444.bmp");

    TForm1 first;
    first.LoadImage(QString::fromStdString(write_bmp8("grey.bmp", 20, 20)));
    for (const char* name : {"zarn~11111.bmp", "zarn~11111.lock", "zarn~22222.load.bmp", ".zarn~33333.bmp.Ab12Cd"})
        EXPECT_FALSE(there(name)) << name;
    EXPECT_TRUE(there("zarn~notes.bmp"));
    EXPECT_TRUE(there("zarn~44444.bmp"));

    TForm1 second;  // the first one's name is taken, and its picture stays
    EXPECT_NE(second.WorkingFile, first.WorkingFile);
    EXPECT_GT(QFileInfo(first.WorkingFile).size(), 0);

    // Closing gives the name up; the next start finds nothing of it.
    first.close();
    second.close();
    running.release();
    TForm1 third;
    third.close();
    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    left.removeAll("zarn~notes.bmp");
    EXPECT_TRUE(left.filter("zarn~").isEmpty()) << left.join(' ').toStdString();
}

TEST(MainWindow, OnlyTheBareBackgroundOpensAFile)
{
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", 500, 300)));
    ASSERT_TRUE(showAndWait(form));
    FileDialogWatch dialogs;
    QWidget* top = panel(form, "Panel5");
    QWidget* side = panel(form, "Panel6");
    ASSERT_GT(top->width(), 14 * 24 + 20);
    ASSERT_GT(side->height(), 16 + 9 * 22 + 4);
    QTest::mouseClick(top, Qt::LeftButton, {}, QPoint(top->width() - 10, 12));    // beyond the last button
    QTest::mouseClick(side, Qt::LeftButton, {}, QPoint(18, side->height() - 3));  // below the last button
    QTest::mouseClick(panel(form, "Panel2"), Qt::LeftButton, {}, QPoint(0, 0));   // the status bar's edge
    QTest::mouseClick(panel(form, "Panel3"), Qt::LeftButton, {}, QPoint(0, 0));
    QTest::mouseClick(child(form, "Image1"), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(dialogs.shown, 0);

    form.LoadImage(QString::fromStdString(write_bmp8("small.bmp", 20, 10)));
    auto* area = child<QScrollArea>(form, "ScrollBox1");
    QTest::mouseClick(area->viewport(), Qt::LeftButton, {}, QPoint(area->viewport()->width() - 10, 5));
    EXPECT_EQ(dialogs.shown, 1);
}

TEST(MainWindow, ProgressCallbackScalesInSixtyFourBits)
{
    TForm1 form;
    auto* bar = child<TProgbar>(form, "Progbar1");
    TForm1::ShowProgress(50, 100);
    EXPECT_EQ(bar->Level(), 50);
    TForm1::ShowProgress(2000000000, 2100000000);  // current * 100 overflows 32 bits
    EXPECT_EQ(bar->Level(), 95);
    TForm1::ShowProgress(5, 0);  // no total: ignored
    EXPECT_EQ(bar->Level(), 95);
}

TEST(MainWindow, ToolbarSwitchesAndKeys)
{
    const std::string colour = write_bmp24("colour.bmp", 300, 250);
    const std::string grey = write_bmp8("grey.bmp", 300, 250);
    TForm1 form;
    form.LoadImage(QString::fromStdString(colour));
    ASSERT_TRUE(showAndWait(form));
    const QSize with_bars = form.size();

    QTest::keyClick(&form, Qt::Key_T);  // top toolbar off
    EXPECT_FALSE(form.Settings.ToolBar);
    EXPECT_TRUE(panel(form, "Panel5")->isHidden());
    EXPECT_EQ(form.height(), with_bars.height() - 29);

    QTest::keyClick(&form, 'l');  // side toolbar off, either case
    EXPECT_FALSE(form.Settings.ToolBar1);
    EXPECT_TRUE(panel(form, "Panel6")->isHidden());
    EXPECT_EQ(form.width(), with_bars.width() - 36);

    QTest::keyClick(&form, Qt::Key_L);
    QTest::keyClick(&form, Qt::Key_T);
    EXPECT_EQ(form.size(), with_bars);

    // Clicking the description is the top toolbar's switch, the duration the side one's.
    QTest::mouseClick(child(form, "Label1"), Qt::LeftButton);
    EXPECT_FALSE(form.Settings.ToolBar);
    QTest::mouseClick(child(form, "Label2"), Qt::LeftButton);
    EXPECT_FALSE(form.Settings.ToolBar1);
    form.TopBarClick();
    form.SideBarClick();

    // Switch Sides moves the side toolbar at once.
    ZARN_WAIT_TRUE(panel(form, "Panel6")->x() > child(form, "ScrollBox1")->x(), 5000);
    QTest::mouseClick(child(form, "Button1"), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form.Settings.ToolAlign, 3);
    ZARN_WAIT_TRUE(panel(form, "Panel6")->x() < child(form, "ScrollBox1")->x(), 5000);

    // The side toolbar is only for 24-bit pictures.
    form.LoadImage(QString::fromStdString(grey));
    QTest::keyClick(&form, Qt::Key_L);
    EXPECT_TRUE(form.Settings.ToolBar1);
    EXPECT_TRUE(panel(form, "Panel6")->isHidden());

    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(QFileInfo::exists(form.WorkingFile));
}

TEST(MainWindow, ClosingRemembersThePositionAndRemovesTheWorkingFile)
{
    write_settings("Centre=0\n");
    const std::string colour = write_bmp24("colour.bmp", 64, 48);
    {
        TForm1 form;
        form.LoadImage(QString::fromStdString(colour));
        ASSERT_TRUE(showAndWait(form));
        EXPECT_TRUE(QFileInfo::exists(form.WorkingFile));
        form.move(321, 123);
        ZARN_WAIT_EQ(form.pos(), QPoint(321, 123), 2000);
        form.close();
        EXPECT_FALSE(QFileInfo::exists(form.WorkingFile));
    }
    const std::string text = settings_text();
    EXPECT_NE(text.find("WindowLeft=321\n"), std::string::npos) << text;
    EXPECT_NE(text.find("WindowTop=123\n"), std::string::npos) << text;
    EXPECT_NE(text.find("StartDir="), std::string::npos) << text;
}

TEST(MainWindow, CommandLineLoadsThePath)
{
    const std::string colour = write_bmp24("my picture.bmp", 20, 20);
    TForm1 form;
    EXPECT_TRUE(form.DispatchArgument({QString::fromStdString(colour)}));
    EXPECT_EQ(form.windowTitle(), "Show - my picture.bmp");
    EXPECT_TRUE(form.Verb.isNull());
    // The file dialogs, slow to make, wait for the picture's first paint;
    // what the start told them (folder, filters) reaches them then.
    EXPECT_TRUE(form.findChildren<QFileDialog*>().isEmpty());
    ASSERT_TRUE(showAndWait(form));
    ZARN_WAIT_EQ(form.findChildren<QFileDialog*>().size(), qsizetype(3), 5000);
    EXPECT_EQ(form.OpenDialog1->directory().absolutePath(), QString::fromStdString(temp_dir()));
    EXPECT_EQ(form.OpenDialog1->nameFilters().size(), form.FormatCount + 2);
}

TEST(MainWindow, NoArgumentShowsTheOpenDialog)
{
    const std::string grey = write_bmp8("chosen.bmp", 20, 20);
    {
        TForm1 form;
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            shown = dialog == form.OpenDialog1;
            if (dialog) dialog->reject();
        });
        form.DispatchArgument({});
        EXPECT_TRUE(shown);
        EXPECT_EQ(form.windowTitle(), "Show");
    }
    TForm1 form;
    QTimer::singleShot(0, [&] {
        form.OpenDialog1->selectFile(QString::fromStdString(grey));
        static_cast<QDialog*>(form.OpenDialog1)->accept();  // QFileDialog's own is protected
    });
    form.DispatchArgument({});
    EXPECT_EQ(form.windowTitle(), "Show - chosen.bmp");
    EXPECT_EQ(form.OpenDialog1->directory().absolutePath(), QString::fromStdString(temp_dir()));
}

TEST(MainWindow, DroppedFileLoads)
{
    const std::string grey = write_bmp8("dropped.bmp", 20, 20);
    TForm1 form;
    ASSERT_TRUE(showAndWait(form));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(grey))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&form, &drop);
    EXPECT_EQ(form.windowTitle(), "Show - dropped.bmp");
}

}  // namespace
