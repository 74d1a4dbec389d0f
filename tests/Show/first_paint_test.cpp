// The first paint of a large JPEG from a reduced read, replaced by the whole picture; steps painted from pictures
// read ahead; a picture too large to edit shown fitted, its commands refused with a message.
#include "bmp_picture.h"
#include "picture_load.h"
#include "show_test_support.h"
#include "viewer_core.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

namespace {

using namespace zarn::test;

// A JPEG of coarse colour blocks, written by Qt's own writer.
QString write_jpeg(const QString& path, int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) row[x] = qRgb((x / 64) * 37 % 256, (y / 64) * 53 % 256, 128);
    }
    EXPECT_TRUE(picture.save(path, "JPEG", 80));
    return path;
}

// The same JPEG marked by Exif as stored a quarter turn anticlockwise: shown turned, its sides swapped.
QString write_turned_jpeg(const QString& path, int width, int height)
{
    write_jpeg(path, width, height);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();
    file.close();
    // One IFD entry: orientation (0x0112), a short, 6.
    const QByteArray exif = QByteArray("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 32);
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char((exif.size() + 2) >> 8)).append(char((exif.size() + 2) & 0xFF)).append(exif);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(jpeg.left(2) + segment + jpeg.mid(2));
    return path;
}

QSize working_size(const QString& working)
{
    return controls::readBmpPicture(working).size();
}

TEST(FirstPaint, ReducedReadIsReplacedByTheWholePictureInTheSameGeometry)
{
    const QString path = write_jpeg(QString::fromStdString(temp_path("large.jpg")), 4000, 3000);
    TForm1 form;
    ASSERT_TRUE(form.LoadImage(path));
    TPictureBox* box = picture_of(form);
    const QSize fitted = form.fittedSize(QSize(4000, 3000));
    ASSERT_LT(fitted.width(), 2000);  // the screen is smaller than half the picture
    EXPECT_TRUE(box->isPreview());
    EXPECT_EQ(box->fullSize(), QSize(4000, 3000));
    EXPECT_GE(box->Picture().width(), fitted.width());
    EXPECT_LT(box->Picture().width(), 4000);
    EXPECT_TRUE(label(form, "Label1").contains(QStringLiteral("4000x3000 (100%)")))
        << label(form, "Label1").toStdString();
    const QSize geometry = box->size();

    ZARN_WAIT_TRUE(!box->isPreview(), 20000);
    EXPECT_EQ(box->Picture().size(), QSize(4000, 3000));
    EXPECT_EQ(box->size(), geometry);
    EXPECT_EQ(working_size(form.WorkingFile), QSize(4000, 3000));
    EXPECT_TRUE(label(form, "Label1").contains(QStringLiteral("4000x3000 (100%)")));

    // The start-up read takes the same course, upright.
    const QString turned = write_turned_jpeg(QString::fromStdString(temp_path("turned.jpg")), 4000, 3000);
    show::BackgroundRead early(turned, {}, [](QSize full) { return show::fittedInto(full, QSize(700, 900)); });
    TForm1 started;
    ASSERT_TRUE(started.DispatchArgument({turned}, &early));
    EXPECT_TRUE(picture_of(started)->isPreview());
    EXPECT_EQ(picture_of(started)->fullSize(), QSize(3000, 4000));
    // Read at 1/4 (750x1000), the least reduction still as large as shown,
    // and brought down to the size shown.
    EXPECT_EQ(picture_of(started)->Picture().size(), QSize(675, 900));
    started.Core().finishWorkingFile();
    EXPECT_FALSE(picture_of(started)->isPreview());
    EXPECT_EQ(working_size(started.WorkingFile), QSize(3000, 4000));
}

TEST(FirstPaint, AStepToAPictureReadAheadPaintsBeforeAnyNewRead)
{
    const QString folder = QString::fromStdString(temp_dir()) + QStringLiteral("/ahead");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString first = write_jpeg(folder + QStringLiteral("/a.jpg"), 2400, 1600);
    const QString middle = write_jpeg(folder + QStringLiteral("/b.jpg"), 2400, 1600);
    const QString last = QString::fromStdString(write_bmp24("ahead/c.bmp", 300, 200));

    ViewerSettings settings;
    ViewerCore core(settings);
    core.shownSize = [](QSize full) { return show::fittedInto(full, QSize(600, 400)); };
    ASSERT_TRUE(core.load(middle));
    ZARN_WAIT_TRUE(core.holdsAhead(first) && core.holdsAhead(last), 20000);

    core.finishWorkingFile();
    int reads_at_paint = -1;
    QObject::connect(&core, &ViewerCore::pictureChanged, &core, [&] {
        if (reads_at_paint < 0) reads_at_paint = ViewerCore::readsStarted();
    });
    const int reads_before = ViewerCore::readsStarted();
    ASSERT_TRUE(core.step(ViewerCore::PictureStep::Previous));
    EXPECT_EQ(reads_at_paint, reads_before);
    EXPECT_EQ(core.FileName, first);
    EXPECT_EQ(core.picture().size(), QSize(600, 400));  // at 1/4, the size it is shown at
    core.finishWorkingFile();
    EXPECT_EQ(working_size(core.WorkingFile), QSize(2400, 1600));

    // Any other picture is held whole: its working file needs no read at all.
    ZARN_WAIT_TRUE(core.holdsAhead(middle), 20000);
    ASSERT_TRUE(core.step(ViewerCore::PictureStep::Next));
    ZARN_WAIT_TRUE(core.holdsAhead(last), 20000);
    reads_at_paint = -1;
    const int reads_then = ViewerCore::readsStarted();
    ASSERT_TRUE(core.step(ViewerCore::PictureStep::Next));
    EXPECT_EQ(ViewerCore::readsStarted(), reads_then);
    core.finishWorkingFile();
    EXPECT_EQ(working_size(core.WorkingFile), QSize(300, 200));
    EXPECT_EQ(ViewerCore::readsStarted(), reads_then);
}

TEST(FirstPaint, APictureTooLargeToEditIsShownFittedAndItsCommandsSaySo)
{
    qputenv("ZARN_MAX_IMAGE_BYTES", QByteArray::number(16 << 20));
    const QString path = write_jpeg(QString::fromStdString(temp_path("huge.jpg")), 4000, 4000);
    TForm1 form;
    ASSERT_TRUE(form.LoadImage(path));
    TPictureBox* box = picture_of(form);
    EXPECT_TRUE(form.Core().viewOnly());
    EXPECT_EQ(box->fullSize(), QSize(4000, 4000));
    EXPECT_TRUE(box->isPreview());
    EXPECT_TRUE(label(form, "Label1").contains(QStringLiteral(": too large to edit")));
    EXPECT_TRUE(label(form, "Label1").contains(QStringLiteral("shown at 1/"))) << label(form, "Label1").toStdString();
    EXPECT_EQ(box->size(), form.fittedSize(QSize(4000, 4000)) / box->devicePixelRatioF());

    // Each refusal is a message box, closed here as soon as it shows.
    QStringList told;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box_shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            told << box_shown->text();
            box_shown->done(QMessageBox::Ok);
        }
    });
    closer.start(10);
    form.rotateClick();
    form.UndoClick();
    EXPECT_EQ(told, QStringList(2, QStringLiteral("The picture is too large to edit.")));
    EXPECT_EQ(box->fullSize(), QSize(4000, 4000));
    qunsetenv("ZARN_MAX_IMAGE_BYTES");
}

}  // namespace
