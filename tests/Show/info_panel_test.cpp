// The I key's information panel: the file, its pixels and kind, its EXIF as exiftool reads it; it follows Next.
#include "info_panel.h"
#include "metadata_module.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

using namespace zarn::test;

std::string exiftool_value(const std::string& path, const std::string& tag, bool numeric = false)
{
    std::vector<std::string> argv{"exiftool", "-s", "-s", "-s"};
    if (numeric) argv.push_back("-n");
    argv.push_back("-" + tag);
    argv.push_back(path);
    const Bytes out = run_tool(argv).output;
    std::string text(out.begin(), out.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

QString value_of(const show::InfoPanel& panel, const QString& label)
{
    for (const auto& [name, value] : panel.entries())
        if (name == label) return value;
    return {};
}

TEST(InfoPanel, SizesOnDiskInBinaryUnitsWithTheExactCount)
{
    EXPECT_EQ(show::InfoPanel::sizeOnDisk(812), "812 bytes");
    EXPECT_EQ(show::InfoPanel::sizeOnDisk(12594), "12.3 KB (12,594 bytes)");
    EXPECT_EQ(show::InfoPanel::sizeOnDisk(2514211), "2.4 MB (2,514,211 bytes)");
}

TEST(InfoPanel, ListsTheFileAndItsExifFollowsNextAndClosesWithIAndEsc)
{
    if (!have_image_magick() || !have_program("exiftool")) GTEST_SKIP() << "ImageMagick or exiftool not installed";
    const QString folder = QString::fromStdString(temp_path("photos"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::string a = (folder + "/a.jpg").toStdString(), b = (folder + "/b.jpg").toStdString();
    ASSERT_EQ(run_tool({"convert", "-size", "40x30", "gradient:red-blue", a}).status, 0);
    ASSERT_EQ(run_tool({"convert", "-size", "50x20", "xc:green", b}).status, 0);
    ASSERT_EQ(run_tool({"exiftool", "-q", "-overwrite_original", "-DateTimeOriginal=2024:05:01 12:34:56",
                        "-Make=Zarnon", "-Model=Z 7", "-GPSLatitude=51.5", "-GPSLatitudeRef=N", "-GPSLongitude=0.1275",
                        "-GPSLongitudeRef=W", a})
                  .status,
              0);

    TForm1 form;
    ASSERT_TRUE(form.LoadImage(QString::fromStdString(a)));
    ASSERT_TRUE(showAndWait(form));
    auto* panel = form.findChild<show::InfoPanel*>();
    ASSERT_NE(panel, nullptr);
    QTest::keyClick(&form, Qt::Key_I);
    ZARN_WAIT_TRUE(panel->isVisible(), 5000);
    EXPECT_EQ(value_of(*panel, "File"), "a.jpg");
    EXPECT_EQ(value_of(*panel, "Folder"), QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath()));
    EXPECT_EQ(value_of(*panel, "Size on disk"),
              show::InfoPanel::sizeOnDisk(QFileInfo(QString::fromStdString(a)).size()));
    EXPECT_EQ(value_of(*panel, "Pixels"), "40 x 30");
    EXPECT_TRUE(value_of(*panel, "Format").endsWith("24-bit")) << value_of(*panel, "Format").toStdString();
    if (zarn::metadata_available()) {
        std::string date = exiftool_value(a, "DateTimeOriginal");
        ASSERT_EQ(date.size(), 19u);
        date[4] = date[7] = '-';
        EXPECT_EQ(value_of(*panel, "Date taken").toStdString(), date);
        EXPECT_EQ(value_of(*panel, "Camera").toStdString(),
                  exiftool_value(a, "Make") + " " + exiftool_value(a, "Model"));
        double latitude = 0, longitude = 0;
        char north = 0, east = 0;
        const QByteArray gps = value_of(*panel, "GPS position").toUtf8();
        ASSERT_EQ(std::sscanf(gps.constData(), "%lf\xC2\xB0 %c, %lf\xC2\xB0 %c", &latitude, &north, &longitude, &east),
                  4)
            << gps.constData();
        EXPECT_NEAR(north == 'S' ? -latitude : latitude, std::stod(exiftool_value(a, "GPSLatitude", true)), 1e-5);
        EXPECT_NEAR(east == 'W' ? -longitude : longitude, std::stod(exiftool_value(a, "GPSLongitude", true)), 1e-5);
    }
    // Beside the viewer, not over it.
    EXPECT_FALSE(panel->frameGeometry().intersects(form.frameGeometry()));

    QTest::keyClick(panel, Qt::Key_Right);  // the viewer's key, typed in the panel
    ZARN_WAIT_EQ(value_of(*panel, "File"), QStringLiteral("b.jpg"), 5000);
    EXPECT_EQ(value_of(*panel, "Pixels"), "50 x 20");
    EXPECT_TRUE(value_of(*panel, "Date taken").isEmpty());

    QTest::keyClick(&form, Qt::Key_I);
    EXPECT_FALSE(panel->isVisible());
    QTest::keyClick(&form, Qt::Key_I);
    ZARN_WAIT_TRUE(panel->isVisible(), 5000);
    QTest::keyClick(&form, Qt::Key_Escape);  // the panel first, the viewer stays
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(form.isVisible());
    QTest::keyClick(&form, Qt::Key_I);
    ZARN_WAIT_TRUE(panel->isVisible(), 5000);
    QTest::keyClick(panel, Qt::Key_Escape);
    EXPECT_FALSE(panel->isVisible());
    QTest::keyClick(&form, Qt::Key_I);
    ZARN_WAIT_TRUE(panel->isVisible(), 5000);
    form.hide();  // it goes with the viewer
    EXPECT_FALSE(panel->isVisible());
}

TEST(InfoPanel, StaysClosedWithNoPicture)
{
    TForm1 form;
    ASSERT_TRUE(showAndWait(form));
    QTest::keyClick(&form, Qt::Key_I);
    EXPECT_FALSE(form.findChild<show::InfoPanel*>()->isVisible());
}

}  // namespace
