// The settings store: defaults for a fresh user, every value written at close, and how texts read as numbers.
#include "settings_store.h"
#include "show_test_support.h"
#include "viewer_settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>

#include <type_traits>
#include <variant>

namespace {

using namespace zarn::test;

// A setting's value as the file would hold it.
QString stored_text(const ViewerSettings& settings, const show::SettingRow& row)
{
    return std::visit(
        [&](auto member) {
            if constexpr (std::is_same_v<std::remove_cvref_t<decltype(settings.*member)>, QString>)
                return settings.*member;
            else return QString::number(int(settings.*member));
        },
        row.member);
}

bool is_text(const show::SettingRow& row)
{
    return std::holds_alternative<QString ViewerSettings::*>(row.member);
}

TEST(ShowSettings, MissingAndUnreadableValuesAreTheirDefaults)
{
    TForm1 fresh;
    for (const show::SettingRow& row : show::settingRows()) {
        if (is_text(row)) continue;
        EXPECT_EQ(stored_text(fresh.Settings, row), row.fallback) << row.key;
    }
    EXPECT_EQ(fresh.Settings.StartDir, QDir::homePath());
    EXPECT_EQ(fresh.Settings.SaveDir, QDir::homePath());
    for (const QString& editor : fresh.Settings.Editors) EXPECT_TRUE(editor.isEmpty());
    EXPECT_EQ(fresh.pos(), QPoint(200, 100));
    EXPECT_FALSE(file_exists(SettingsStore::filePath().toStdString()));  // nothing written before close

    std::string garbage;
    for (const show::SettingRow& row : show::settingRows()) {
        if (!is_text(row)) garbage += std::string(row.key) + "=twelve\n";
    }
    write_settings(garbage);
    TForm1 unreadable;
    EXPECT_EQ(unreadable.Settings, fresh.Settings);
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
    QStringList expected{
        "WindowTop", "WindowLeft", "PhotoCDSize", "SingleClick", "Centre",    "ToolBar",    "ToolBar1",  "ToolAlign",
        "AllowCrop", "CropStep",   "Save",        "JpegQuality", "JpegScale", "Display",    "Overwrite", "Progress",
        "Slideshow", "OnlyOne",    "StdButton",   "Loop",        "SlideBeep", "SlideValid", "Scale",     "PrefsTop",
        "PrefsLeft", "StartDir",   "SaveDir",     "Program",     "AskSave",   "FitLarge",   "WheelZoom"};
    expected << "Destinations";
    for (const char* extension : {"", "bmp", "gif", "ppm,pgm,pbm", "jpg", "pcd", "tif", "tga", "pcx", "png", "iff",
                                  "R8", "webp", "avif", "heic,heif", "jxl", "dng,cr2,cr3,nef,arw,orf,rw2,pef,srw"})
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
    ViewerSettings written;
    {
        TForm1 form;
        // Every setting off its default and within its range.
        for (const show::SettingRow& row : show::settingRows()) {
            std::visit(
                [&](auto member) {
                    auto& field = form.Settings.*member;
                    using Field = std::remove_cvref_t<decltype(field)>;
                    if constexpr (std::is_same_v<Field, QString>) field = QStringLiteral("/srv/") + row.key;
                    else if constexpr (std::is_same_v<Field, bool>) field = !field;
                    else field = field < row.max ? field + 1 : field - 1;
                },
                row.member);
        }
        form.Settings.Editors[2] = "/usr/bin/gif editor";
        form.move(240, 130);
        written = form.Settings;
        written.WindowLeft = form.x();  // the window's own place is what is kept
        written.WindowTop = form.y();
        form.close();
    }
    TForm1 again;
    for (const show::SettingRow& row : show::settingRows())
        EXPECT_EQ(stored_text(again.Settings, row), stored_text(written, row)) << row.key;
    EXPECT_EQ(again.Settings.Editors, written.Editors);
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
    write_file(std::string(std::getenv("XDG_CONFIG_HOME")) + "/Zarn.ini", [] {
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
