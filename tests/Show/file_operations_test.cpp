// TForm1's operations on the file shown: the trash and its undo, deleting for good, renaming, copy and move to a
// folder, and turning JPEG files on disk.
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <functional>

namespace {

using namespace zarn::test;

// Answers the modal windows the command opens, in order: each step waits
// until a window of its kind is on screen and exposed.
class Answers {
public:
    Answers()
    {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(); });
        timer_.start(10);
    }
    template <class W>
    Answers& then(std::function<void(W&)> act)
    {
        steps_.push_back([act](QWidget& window) {
            auto* typed = qobject_cast<W*>(&window);
            if (!typed) return false;
            act(*typed);
            return true;
        });
        return *this;
    }
    std::size_t done() const { return next_; }

private:
    void poll()
    {
        if (next_ >= steps_.size() || deadline_.hasExpired()) return;
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !modal->windowHandle() || !modal->windowHandle()->isExposed()) return;
        if (steps_[next_](*modal)) ++next_;
    }
    std::vector<std::function<bool(QWidget&)>> steps_;
    std::size_t next_ = 0;
    QDeadlineTimer deadline_{20000};
    QTimer timer_;
};

// Clicks `button` of the message box, keeping its text in `text`.
std::function<void(QMessageBox&)> click(QMessageBox::StandardButton button, QString* text = nullptr)
{
    return [button, text](QMessageBox& box) {
        if (text) *text = box.text();
        QMetaObject::invokeMethod(box.button(button), "click", Qt::QueuedConnection);
    };
}

class FileOperations : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = QString::fromStdString(temp_path("pictures"));
        ASSERT_TRUE(QDir().mkpath(folder_));
        for (const auto& [name, width] : {std::pair{"a.bmp", 10}, std::pair{"b.bmp", 12}, std::pair{"c.bmp", 14}})
            picture(name, width);
    }
    QString picture(const QString& name, int width)
    {
        const QString path = folder_ + '/' + name;
        BmpBuilder().size(width, 8).bits(24).pixels(rgb_ramp(width, 8)).write(path.toStdString());
        return path;
    }
    Bytes bytes(const QString& path) { return read_file(path.toStdString()); }
    QString trash(const QString& part)
    {
        return QString::fromLocal8Bit(std::getenv("XDG_DATA_HOME")) + "/Trash/" + part;
    }

    QString folder_;
    TForm1 form_;
};

