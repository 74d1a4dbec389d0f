// TGfxDialog: filters from the format table, pictures in and out of files, conversion and the temporary file.
#include "file_filters.h"
#include "gfxdlg.h"
#include "private_temp.h"
#include "test_support.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QTimer>

#include <unistd.h>

namespace {

using namespace zarn::test;

QString qpath(const std::string& name)
{
    return QString::fromStdString(temp_path(name));
}

// A picture whose every pixel differs from its neighbours in all channels.
QImage ramp_picture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    const Rows rows = rgb_ramp(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto* rgb = &rows[std::size_t(y)][std::size_t(x) * 3];
            picture.setPixel(x, y, qRgb(rgb[0], rgb[1], rgb[2]));
        }
    return picture;
}

bool same_pixels(const QImage& a, const QImage& b)
{
    return a.size() == b.size() && a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

TEST(GfxDialog, FiltersComeFromTheFormatTable)
{
    TGfxDialog dialog;
    const QStringList open = controls::nameFilters(dialog.OpenFilter());
    ASSERT_EQ(open.size(), _Pic_Count() + 2);
    EXPECT_TRUE(dialog.OpenFilter().startsWith(QString(_Pic_Description(0)) + '|' + _Pic_Pattern(0) + '|'));
    EXPECT_TRUE(dialog.OpenFilter().endsWith("|All Files|*.*"));
    EXPECT_EQ(open.at(3), "PBMPlus (ppm,pgm,pbm) (*.ppm *.pgm *.pbm)");
    EXPECT_EQ(open.back(), "All Files (*)");
    EXPECT_EQ(dialog.OpenDialog()->nameFilters(), open);

    EXPECT_EQ(dialog.SaveFilter(), QString(_Pic_GetSaveFormats()));
    EXPECT_EQ(dialog.SaveDialog()->nameFilters().size(), 20);
    dialog.setSaveFilterIndex(10);
    EXPECT_EQ(dialog.SaveDialog()->selectedNameFilter(), "Compuserve Gif (*.gif)");
    EXPECT_EQ(dialog.SaveFilterIndex(), 10);
}

TEST(GfxDialog, PropertiesLiveInTheDialogs)
{
    TGfxDialog dialog;
    // A name of this process and component: another program's would share
    // the folder.
    const QString own = controls::privateTempDir() + "/GfxTemp-" + QString::number(::getpid()) + '-';
    EXPECT_TRUE(dialog.TempFileName().startsWith(own) && dialog.TempFileName().endsWith(".bmp"))
        << dialog.TempFileName().toStdString();
    EXPECT_NE(TGfxDialog().TempFileName(), dialog.TempFileName());
    EXPECT_EQ(dialog.JpegQuality(), 80);
    EXPECT_EQ(dialog.PhotoCDSize(), 2);
    const QString folder = QString::fromStdString(temp_dir());
    dialog.setLoadDirectory(folder);
    dialog.setLoadFileName("a.gif");
    EXPECT_EQ(dialog.LoadDirectory(), folder);
    EXPECT_EQ(dialog.LoadFileName(), folder + "/a.gif");
    dialog.setSaveFileName(folder + "/b.png");
    EXPECT_EQ(dialog.SaveDirectory(), folder);
    EXPECT_EQ(dialog.SaveFileName(), folder + "/b.png");
    dialog.setSaveFileName({});
    EXPECT_EQ(dialog.SaveFileName(), QString());
}

TEST(GfxDialog, LoadPictureConvertsAnyFormatAndRemovesTheTemporaryFile)
{
    write_file(temp_path("in.ppm"), ppm(rgb_ramp(7, 5), 7));
    TGfxDialog dialog;
    dialog.setLoadFileName(qpath("in.ppm"));
    QImage picture;
    ASSERT_TRUE(dialog.LoadPicture(picture));
    EXPECT_TRUE(same_pixels(picture, ramp_picture(7, 5)));
    EXPECT_EQ(dialog.Record().width, 7);
    EXPECT_FALSE(QFile::exists(dialog.TempFileName()));

    write_file(temp_path("bad.gif"), {'G', 'I', 'F', '8', '9', 'a'});
    dialog.setLoadFileName(qpath("bad.gif"));
    QImage untouched = picture;
    EXPECT_FALSE(dialog.LoadPicture(untouched));
    EXPECT_TRUE(same_pixels(untouched, picture));
}

TEST(GfxDialog, SavePictureWritesTheChosenTypeUnderItsExtension)
{
    const QImage picture = ramp_picture(6, 4);
    TGfxDialog dialog;
    dialog.setSaveFileName(qpath("out.bmp"));
    dialog.setSaveFilterIndex(11);  // PPM
    ASSERT_TRUE(dialog.SavePicture(picture));
    EXPECT_EQ(dialog.SaveFileName(), qpath("out.ppm"));
    EXPECT_TRUE(same_pixels(QImage(qpath("out.ppm"), "PPM"), picture));
    EXPECT_FALSE(file_exists(temp_path("out.bmp")));
    EXPECT_FALSE(QFile::exists(dialog.TempFileName()));

    // Two colours on the colour reducer's 4-5-4 bit grid come through exactly.
    QImage flat(6, 4, QImage::Format_RGB32);
    flat.fill(qRgb(192, 40, 16));
    flat.setPixel(2, 1, qRgb(0, 8, 240));
    dialog.setSaveFilterIndex(10);
    ASSERT_TRUE(dialog.SavePicture(flat));
    EXPECT_EQ(dialog.SaveFileName(), qpath("out.gif"));
    EXPECT_TRUE(same_pixels(QImage(qpath("out.gif"), "GIF"), flat));
    EXPECT_FALSE(QFile::exists(dialog.TempFileName()));
}

TEST(GfxDialog, ConvertFileGoesStraightFromFileToFile)
{
    BmpBuilder().size(5, 3).bits(24).pixels(rgb_ramp(5, 3)).write(temp_path("in.bmp"));
    TGfxDialog dialog;
    dialog.setLoadFileName(qpath("in.bmp"));
    dialog.setSaveFileName(qpath("copy"));
    dialog.setSaveFilterIndex(12);  // PGM
    ASSERT_TRUE(dialog.ConvertFile());
    EXPECT_EQ(dialog.SaveFileName(), qpath("copy.pgm"));
    const QImage grey(qpath("copy.pgm"), "PGM");
    ASSERT_EQ(grey.size(), QSize(5, 3));
    EXPECT_TRUE(grey.isGrayscale());
}

TEST(GfxDialog, TemporaryFileNeverReplacesTheUsersFile)
{
    const std::string source = temp_path("mine.bmp");
    BmpBuilder().size(4, 4).bits(24).pixels(rgb_ramp(4, 4)).write(source);
    const Bytes original = read_file(source);
    TGfxDialog dialog;
    dialog.setTempFileName(QString::fromStdString(source));
    dialog.setLoadFileName(QString::fromStdString(source));
    QImage picture;
    EXPECT_FALSE(dialog.LoadPicture(picture));
    EXPECT_EQ(read_file(source), original);

    // The save type's extension turns "mine.png" into the temporary file.
    dialog.setLoadFileName({});
    dialog.setSaveFileName(qpath("mine.png"));
    dialog.setSaveFilterIndex(1);
    EXPECT_FALSE(dialog.SavePicture(ramp_picture(2, 2)));
    EXPECT_EQ(read_file(source), original);
}

TEST(GfxDialog, ConfirmedSaveDialogMovesToTheChosenFolder)
{
    QDir(QString::fromStdString(temp_dir())).mkdir("pictures");
    const QString chosen = qpath("pictures") + "/new.png";
    TGfxDialog dialog;
    // Runs inside the dialog's modal loop, which has shown it by then.
    QTimer::singleShot(0, &dialog, [&] {
        dialog.SaveDialog()->selectFile(chosen);
        static_cast<QDialog*>(dialog.SaveDialog())->accept();  // QFileDialog's own is protected
    });
    ASSERT_TRUE(dialog.ExecuteSave());
    EXPECT_EQ(dialog.SaveDirectory(), qpath("pictures"));
    EXPECT_EQ(dialog.SaveFileName(), chosen);
}

}  // namespace
