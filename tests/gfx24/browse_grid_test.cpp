// The browser's grid of thumbnails: the switch and its setting, choosing from it, the shared cache, a window that never
// waits.
#include "dialog_test_support.h"
#include "settings_store.h"
#include "thumbnail_grid.h"
#include "zarngfx24.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

using namespace zarn::test;

std::string folder(const std::string& name)
{
    const std::string path = temp_path(name) + "/";
    QDir().mkpath(QString::fromStdString(path));
    return path;
}

// A JPEG of one colour, written by the library.
std::string write_jpeg(const std::string& path, int width, int height, QColor colour)
{
    Rows rows(std::size_t(height), Bytes(std::size_t(width) * 3));
    for (Bytes& row : rows)
        for (std::size_t x = 0; x < row.size(); x += 3) {
            row[x] = std::uint8_t(colour.red());
            row[x + 1] = std::uint8_t(colour.green());
            row[x + 2] = std::uint8_t(colour.blue());
        }
    ScopedPic pic;
    pic.set(width, height, 24, rows);
    std::string written = path;
    written.resize(written.size() + 8, '\0');
    EXPECT_NE(_Pic_Write(written.data(), pic.get(), 2, 90), 0);
    return path;
}

std::string browse(const std::string& start, const std::function<void(QWidget&)>& act)
{
    std::array<char, 256> buffer{};
    std::strncpy(buffer.data(), start.c_str(), buffer.size() - 1);
    WhenShown when("TImageForm", [&](QWidget& window) {
        act(window);
        if (window.isVisible()) static_cast<QDialog&>(window).reject();
    });
    _Pic_Browse(buffer.data());
    EXPECT_TRUE(when.seen());
    return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
}

void set_grid(const char* value)
{
    SettingsStore settings(QStringLiteral("Browser"));
    settings.setText(QStringLiteral("Grid"), QString::fromLatin1(value));
    settings.sync();
}

QString grid_setting()
{
    return SettingsStore(QStringLiteral("Browser")).text(QStringLiteral("Grid"));
}

QListView* grid(QWidget& window)
{
    return find_child<QListView>(window, "FileGrid1");
}

QWidget* shown_view(QWidget& window)
{
    return find_child<QStackedWidget>(window, "FileStack1")->currentWidget();
}

// Pixels of the cell of `row`, as drawn, within `tolerance` of `colour`.
int cell_pixels_like(QListView& view, int row, QColor colour, int tolerance = 24)
{
    const QImage drawn = grabbed(*view.viewport());
    const QRect cell = view.visualRect(view.model()->index(row, 0)) & drawn.rect();
    int count = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x) {
            const QColor seen = pixel(drawn, x, y);
            if (std::abs(seen.red() - colour.red()) <= tolerance &&
                std::abs(seen.green() - colour.green()) <= tolerance &&
                std::abs(seen.blue() - colour.blue()) <= tolerance)
                ++count;
        }
    return count;
}

// Thumbnails go to a cache in the test's own folder.
class BrowseGrid : public testing::Test {
protected:
    void SetUp() override
    {
        cache = temp_path("cache");
        ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_CACHE_HOME"); }
    std::string cache;
};

TEST_F(BrowseGrid, CtrlGSwitchesTheListForTheGridWhichChoosesAsTheListDoesAndIsRemembered)
{
    const std::string pictures = folder("pictures");
    const std::string first = write_jpeg(pictures + "a.jpg", 64, 48, Qt::red);
    const std::string second = write_jpeg(pictures + "b.jpg", 48, 64, Qt::blue);
    set_grid("0");

    EXPECT_EQ(browse(first,
                     [&](QWidget& window) {
                         EXPECT_EQ(shown_view(window), find_child(window, "FileListBox1"));
                         QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
                         ZARN_WAIT_TRUE(grid(window)->isVisible(), 5000);
                         EXPECT_EQ(shown_view(window), grid(window));
                         EXPECT_TRUE(grid(window)->hasFocus());
                         EXPECT_EQ(grid(window)->currentIndex().row(), 0) << "the file picked in the list";
                         QTest::keyClick(grid(window), Qt::Key_Right);
                         EXPECT_EQ(find_child<QLabel>(window, "Label1")->text(), QString::fromStdString(second));
                         EXPECT_EQ(find_child<QLabel>(window, "Image1")->pixmap().size(), QSize(24, 32));
                         QTest::keyClick(grid(window), Qt::Key_Return);
                     }),
              second);
    EXPECT_EQ(grid_setting(), "1");

    // The grid comes back; a double click chooses; the button switches back.
    EXPECT_EQ(browse(second,
                     [&](QWidget& window) {
                         QListView* view = grid(window);
                         EXPECT_EQ(shown_view(window), view);
                         EXPECT_EQ(view->currentIndex().row(), 1);
                         view->scrollTo(view->model()->index(0, 0));
                         const QPoint cell = view->visualRect(view->model()->index(0, 0)).center();
                         QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell);
                         QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell);
                     }),
              first);
    browse(first, [&](QWidget& window) {
        find_child<QAbstractButton>(window, "GridButton")->click();
        EXPECT_EQ(shown_view(window), find_child(window, "FileListBox1"));
        EXPECT_EQ(find_child<QListWidget>(window, "FileListBox1")->currentRow(), 0);
    });
    EXPECT_EQ(grid_setting(), "0");
}

