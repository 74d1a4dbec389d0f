// TImageForm behind _Pic_Browse: the preview at the area's reduction, the resize rule, choosing, cancelling, the saved
// place.
#include "dialog_test_support.h"
#include "dirtree.h"
#include "private_temp.h"
#include "settings_store.h"
#include "zarngfx24.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QSplitter>
#include <QTest>

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>

namespace {

using namespace zarn::test;

using Buffer = std::array<char, 256>;

// A folder of its own in the test's folder, ending in "/".
std::string folder(const std::string& name)
{
    const std::string path = temp_path(name) + "/";
    QDir().mkpath(QString::fromStdString(path));
    return path;
}

// A JPEG whose left half is red and right half blue, written by the library
// (which names it .jpg) and then given the name asked for.
std::string write_jpeg(const std::string& path, int width, int height)
{
    Rows rows(std::size_t(height), Bytes(std::size_t(width) * 3));
    for (Bytes& row : rows)
        for (int x = 0; x < width; ++x) row[std::size_t(x) * 3 + (x < width / 2 ? 0 : 2)] = 255;
    ScopedPic pic;
    pic.set(width, height, 24, rows);
    std::string written = path.substr(0, path.rfind('.')) + ".jpg";
    written.resize(written.size() + 8, '\0');
    EXPECT_NE(_Pic_Write(written.data(), pic.get(), 2, 90), 0);
    std::rename(written.c_str(), path.c_str());
    return path;
}

Buffer buffer_of(const std::string& text)
{
    Buffer buffer{};
    std::strncpy(buffer.data(), text.c_str(), buffer.size() - 1);
    return buffer;
}

// Runs the export from `start` with `act` on its window; a window that `act`
// left open is cancelled, so a failed check cannot leave the export waiting.
std::string browse(const std::string& start, const std::function<void(QWidget&)>& act)
{
    Buffer buffer = buffer_of(start);
    WhenShown when("TImageForm", [&](QWidget& window) {
        act(window);
        if (window.isVisible()) static_cast<QDialog&>(window).reject();
    });
    _Pic_Browse(buffer.data());
    EXPECT_TRUE(when.seen());
    return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
}

void set_window_size(int width, int height)
{
    SettingsStore settings(QStringLiteral("Browser"));
    settings.setNumber(QStringLiteral("WindowWidth"), width);
    settings.setNumber(QStringLiteral("WindowHeight"), height);
    settings.sync();
}

QListWidget* file_list(QWidget& window)
{
    return find_child<QListWidget>(window, "FileListBox1");
}

QLabel* image(QWidget& window)
{
    return find_child<QLabel>(window, "Image1");
}

// The converted picture on show, under this process's own name.
QStringList preview_files()
{
    return QDir(controls::privateTempDir())
        .entryList({"brwsedll-" + QString::number(::getpid()) + "-*.bmp"}, QDir::Files);
}

TEST(ImageForm, PreviewFollowsTheAreaWidthAndTheCaptionTellsTheFullSize)
{
    const std::string pictures = folder("pictures");
    const std::string jpeg = write_jpeg(pictures + "Big.JPG", 1600, 1200);
    write_file(pictures + "notes.txt", Bytes{'n'});
    set_window_size(495, 259);

    const std::string chosen = browse(jpeg, [&](QWidget& window) {
        QWidget* area = find_child(window, "Panel2");
        QWidget* frame = find_child(window, "Panel1");
        EXPECT_EQ(area->size(), QSize(200, 200));
        EXPECT_EQ(file_list(window)->count(), 1) << "only image files, the upper-case extension too";
        EXPECT_EQ(image(window)->pixmap().size(), QSize(800, 600)) << "half each way in a 200-wide area";
        EXPECT_EQ(window.windowTitle(),
                  QStringLiteral("Browse (1600 x 1200) ") + QString::fromUtf8(_Pic_Description(4)));
        EXPECT_EQ(find_child<QLabel>(window, "Label1")->text(), QString::fromStdString(jpeg));
        EXPECT_EQ(preview_files().size(), 1);
        // 4:3 at whole percents: a = 133, so the frame is 200 x 150, centred.
        EXPECT_EQ(frame->geometry(), QRect(0, 25, 200, 150));
        grabbed(window).save(artifactDir() + "/browse-window.png");
        const QImage shown = grabbed(*image(window));
        EXPECT_GT(pixel(shown, shown.width() / 4, shown.height() / 2).red(), 200);
        EXPECT_GT(pixel(shown, shown.width() * 3 / 4, shown.height() / 2).blue(), 200);

        const qint64 loaded = image(window)->pixmap().cacheKey();
        window.resize(595, 359);
        ZARN_WAIT_TRUE(area->size() == QSize(300, 300), 5000);
        EXPECT_EQ(image(window)->pixmap().cacheKey(), loaded) << "a resize reloads nothing";
        EXPECT_EQ(frame->geometry(), QRect(0, 37, 300, 225));

        // Clicking the file again loads it at the reduction the area now asks for.
        QListWidget* list = file_list(window);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        EXPECT_EQ(image(window)->pixmap().size(), QSize(1600, 1200));
        EXPECT_EQ(window.windowTitle(),
                  QStringLiteral("Browse (1600 x 1200) ") + QString::fromUtf8(_Pic_Description(4)));
        QTest::keyClick(list, Qt::Key_Return);
    });
    EXPECT_EQ(chosen, jpeg);
    EXPECT_EQ(preview_files(), QStringList());
}

TEST(ImageForm, EscAfterBrowsingReturnsNothing)
{
    const std::string pictures = folder("pictures");
    const std::string first = write_jpeg(pictures + "a.jpg", 64, 48);
    write_jpeg(pictures + "b.jpg", 48, 64);
    const std::string chosen = browse(first, [](QWidget& window) {
        QListWidget* list = file_list(window);
        ASSERT_EQ(list->count(), 2);
        QTest::keyClick(list, Qt::Key_Down);
        EXPECT_EQ(image(window)->pixmap().size(), QSize(24, 32)) << "moving in the list shows the file";
        QTest::keyClick(list, Qt::Key_Escape);
        EXPECT_FALSE(window.isVisible());
    });
    EXPECT_EQ(chosen, "");

    // A click on the picture chooses the file on show.
    EXPECT_EQ(browse(first, [](QWidget& window) { QTest::mouseClick(image(window), Qt::LeftButton); }), first);
}

TEST(ImageForm, FolderOrMissingFileOpensOnTheFolderWithNothingOnShow)
{
    const std::string pictures = folder("pictures");
    write_jpeg(pictures + "a.jpg", 64, 48);
    folder("pictures/RECYCLED");
    for (const std::string& start : {pictures, pictures + "gone.jpg", pictures + "gone/deeper/x.jpg"}) {
        SCOPED_TRACE(start);
        const std::string chosen = browse(start, [&](QWidget& window) {
            auto* tree = find_child<TDirTree>(window, "DirTree1");
            EXPECT_EQ(tree->CurrentPath(), QString::fromStdString(pictures));
            EXPECT_EQ(file_list(window)->count(), 1);
            EXPECT_TRUE(file_list(window)->selectedItems().isEmpty());
            EXPECT_EQ(window.windowTitle(), "Browser");
            EXPECT_FALSE(find_child(window, "Panel1")->isVisible());
            tree->SelectPath(QString::fromStdString(pictures + "RECYCLED"));
            EXPECT_EQ(tree->CurrentPath(), QString::fromStdString(pictures)) << "recycle folders are not listed";
            QTest::keyClick(file_list(window), Qt::Key_Return);
        });
        EXPECT_EQ(chosen, "");
    }
}

TEST(ImageForm, AFolderThatCannotBeReadIsReportedAndTheTreeGoesBack)
{
    const std::string pictures = folder("pictures");
    const std::string gone = folder("pictures/gone");
    browse(pictures, [&](QWidget& window) {
        auto* tree = find_child<TDirTree>(window, "DirTree1");
        QTreeWidgetItem* shown = tree->currentItem();
        shown->setExpanded(true);
        ASSERT_EQ(shown->childCount(), 1);
        QDir(QString::fromStdString(gone)).removeRecursively();
        tree->setCurrentItem(shown->child(0));
        EXPECT_EQ(find_child<QLabel>(window, "Label1")->text(),
                  QString::fromStdString("Drive or Directory " + gone + " isn't responding"));
        EXPECT_EQ(tree->CurrentPath(), QString::fromStdString(pictures));
    });
}

TEST(ImageForm, APathTooLongForTheBufferCannotBeChosen)
{
    std::string deep = folder("short");
    while (deep.size() < 300) deep += std::string(60, 'd') + "/";
    QDir().mkpath(QString::fromStdString(deep));
    const std::string picture = write_jpeg(deep + "p.jpg", 32, 32);
    const std::string chosen = browse(folder("short"), [&](QWidget& window) {
        find_child<TDirTree>(window, "DirTree1")->SelectPath(QString::fromStdString(deep));
        QListWidget* list = file_list(window);
        ASSERT_EQ(list->count(), 1);
        list->setCurrentRow(0);
        EXPECT_EQ(image(window)->pixmap().size(), QSize(16, 16));
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_TRUE(window.isVisible()) << "the choice is refused and the window stays";
        EXPECT_TRUE(find_child<QLabel>(window, "Label1")->text().startsWith("Path too long"));
    });
    EXPECT_EQ(chosen, "");
}

// The tree and the list share a splitter that takes the width the preview
// leaves; how they share it is kept with the window's place.
TEST(ImageForm, TreeAndListGrowWithTheWindowAndKeepTheirShares)
{
    const std::string pictures = folder("pictures");
    set_window_size(495, 259);
    browse(pictures, [](QWidget& window) {
        auto* splitter = find_child<QSplitter>(window, "Splitter1");
        EXPECT_EQ(splitter->width(), 271);
        EXPECT_EQ(find_child(window, "Panel2")->geometry().left(), 287);
        window.resize(795, 259);
        ZARN_WAIT_EQ(splitter->width(), 571, 5000);
        EXPECT_EQ(find_child(window, "Panel2")->geometry(), QRect(587, 21, 200, 200));
        EXPECT_TRUE(splitter->isAncestorOf(find_child(window, "DirTree1")));
        EXPECT_TRUE(splitter->isAncestorOf(file_list(window)));
        splitter->setSizes({400, 160});
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    SettingsStore settings(QStringLiteral("Browser"));
    const int tree = settings.number(QStringLiteral("TreeWidth")), list = settings.number(QStringLiteral("ListWidth"));
    EXPECT_GT(tree, 2 * list);
    browse(pictures, [&](QWidget& window) {
        EXPECT_EQ(find_child<QSplitter>(window, "Splitter1")->sizes(), QList<int>({tree, list}));
    });
}

TEST(ImageForm, ReopensWhereItWasClosedButNeverOffTheScreen)
{
    const std::string pictures = folder("pictures");
    browse(pictures, [](QWidget& window) {
        window.setGeometry(150, 100, 600, 420);
        ZARN_WAIT_TRUE(window.geometry() == QRect(150, 100, 600, 420), 5000);
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    browse(pictures, [](QWidget& window) { EXPECT_EQ(window.geometry(), QRect(150, 100, 600, 420)); });

    SettingsStore settings(QStringLiteral("Browser"));
    settings.setNumber(QStringLiteral("WindowLeft"), 50000);
    settings.setNumber(QStringLiteral("WindowTop"), -3000);
    settings.setNumber(QStringLiteral("WindowWidth"), 90000);
    settings.sync();
    browse(pictures,
           [](QWidget& window) { EXPECT_TRUE(window.screen()->availableGeometry().contains(window.geometry())); });
}

}  // namespace
