// TImageForm's operations on the picked file: to the trash, renamed, deleted for good after asking, turned on disk.
#include "dialog_test_support.h"
#include "zarngfx24.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>

#include <array>
#include <cstring>

namespace {

using namespace zarn::test;

QStringList listed(QWidget& window)
{
    QStringList names;
    auto* list = find_child<QListWidget>(window, "FileListBox1");
    for (int row = 0; row < list->count(); ++row) names << list->item(row)->text();
    return names;
}

TEST(BrowseFileOperations, DeleteRenameAndTurnThePickedFile)
{
    const std::string folder = temp_path("pictures") + "/";
    QDir().mkpath(QString::fromStdString(folder));
    for (const char* name : {"a.bmp", "b.bmp"})
        BmpBuilder().size(6, 4).bits(24).pixels(rgb_ramp(6, 4)).write(folder + name);
    ScopedPic pic;
    pic.set(48, 32, 24, rgb_ramp(48, 32));
    std::array<char, 300> written{};
    std::strcpy(written.data(), (folder + "c.jpg").c_str());
    ASSERT_NE(_Pic_Write(written.data(), pic.get(), 2, 90), 0);
    const std::string trash = std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/files/";

    std::array<char, 256> buffer{};
    std::strcpy(buffer.data(), (folder + "a.bmp").c_str());
    bool asked = false, renamed = false;
    WhenShown when("TImageForm", [&](QWidget& window) {
        auto* list = find_child<QListWidget>(window, "FileListBox1");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        EXPECT_TRUE(file_exists(trash + "a.bmp"));
        EXPECT_EQ(listed(window), (QStringList{"b.bmp", "c.jpg"}));
        EXPECT_EQ(list->currentItem()->text(), "b.bmp");

        WhenShown rename("RenameDialog", [&](QWidget& dialog) {
            renamed = true;
            dialog.findChild<QLineEdit*>()->setText("z.bmp");
            QMetaObject::invokeMethod(&dialog, "accept", Qt::QueuedConnection);
        });
        QTest::keyClick(list, Qt::Key_F2);
        EXPECT_EQ(listed(window), (QStringList{"c.jpg", "z.bmp"}));

        WhenShown question("DeleteForGoodQuestion", [&](QWidget& box) {
            asked = static_cast<QMessageBox&>(box).text() == "Delete z.bmp for good?";
            QMetaObject::invokeMethod(static_cast<QMessageBox&>(box).button(QMessageBox::Yes), "click",
                                      Qt::QueuedConnection);
        });
        QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
        EXPECT_EQ(listed(window), QStringList{"c.jpg"});
        EXPECT_FALSE(file_exists(trash + "z.bmp"));

        QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
        static_cast<QDialog&>(window).reject();
    });
    _Pic_Browse(buffer.data());
    EXPECT_TRUE(when.seen());
    EXPECT_TRUE(renamed);
    EXPECT_TRUE(asked);
    ScopedPic turned;
    std::strcpy(written.data(), (folder + "c.jpg").c_str());
    ASSERT_NE(_Pic_Read(written.data(), turned.get(), 0, 0), 0);
    EXPECT_EQ(turned->width, 32);
    EXPECT_EQ(turned->height, 48);
}

}  // namespace