void put_be32(Bytes& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}

std::uint32_t crc32(const Bytes& data, std::size_t from)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = from; i < data.size(); ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// The PNG with tEXt chunks put right after its header chunk.
Bytes with_text(const Bytes& png, const std::vector<std::pair<std::string, std::string>>& entries)
{
    constexpr std::size_t kAfterHeader = 8 + 25;
    Bytes out(png.begin(), png.begin() + std::ptrdiff_t(kAfterHeader));
    for (const auto& [key, value] : entries) {
        Bytes chunk;
        put_be32(chunk, std::uint32_t(key.size() + 1 + value.size()));
        for (const char c : "tEXt" + key + '\0' + value) chunk.push_back(std::uint8_t(c));
        put_be32(chunk, crc32(chunk, 4));
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    out.insert(out.end(), png.begin() + std::ptrdiff_t(kAfterHeader), png.end());
    return out;
}

TEST_F(BrowseGrid, AThumbnailThePeerPutInTheCacheIsDrawnInItsCell)
{
    const std::string pictures = folder("pictures");
    const QColor green(0, 160, 60);
    const std::string picture = write_jpeg(pictures + "green.jpg", 400, 300, green);
    const std::string made = temp_path("peer.png");
    ASSERT_EQ(std::system(("gdk-pixbuf-thumbnailer -s 128 '" + picture + "' '" + made + "'").c_str()), 0);
    const QByteArray uri = QUrl::fromLocalFile(QString::fromStdString(picture)).toEncoded();
    const std::string normal = cache + "/thumbnails/normal/";
    QDir().mkpath(QString::fromStdString(normal));
    const QString mtime = QString::number(QFileInfo(QString::fromStdString(picture)).lastModified().toSecsSinceEpoch());
    write_file(normal + QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex().toStdString() + ".png",
               with_text(read_file(made), {{"Thumb::URI", uri.toStdString()}, {"Thumb::MTime", mtime.toStdString()}}));
    set_grid("1");

    // Nothing selected, so the cell shows the picture untinted.
    browse(pictures, [&](QWidget& window) {
        QListView* view = grid(window);
        ZARN_WAIT_TRUE(cell_pixels_like(*view, 0, green) > 128 * 96 * 3 / 4, 10000);
        grabbed(window).save(artifactDir() + "/browse-grid.png");
    });
}

// A large PNG is read whole for its thumbnail: the window goes on answering
// meanwhile, and closing it midway waits for the worker, which sends nothing more.
TEST_F(BrowseGrid, TheWindowAnswersWhileThumbnailsAreMadeAndClosesMidway)
{
    const std::string pictures = folder("pictures");
    write_jpeg(pictures + "a.jpg", 64, 48, Qt::red);
    ASSERT_EQ(std::system(("convert -size 6000x4500 gradient:red-blue '" + pictures + "big.png'").c_str()), 0);
    set_grid("1");

    browse(pictures, [&](QWidget& window) {
        auto* view = qobject_cast<gfx24::ThumbnailGrid*>(grid(window));
        ASSERT_NE(view, nullptr);
        int answered = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { answered += view->waiting() > 0 ? 1 : 0; });
        tick.start(10);
        ZARN_WAIT_TRUE(view->waiting() == 0, 60000);
        EXPECT_GE(answered, 3) << "the event loop ran while the thumbnails were made";
    });
    QDir(QString::fromStdString(cache)).removeRecursively();
    browse(pictures, [&](QWidget& window) {
        ZARN_WAIT_TRUE(cell_pixels_like(*grid(window), 0, Qt::red) > 1000, 10000);
        static_cast<QDialog&>(window).reject();
    });
}

}  // namespace
