// TForm1: stepping through the folder's pictures, undo and redo of processing, and dragging the picture out.
#include "picturebox.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QMimeData>
#include <QUrl>

namespace {

using namespace zarn::test;

QSize shown_size(TForm1& form)
{
    return child<TPictureBox>(form, "Image1")->Picture().size();
}

// The undo copies the viewer has in its private folder.
QStringList undo_copies()
{
    return QDir(controls::privateTempDir()).entryList({QStringLiteral("*.undo.*")}, QDir::Files | QDir::Hidden);
}

QList<QUrl> dragged(TForm1& form)
{
    const std::unique_ptr<QMimeData> data = form.dragMimeData();
    return data ? data->urls() : QList<QUrl>();
}

TEST(FolderSteps, NextAndPreviousFollowTheListAndStopAtTheEnds)
{
    // Widths tell the pictures apart. "c.bmp" is no picture and is stepped
    // over; "d.txt" is one, but not by its name, so it is never listed.
    const QString folder = QString::fromStdString(temp_path("pictures"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto picture = [&](const char* name, int width) {
        const std::string path = (folder + '/' + name).toStdString();
        BmpBuilder().size(width, 8).bits(24).pixels(rgb_ramp(width, 8)).write(path);
        return QString::fromStdString(path);
    };
    picture("a.bmp", 10);
    const QString b = picture("B.bmp", 12);
    write_file((folder + "/c.bmp").toStdString(), Bytes(200, 'x'));
    picture("d.txt", 16);
    picture("E.bmp", 14);

    TForm1 form;
    ASSERT_TRUE(form.LoadImage(b));
    ASSERT_TRUE(showAndWait(form));
    QTest::keyClick(&form, Qt::Key_Right);
    EXPECT_EQ(form.FileTitle, "E.bmp");
    EXPECT_EQ(shown_size(form), QSize(14, 8));
    EXPECT_EQ(form.windowTitle(), "Show - E.bmp");

    // At the end: a beep, and the picture, its name and the caption stay.
    const Bytes working = read_file(form.WorkingFile.toStdString());
    EXPECT_FALSE(form.StepPicture(TForm1::PictureStep::Next));
    EXPECT_FALSE(form.StepPicture(TForm1::PictureStep::Last));
    EXPECT_EQ(form.FileName, folder + "/E.bmp");
    EXPECT_EQ(form.windowTitle(), "Show - E.bmp");
    EXPECT_EQ(read_file(form.WorkingFile.toStdString()), working);

    QTest::keyClick(&form, Qt::Key_PageUp);
    EXPECT_EQ(form.FileTitle, "B.bmp");
    QTest::keyClick(&form, Qt::Key_Left);
    EXPECT_EQ(form.FileTitle, "a.bmp");
    EXPECT_EQ(shown_size(form), QSize(10, 8));
    EXPECT_FALSE(form.StepPicture(TForm1::PictureStep::Previous));
    EXPECT_FALSE(form.StepPicture(TForm1::PictureStep::First));
    EXPECT_EQ(form.FileTitle, "a.bmp");
    QTest::keyClick(&form, Qt::Key_End);
    EXPECT_EQ(form.FileTitle, "E.bmp");
    QTest::keyClick(&form, Qt::Key_Home);
    EXPECT_EQ(form.FileTitle, "a.bmp");

    // A file gone since the folder was listed is passed over.
    QFile::remove(b);
    QTest::keyClick(&form, Qt::Key_PageDown);
    EXPECT_EQ(form.FileTitle, "E.bmp");
}

TEST(EditHistory, UndoAndRedoReturnEachStepsPixels)
{
    const std::string path = write_bmp24("colour.bmp", 20, 12);
    TForm1 form;
    ASSERT_TRUE(form.LoadImage(QString::fromStdString(path)));
    ASSERT_TRUE(showAndWait(form));
    std::vector<Bytes> states{read_file(form.WorkingFile.toStdString())};
    std::vector<QSize> sizes{shown_size(form)};
    const auto keep_state = [&] {
        states.push_back(read_file(form.WorkingFile.toStdString()));
        sizes.push_back(shown_size(form));
    };
    EXPECT_EQ(dragged(form), QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(path))});

    QTest::keyClick(&form, Qt::Key_R);
    keep_state();
    form.SelStartX = 2, form.SelStartY = 3, form.SelCornerX = 10, form.SelCornerY = 9;
    form.HasSelection = true;
    form.cropClick();
    keep_state();
    form.SepiaClick();
    keep_state();
    ASSERT_EQ(sizes, (std::vector<QSize>{{20, 12}, {12, 20}, {8, 6}, {8, 6}}));
    EXPECT_EQ(form.UndoCount(), 3);
    EXPECT_EQ(dragged(form), QList<QUrl>{QUrl::fromLocalFile(form.WorkingFile)});

    // A crop outside the picture changes nothing and is no step.
    form.SelStartX = 300, form.SelStartY = 300, form.SelCornerX = 310, form.SelCornerY = 310;
    form.HasSelection = true;
    form.cropClick();
    EXPECT_EQ(form.UndoCount(), 3);

    for (int step = 2; step >= 0; --step) {
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(read_file(form.WorkingFile.toStdString()), states[std::size_t(step)]) << step;
        EXPECT_EQ(shown_size(form), sizes[std::size_t(step)]);
    }
    EXPECT_EQ(child<TPictureBox>(form, "Image1")->size(), QSize(20, 12));  // refitted as the rotation was
    EXPECT_EQ(dragged(form), QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(path))});
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);  // nothing left: the picture stays
    EXPECT_EQ(read_file(form.WorkingFile.toStdString()), states[0]);

    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(read_file(form.WorkingFile.toStdString()), states[1]);
    QTest::keyClick(&form, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(read_file(form.WorkingFile.toStdString()), states[2]);
    EXPECT_EQ(shown_size(form), QSize(8, 6));
    EXPECT_EQ(form.RedoCount(), 1);

    // A new step forgets what was undone.
    form.EmbossClick();
    EXPECT_EQ(form.RedoCount(), 0);
    EXPECT_EQ(form.UndoCount(), 3);
    EXPECT_EQ(undo_copies().size(), 3);

    form.closeWithoutAsking();
    EXPECT_TRUE(undo_copies().isEmpty()) << undo_copies().join(' ').toStdString();
}

TEST(EditHistory, AnotherPictureOrANewStartForgetsTheSteps)
{
    // What a viewer that was killed left behind goes when the next one starts.
    const QString left = controls::privateTempDir() + "/.zarn~99999.bmp.undo.1";
    write_file(left.toStdString(), Bytes(10, 'x'));
    TForm1 form;
    EXPECT_FALSE(QFile::exists(left));
    ASSERT_TRUE(form.LoadImage(QString::fromStdString(write_bmp24("first.bmp", 8, 8))));
    form.rotateClick();
    form.SepiaClick();
    EXPECT_EQ(undo_copies().size(), 2);
    ASSERT_TRUE(form.LoadImage(QString::fromStdString(write_bmp8("second.bmp", 8, 8))));
    EXPECT_EQ(form.UndoCount(), 0);
    EXPECT_TRUE(undo_copies().isEmpty());
}

}  // namespace