TEST_F(FileOperations, DeleteGoesToTheTrashAndTheUndoRightAfterBringsItBack)
{
    const QString b = folder_ + "/b.bmp";
    const Bytes original = bytes(b);
    ASSERT_TRUE(form_.LoadImage(b));
    ASSERT_TRUE(showAndWait(form_));
    QTest::keyClick(&form_, Qt::Key_Delete);
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_EQ(form_.FileTitle, "c.bmp");
    EXPECT_EQ(bytes(trash("files/b.bmp")), original);
    const Bytes info = read_file(trash("info/b.bmp.trashinfo").toStdString());
    const std::string text(info.begin(), info.end());
    EXPECT_NE(text.find("Path=" + QUrl::toPercentEncoding(b, "/").toStdString() + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("DeletionDate="), std::string::npos) << text;

    QTest::keyClick(&form_, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(bytes(b), original);
    EXPECT_EQ(form_.FileTitle, "b.bmp");
    EXPECT_EQ(form_.windowTitle(), "Show - b.bmp");
    EXPECT_FALSE(QFileInfo::exists(trash("files/b.bmp")));
    EXPECT_FALSE(QFileInfo::exists(trash("info/b.bmp.trashinfo")));

    // The last picture steps back; a file that took the name meanwhile stays.
    ASSERT_TRUE(form_.LoadImage(folder_ + "/c.bmp"));
    QTest::keyClick(&form_, Qt::Key_Delete);
    EXPECT_EQ(form_.FileTitle, "b.bmp");
    const Bytes other = bytes(picture("c.bmp", 20));
    Answers answers;
    QString refusal;
    answers.then<QMessageBox>(click(QMessageBox::Ok, &refusal));
    QTest::keyClick(&form_, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(answers.done(), 1u);
    EXPECT_TRUE(refusal.contains("c.bmp")) << refusal.toStdString();
    EXPECT_EQ(bytes(folder_ + "/c.bmp"), other);
    EXPECT_TRUE(QFileInfo::exists(trash("files/c.bmp")));
}

TEST_F(FileOperations, DeleteForGoodAsksFirstAndSkipsTheTrash)
{
    const QString b = folder_ + "/b.bmp";
    ASSERT_TRUE(form_.LoadImage(b));
    ASSERT_TRUE(showAndWait(form_));
    QString question;
    Answers answers;
    answers.then<QMessageBox>(click(QMessageBox::No, &question)).then<QMessageBox>(click(QMessageBox::Yes));
    QTest::keyClick(&form_, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(question, "Delete b.bmp for good?");
    EXPECT_TRUE(QFileInfo::exists(b));
    QTest::keyClick(&form_, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(answers.done(), 2u);
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_FALSE(QFileInfo::exists(trash("files/b.bmp")));
    EXPECT_EQ(form_.FileTitle, "c.bmp");
}

TEST_F(FileOperations, RenameRefusesANameInUse)
{
    const QString a = folder_ + "/a.bmp", b = folder_ + "/b.bmp";
    const Bytes first = bytes(a), second = bytes(b);
    ASSERT_TRUE(form_.LoadImage(a));
    ASSERT_TRUE(showAndWait(form_));
    const auto rename_to = [](const QString& name, QString* selected) {
        return [name, selected](QDialog& dialog) {
            auto* edit = dialog.findChild<QLineEdit*>();
            *selected = edit->selectedText();
            edit->setText(name);
            QMetaObject::invokeMethod(&dialog, "accept", Qt::QueuedConnection);
        };
    };
    QString selected, refusal;
    Answers answers;
    answers.then<QDialog>(rename_to("b.bmp", &selected)).then<QMessageBox>(click(QMessageBox::Ok, &refusal));
    QTest::keyClick(&form_, Qt::Key_F2);
    EXPECT_EQ(answers.done(), 2u);
    EXPECT_EQ(selected, "a");
    EXPECT_TRUE(refusal.contains("already exists")) << refusal.toStdString();
    EXPECT_EQ(bytes(a), first);
    EXPECT_EQ(bytes(b), second);

    Answers again;
    again.then<QDialog>(rename_to("z.bmp", &selected));
    QTest::keyClick(&form_, Qt::Key_F2);
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_EQ(bytes(folder_ + "/z.bmp"), first);
    EXPECT_EQ(form_.FileName, folder_ + "/z.bmp");
    EXPECT_EQ(form_.windowTitle(), "Show - z.bmp");
}

TEST_F(FileOperations, CopyAndMoveAskBeforeReplacingAndRememberTheFolder)
{
    const QString target = QString::fromStdString(temp_path("target")), b = folder_ + "/b.bmp";
    ASSERT_TRUE(QDir().mkpath(target));
    write_file((target + "/b.bmp").toStdString(), Bytes(40, 'x'));
    const Bytes original = bytes(b);
    ASSERT_TRUE(form_.LoadImage(b));
    ASSERT_TRUE(showAndWait(form_));
    {
        Answers answers;
        answers.then<QMessageBox>(click(QMessageBox::No)).then<QMessageBox>(click(QMessageBox::Yes));
        EXPECT_FALSE(form_.CopyToFolder(target));
        EXPECT_EQ(bytes(target + "/b.bmp"), Bytes(40, 'x'));
        EXPECT_TRUE(form_.CopyToFolder(target));
        EXPECT_EQ(bytes(target + "/b.bmp"), original);
        EXPECT_EQ(bytes(b), original);
        EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden), QStringList{"b.bmp"});
    }
    {
        write_file((target + "/b.bmp").toStdString(), Bytes(40, 'x'));
        Answers answers;
        answers.then<QMessageBox>(click(QMessageBox::Yes));
        EXPECT_TRUE(form_.MoveToFolder(target));
        EXPECT_EQ(bytes(target + "/b.bmp"), original);
        EXPECT_FALSE(QFileInfo::exists(b));
        EXPECT_EQ(form_.FileTitle, "c.bmp");
    }
    // The chooser opens at the last folder and offers it.
    QString shown;
    QStringList offered;
    Answers answers;
    answers.then<QFileDialog>([&](QFileDialog& dialog) {
        shown = dialog.directory().absolutePath();
        offered = dialog.history();
        QMetaObject::invokeMethod(&dialog, "reject", Qt::QueuedConnection);
    });
    QTest::keyClick(&form_, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(shown, target);
    EXPECT_TRUE(offered.contains(target));
    EXPECT_TRUE(form_.Settings.Destinations.contains("target"));
}

TEST_F(FileOperations, RotateFileTurnsAJpegOnDiskAndOtherPicturesInTheViewer)
{
    for (const char* tool : {"cjpeg", "djpeg", "jpegtran"})
        if (!have_program(tool)) GTEST_SKIP() << tool << " not installed";
    const std::string ppm_path = temp_path("source.ppm");
    write_file(ppm_path, ppm(rgb_ramp(48, 32), 48));
    const QString jpeg = folder_ + "/d.jpg";
    ASSERT_TRUE(make("cjpeg -quality 90 '" + ppm_path + "'", jpeg.toStdString()));
    const std::string before = temp_path("before.jpg");
    write_file(before, bytes(jpeg));

    ASSERT_TRUE(form_.LoadImage(jpeg));
    ASSERT_TRUE(showAndWait(form_));
    QTest::keyClick(&form_, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(picture_of(form_)->Picture().size(), QSize(32, 48));
    const auto expected = decode_shell("jpegtran -rotate 90 '" + before + "' | djpeg -ppm");
    const auto turned = decode({"djpeg", "-ppm", jpeg.toStdString()});
    ASSERT_TRUE(expected && turned);
    EXPECT_EQ(turned->rgb, expected->rgb);
    QTest::keyClick(&form_, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(picture_of(form_)->Picture().size(), QSize(48, 32));

    // A BMP turns in the viewer; its file stays as it was.
    const QString a = folder_ + "/a.bmp";
    const Bytes file = bytes(a);
    ASSERT_TRUE(form_.LoadImage(a));
    QTest::keyClick(&form_, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(picture_of(form_)->Picture().size(), QSize(8, 10));
    EXPECT_EQ(bytes(a), file);
}

}  // namespace
