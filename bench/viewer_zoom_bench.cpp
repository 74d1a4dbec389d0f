// Zoom steps on a fitted 16-megapixel picture (1/16 to 8): time from each zoom change to the picture control painted,
// and the area-averaging reduction alone against Qt's smooth scaling. Without a display it reruns itself under
// xvfb-run.
#include "area_scale.h"
#include "picturebox.h"
#include "viewer_bench_support.h"

#include <QApplication>
#include <QImage>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using viewer_bench::median;

constexpr int kWidth = 4608, kHeight = 3456;  // 16 megapixels
constexpr int kRuns = 5;
// The screen of xvfb-run's 1280x1024 less the window's margins.
constexpr int kViewWidth = 1244, kViewHeight = 960;

double time_ms(const std::function<void()>& work)
{
    viewer_bench::Timing timing;
    work();
    return timing.stop().first;
}

void print_times(const char* name, const std::vector<double>& times)
{
    std::printf("%-34s median %7.2f ms  worst %7.2f ms  (%zu)\n", name, median(times),
                *std::max_element(times.begin(), times.end()), times.size());
}

// Waits until `box` has painted since it had painted `painted` times; a
// minute without one is a failure of the benchmark itself.
void wait_for_paint(const TPictureBox& box, quint64 painted)
{
    viewer_bench::Timing waited;
    while (box.paintCount() == painted) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (waited.stop().first > 60000) {
            std::fprintf(stderr, "the picture was never painted\n");
            std::exit(1);
        }
    }
}

// Sets the zoom and the size the window would give the control, keeps the
// view's centre where it was, and waits until the control has painted.
double zoom_step(QScrollArea& area, TPictureBox& box, qreal zoom)
{
    const quint64 painted = box.paintCount();
    return time_ms([&] {
        const QSize old_size = box.size();
        const double cx = (area.horizontalScrollBar()->value() + area.viewport()->width() / 2.0) / old_size.width();
        const double cy = (area.verticalScrollBar()->value() + area.viewport()->height() / 2.0) / old_size.height();
        box.setZoom(zoom);
        const QSize size = box.sizeForZoom(zoom);
        box.resize(size);
        area.horizontalScrollBar()->setValue(int(cx * size.width() - area.viewport()->width() / 2.0));
        area.verticalScrollBar()->setValue(int(cy * size.height() - area.viewport()->height() / 2.0));
        wait_for_paint(box, painted);
    });
}

}  // namespace

int main(int argc, char* argv[])
{
    if (const int unavailable = viewer_bench::ensure_display(argc, argv)) return unavailable;
    QTemporaryDir scratch;
    if (!scratch.isValid()) return 1;
    viewer_bench::use_scratch_folders(scratch);
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    // In the form the viewer reads its working file into.
    const QImage picture = viewer_bench::photo_like(kWidth, kHeight, QImage::Format_BGR888);
    const qreal fit = std::min(qreal(kViewWidth) / kWidth, qreal(kViewHeight) / kHeight);
    const QSize fitted(int(kWidth * fit + 0.5), int(kHeight * fit + 0.5));
    std::printf("%dx%d picture, fitted %dx%d in a %dx%d view\n\n", kWidth, kHeight, fitted.width(), fitted.height(),
                kViewWidth, kViewHeight);

    // The reduction alone, whole picture to the fitted size.
    const QImage rgb32 = picture.convertToFormat(QImage::Format_RGB32);
    std::vector<double> ours_bgr, ours_rgb32, qt_bgr, qt_rgb32;
    for (int run = 0; run < kRuns; ++run) {
        ours_bgr.push_back(time_ms([&] { (void)controls::areaScaled(picture, fitted); }));
        ours_rgb32.push_back(time_ms([&] { (void)controls::areaScaled(rgb32, fitted); }));
        qt_bgr.push_back(
            time_ms([&] { (void)picture.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); }));
        qt_rgb32.push_back(
            time_ms([&] { (void)rgb32.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); }));
    }
    print_times("areaScaled, 24-bit source", ours_bgr);
    print_times("areaScaled, 32-bit source", ours_rgb32);
    print_times("QImage::scaled smooth, 24-bit", qt_bgr);
    print_times("QImage::scaled smooth, 32-bit", qt_rgb32);
    std::printf("\n");

    // The control in a scroll area the size of the fitted window's view.
    QScrollArea area;
    area.setFrameShape(QFrame::NoFrame);
    area.setAlignment(Qt::AlignCenter);
    area.resize(kViewWidth, kViewHeight);
    auto* box = new TPictureBox;
    area.setWidget(box);
    area.show();
    std::vector<double> first;
    for (int run = 0; run < kRuns; ++run) {
        const quint64 painted = box->paintCount();
        QImage next = picture.copy();  // a picture the control has not seen
        first.push_back(time_ms([&] {
            box->setPicture(next);
            box->setZoom(fit);
            box->resize(box->sizeForZoom(fit));
            wait_for_paint(*box, painted);
        }));
    }
    print_times("new picture, fitted first paint", first);

    // Up through the steps and back down, five times over: every step
    // changes the zoom, so every one paints.
    const std::vector<qreal> steps{1.0 / 16, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1.0, 1.5, 2, 3, 8};
    std::vector<std::vector<double>> times(steps.size());
    for (int run = 0; run < kRuns; ++run) {
        for (std::size_t i = run == 0 ? 0 : 1; i < steps.size(); ++i)
            times[i].push_back(zoom_step(area, *box, steps[i]));
        for (std::size_t i = steps.size() - 1; i-- > 0;) times[i].push_back(zoom_step(area, *box, steps[i]));
    }
    std::vector<double> reduced, enlarged;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "zoom step to %.1f%%", steps[i] * 100);
        print_times(name, times[i]);
        std::vector<double>& group = steps[i] <= 1 ? reduced : enlarged;
        group.insert(group.end(), times[i].begin(), times[i].end());
    }
    print_times("every step from 6.2% to 100%", reduced);
    print_times("every step above 100%", enlarged);
    std::printf("target: at most 16 ms a step\n");
    return 0;
}
