// The browser's grid of thumbnails over a folder of 16-megapixel photographs: the first screen and the whole folder,
// with the thumbnail cache empty and then full. Without a display it reruns itself under xvfb-run.
#include "browse.h"
#include "settings_store.h"
#include "thumbnail_grid.h"
#include "viewer_bench_support.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

constexpr int kWidth = 4608, kHeight = 3456;  // 16 megapixels

// The folder of `count` photographs, made once and kept for later runs: four
// mirrored variants of one photograph-like picture (in a folder below, which
// the grid does not show), copied under every name.
bool make_photos(const QString& folder, int count)
{
    QDir().mkpath(folder + QStringLiteral("/variants"));
    QImage variants[4];
    for (int index = 0; index < count; ++index) {
        const QString name = folder + QStringLiteral("/photo-%1.jpg").arg(index, 4, 10, QLatin1Char('0'));
        if (QFile::exists(name)) continue;
        const QString source = folder + QStringLiteral("/variants/%1.jpg").arg(index % 4);
        if (!QFile::exists(source)) {
            QImage& picture = variants[index % 4];
            if (picture.isNull())
                picture = viewer_bench::photo_like(kWidth, kHeight, QImage::Format_RGB888)
                              .mirrored((index % 4) & 1, (index % 4) >> 1);
            if (!picture.save(source, "JPEG", 92)) return false;
        }
        if (!QFile::copy(source, name)) return false;
    }
    return true;
}

// Runs the event loop until `done` holds; false after `ms` without it.
bool wait_for(const std::function<bool()>& done, int ms)
{
    const QDeadlineTimer deadline(ms);
    QTimer wake;
    wake.start(100);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        // Sleeps until something arrives, so the wait takes no processor
        // time from the workers.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

struct Pass {
    double first_screen = -1, everything = -1;
    int on_screen = 0;
};

// From the window's making to the visible cells' thumbnails painted, and on
// to every file's answer painted.
Pass open_grid(const QString& folder)
{
    Pass pass;
    const viewer_bench::Timing timing;
    auto window = std::make_unique<TImageForm>();
    window->Start(QFile::encodeName(folder + '/'));
    window->show();
    auto* grid = window->findChild<gfx24::ThumbnailGrid*>(QStringLiteral("FileGrid1"));
    if (!grid) return pass;
    if (wait_for([&] { return grid->isVisible() && grid->model()->rowCount() > 0 && grid->waitingInView() == 0; },
                 60000)) {
        grid->viewport()->repaint();
        pass.first_screen = timing.stop().first;
    }
    for (int row = 0; row < grid->model()->rowCount(); ++row)
        if (grid->visualRect(grid->model()->index(row, 0)).intersects(grid->viewport()->rect())) ++pass.on_screen;
    if (wait_for([&] { return grid->waiting() == 0; }, 30 * 60000)) {
        grid->viewport()->repaint();
        pass.everything = timing.stop().first;
    }
    window->reject();
    return pass;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (const int unavailable = viewer_bench::ensure_display(argc, argv)) return unavailable;
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    const char* tmp = std::getenv("TMPDIR");
    const QString photos =
        argc > 2 ? QString::fromLocal8Bit(argv[2])
                 : QFile::decodeName(tmp && *tmp ? tmp : "/tmp") + QStringLiteral("/zarn-grid-bench-%1").arg(count);
    // The thumbnail cache, settings and the preview file go to a scratch
    // folder, never the user's own.
    QTemporaryDir scratch;
    if (!scratch.isValid()) return 1;
    viewer_bench::use_scratch_folders(scratch);
    // A third argument names a thumbnail cache to use and keep instead.
    const QString cache = argc > 3 ? QString::fromLocal8Bit(argv[3]) : scratch.path() + QStringLiteral("/cache");
    ::setenv("XDG_CACHE_HOME", QFile::encodeName(cache).constData(), 1);
    QApplication app(argc, argv);
    std::printf("photographs: %d of %dx%d in %s\n", count, kWidth, kHeight, qPrintable(photos));
    if (!make_photos(photos, count)) {
        std::fprintf(stderr, "could not write the photographs\n");
        return 1;
    }
    {
        // A wide window, its side mostly the grid's: four columns of cells.
        SettingsStore settings(QStringLiteral("Browser"));
        settings.setNumber(QStringLiteral("Grid"), 1);
        settings.setNumber(QStringLiteral("WindowWidth"), 1270);
        settings.setNumber(QStringLiteral("WindowHeight"), 560);
        settings.setNumber(QStringLiteral("TreeWidth"), 140);
        settings.setNumber(QStringLiteral("ListWidth"), 600);
        settings.sync();
    }

    const Pass cold = open_grid(photos);
    const Pass warm = open_grid(photos);
    std::printf("cells on screen: %d\n", cold.on_screen);
    std::printf("cold cache: first screen %.0f ms (target 1000), all %d cached and drawn %.0f ms\n", cold.first_screen,
                count, cold.everything);
    std::printf("warm cache: first screen %.0f ms, all %d drawn %.0f ms (target 100)\n", warm.first_screen, count,
                warm.everything);
    return cold.first_screen >= 0 && warm.everything >= 0 ? 0 : 1;
}
