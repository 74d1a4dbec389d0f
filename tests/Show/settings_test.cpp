// The settings store: defaults for a fresh user, every value written at close, and how texts read as numbers.
#include "settings_store.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>

namespace {

using namespace zarn::test;

TEST(ShowSettings, FreshUserGetsEveryDefault)
{
    TForm1 form;
    const ViewerSettings& s = form.Settings;
    EXPECT_EQ(s.StartDir, QDir::homePath());
    EXPECT_EQ(s.SaveDir, QDir::homePath());
    EXPECT_EQ(s.WindowLeft, 200);
    EXPECT_EQ(s.WindowTop, 100);
    EXPECT_EQ(s.PhotoCDSize, 3);
    EXPECT_EQ(s.JpegQuality, 80);
    EXPECT_EQ(s.JpegScale, 0);
    EXPECT_FALSE(s.SingleClick);
    EXPECT_TRUE(s.Centre);
    EXPECT_TRUE(s.AllowCrop);
    EXPECT_EQ(s.CropStep, 2);
    EXPECT_FALSE(s.Display);
    EXPECT_TRUE(s.ToolBar);
    EXPECT_TRUE(s.ToolBar1);
    EXPECT_EQ(s.ToolAlign, 4);
    EXPECT_TRUE(s.Progress);
    EXPECT_TRUE(s.Overwrite);
    EXPECT_FALSE(s.StdButton);
    EXPECT_EQ(s.Slideshow, 10);
    EXPECT_FALSE(s.Loop);
    EXPECT_TRUE(s.SlideBeep);
    EXPECT_TRUE(s.SlideValid);
    EXPECT_EQ(s.Scale, 1);
    EXPECT_EQ(s.PrefsLeft, 200);
    EXPECT_EQ(s.PrefsTop, 100);
    EXPECT_TRUE(s.OnlyOne);
    EXPECT_TRUE(s.AskSave);
    EXPECT_EQ(s.Save, 1);
    for (const QString& editor : s.Editors) EXPECT_TRUE(editor.isEmpty());
    EXPECT_EQ(form.pos(), QPoint(200, 100));
    EXPECT_FALSE(file_exists(SettingsStore::filePath().toStdString()));  // nothing written before close
}

TEST(ShowSettings, ClosingWritesEveryValueAsText)
{
    {
        TForm1 form;
        form.close();
    }
    QSettings file(SettingsStore::filePath(), QSettings::IniFormat);
    EXPECT_EQ(file.childGroups(), QStringList{"Show"});
    file.beginGroup("Show");
    QStringList expected{"WindowTop", "WindowLeft", "PhotoCDSize", "SingleClick", "Centre", "ToolBar", "ToolBar1",
                         "ToolAlign", "AllowCrop", "CropStep", "Save", "JpegQuality", "JpegScale", "Display",
                         "Overwrite", "Progress", "Slideshow", "OnlyOne", "StdButton", "Loop", "SlideBeep",
                         "SlideValid", "Scale", "PrefsTop", "PrefsLeft", "StartDir", "SaveDir", "Program", "AskSave"};
    for (const char* extension : {"", "bmp", "gif", "ppm,pgm,pbm", "jpg", "pcd", "tif", "tga", "pcx", "png", "iff",
                                  "R8"})
        expected << QStringLiteral("Editor-") + extension;
    QStringList keys = file.childKeys();
    keys.sort();
    expected.sort();
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(file.value("JpegQuality").toString(), "80");
    EXPECT_EQ(file.value("Centre").toString(), "1");
    EXPECT_EQ(file.value("Program").toString(), QCoreApplication::applicationFilePath());

    // Every value is plain text in the file: "Centre=1", not a typed value.
    const std::string text = settings_text();
    EXPECT_NE(text.find("\nCentre=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nToolAlign=4\n"), std::string::npos) << text;
}

TEST(ShowSettings, ChangedValuesComeBackNextRun)
{
    {
        TForm1 form;
        form.Settings.JpegQuality = 55;
        form.Settings.ToolAlign = 3;
        form.Settings.Loop = true;
        form.Settings.Editors[2] = "/usr/bin/gif editor";
        form.close();
    }
    TForm1 again;
    EXPECT_EQ(again.Settings.JpegQuality, 55);
    EXPECT_EQ(again.Settings.ToolAlign, 3);
    EXPECT_TRUE(again.Settings.Loop);
    EXPECT_EQ(again.Settings.Editors[2], "/usr/bin/gif editor");
}

TEST(ShowSettings, HexadecimalAndUnreadableTexts)
{
    write_settings("JpegQuality=0x50\nCropStep=abc\nSlideshow=12\nPhotoCDSize=\nWindowLeft=-40\n");
    TForm1 form;
    EXPECT_EQ(form.Settings.JpegQuality, 80);
    EXPECT_EQ(form.Settings.CropStep, 2);
    EXPECT_EQ(form.Settings.Slideshow, 12);
    EXPECT_EQ(form.Settings.PhotoCDSize, 3);
    EXPECT_EQ(form.Settings.WindowLeft, -40);

    EXPECT_EQ(SettingsStore::parseNumber("0x50"), 80);
    EXPECT_EQ(SettingsStore::parseNumber("0X1f"), 31);
    EXPECT_EQ(SettingsStore::parseNumber("abc"), std::nullopt);
    EXPECT_EQ(SettingsStore::parseNumber("12abc"), std::nullopt);
    EXPECT_EQ(SettingsStore::parseNumber("0x"), std::nullopt);
}

TEST(ShowSettings, OutOfRangeScaleAndAlignmentFallBack)
{
    // A scale of 0 would divide the picture's size by zero.
    write_settings("Scale=0\nToolAlign=7\n");
    TForm1 form;
    EXPECT_EQ(form.Settings.Scale, 1);
    EXPECT_EQ(form.Settings.ToolAlign, 4);
}

TEST(ShowSettings, NumbersAreHeldToTheRangesThePreferencesOffer)
{
    write_settings("CropStep=-2147483648\nJpegQuality=1000\nSlideshow=0\nJpegScale=-1\nPhotoCDSize=9\n");
    TForm1 form;
    EXPECT_EQ(form.Settings.CropStep, 1);
    EXPECT_EQ(form.Settings.JpegQuality, 95);
    EXPECT_EQ(form.Settings.Slideshow, 5);
    EXPECT_EQ(form.Settings.JpegScale, 0);
    EXPECT_EQ(form.Settings.PhotoCDSize, 3);
    write_settings("CropStep=101\nJpegQuality=3\nSlideshow=31\nJpegScale=3\nPhotoCDSize=0\n");
    TForm1 again;
    EXPECT_EQ(again.Settings.CropStep, 100);
    EXPECT_EQ(again.Settings.JpegQuality, 25);
    EXPECT_EQ(again.Settings.Slideshow, 30);
    EXPECT_EQ(again.Settings.JpegScale, 2);
    EXPECT_EQ(again.Settings.PhotoCDSize, 1);
}

TEST(ShowSettings, HalfSizeSettingPressesTheFullHalfButton)
{
    write_settings("Scale=2\n");
    TForm1 form;
    EXPECT_TRUE(child<TMButton>(form, "MButton7")->Down());
}

TEST(ShowSettings, OtherGroupsOfTheFileSurvive)
{
    write_file(std::string(std::getenv("XDG_CONFIG_HOME")) + "/Zarn.ini",
               [] {
                   const std::string text = "[Browser]\nColumns=4\n\n[Show]\nLoop=1\n";
                   return Bytes(text.begin(), text.end());
               }());
    {
        TForm1 form;
        EXPECT_TRUE(form.Settings.Loop);
        form.close();
    }
    QSettings file(SettingsStore::filePath(), QSettings::IniFormat);
    EXPECT_EQ(file.value("Browser/Columns").toString(), "4");
}

}  // namespace
