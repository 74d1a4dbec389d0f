// TForm1: loading pictures, captions and status, the toolbars' switches, keys, dropping, opening and closing.
#include "picturebox.h"
#include "progbar.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QMimeData>
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
    EXPECT_EQ(form.FormatCount, 11);
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
    EXPECT_TRUE(filter.contains("|Windows Bitmap (bmp)|*.bmp|Compuserve Gif (gif)|*.gif|PBMPlus (ppm,pgm,pbm)|"
                                "*.ppm;*.pgm;*.pbm|"));
    EXPECT_TRUE(filter.endsWith("|FS Texture (R8)|*.R8;*.txr;*.?af|All Files|*.*"));
    const QStringList filters = TForm1::nameFilters(filter);
    ASSERT_EQ(filters.size(), 13);
    EXPECT_EQ(filters[3], "PBMPlus (ppm,pgm,pbm) (*.ppm *.pgm *.pbm)");
    EXPECT_EQ(form.OpenDialog1->nameFilters(), filters);
    EXPECT_EQ(form.SaveDialog1->nameFilters().size(), 15);
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

TEST(MainWindow, FailedConversionKeepsThePreviousPicture)
{
    const std::string colour = write_bmp24("colour.bmp", 30, 20);
    const std::string broken = temp_path("broken.bmp");
    write_file(broken, {'B', 'M', 1, 2, 3});
    TForm1 form;
    form.LoadImage(QString::fromStdString(colour));
    const QImage before = grabbed(*child(form, "Image1"));
    const QString description = label(form, "Label1");

    form.LoadImage(QString::fromStdString(broken));
    EXPECT_EQ(form.windowTitle(), "Show - Error Loading Image");
    EXPECT_EQ(label(form, "Label1"), description);
    EXPECT_EQ(grabbed(*child(form, "Image1")), before);
    EXPECT_TRUE(panel(form, "Panel1")->isHidden());
    EXPECT_EQ(form.FileTitle, "broken.bmp");  // the title and format describe the file that failed
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
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
    QApplication::processEvents();
    EXPECT_GT(panel(form, "Panel6")->x(), child(form, "ScrollBox1")->x());
    QTest::mouseClick(child(form, "Button1"), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(form.Settings.ToolAlign, 3);
    QApplication::processEvents();
    EXPECT_LT(panel(form, "Panel6")->x(), child(form, "ScrollBox1")->x());

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

TEST(MainWindow, CommandLineLoadsThePathBehindAnyVerb)
{
    const std::string colour = write_bmp24("my picture.bmp", 20, 20);
    TForm1 form;
    form.DispatchArgument({"--browse", QString::fromStdString(colour)});
    EXPECT_EQ(form.windowTitle(), "Show - my picture.bmp");
    EXPECT_EQ(form.Verb, '=');
    EXPECT_EQ(form.OpenDialog1->directory().absolutePath(), QString::fromStdString(temp_dir()));
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
