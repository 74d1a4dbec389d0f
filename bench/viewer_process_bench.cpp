// A processing command in the viewer, from ProcessImage to the new picture painted, against the library's
// _bmprocess alone on the same 16-megapixel picture. Runs in a scratch folder; without a display it reruns
// itself under xvfb-run. An optional argument picks the processing code (default 8, brightness up).
#include "Unit1.h"
#include "bmp_picture.h"
#include "picturebox.h"
#include "viewer_bench_support.h"
#include "zarngfx.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

using viewer_bench::median;
using viewer_bench::Timing;

constexpr int kWidth = 4608, kHeight = 3456;  // 16 megapixels
constexpr int kRuns = 5;

}  // namespace

int main(int argc, char* argv[])
{
    if (const int unavailable = viewer_bench::ensure_display(argc, argv)) return unavailable;
    const int code = argc > 1 ? std::atoi(argv[1]) : 8;
    QTemporaryDir scratch;
    if (!scratch.isValid()) return 1;
    viewer_bench::use_scratch_folders(scratch);
    QApplication app(argc, argv);

    const QString input = scratch.path() + "/picture.bmp";
    {
        QImage picture(kWidth, kHeight, QImage::Format_RGB888);
        for (int y = 0; y < kHeight; ++y) {
            uchar* row = picture.scanLine(y);
            for (int x = 0; x < kWidth; ++x) {
                row[3 * x] = uchar(x);
                row[3 * x + 1] = uchar(y);
                row[3 * x + 2] = uchar(x ^ y);
            }
        }
        if (!picture.save(input, "BMP")) return 1;
    }
    const QString reference = scratch.path() + "/reference.bmp";
    if (!QFile::copy(input, reference)) return 1;
    const QByteArray reference_path = QFile::encodeName(reference);

    TForm1 form;
    if (std::getenv("ZARN_BENCH_NO_PROGRESS")) form.Settings.Progress = false;
    auto* picture = form.findChild<TPictureBox*>(QStringLiteral("Image1"));
    form.LoadImage(input);
    if (form.windowTitle() != QStringLiteral("Show - picture.bmp")) return 1;
    while (picture->paintCount() == 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    // The two take turns, so a busy machine slows both alike.
    std::vector<double> library, library_cpu, window, window_cpu, reading, painting;
    QImage held = controls::readBmpPicture(form.WorkingFile);
    for (int run = 0; run <= kRuns; ++run) {
        PicImage pic{};
        const Timing processing;
        _bmprocess(reference_path.constData(), reference_path.constData(), &pic, code);
        const auto [wall, cpu] = processing.stop();

        const quint64 painted = picture->paintCount();
        const Timing clicking;
        form.ProcessImage(code);
        while (picture->paintCount() == painted) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const auto [window_wall, window_used] = clicking.stop();
        if (run == 0) continue;  // the first run warms the caches
        library.push_back(wall);
        library_cpu.push_back(cpu);
        window.push_back(window_wall);
        window_cpu.push_back(window_used);

        // The reading as ProcessImage does it: into the picture it replaces.
        const Timing read;
        held = controls::readBmpPicture(form.WorkingFile, &held);
        if (held.isNull()) return 1;
        reading.push_back(read.stop().second);
        const Timing paint;
        picture->repaint();
        painting.push_back(paint.stop().second);
    }
    form.closeWithoutAsking();  // the processed picture is no change to keep

    std::printf("16-megapixel 24-bit BMP (%dx%d), code %d, median of %d runs    wall ms    cpu ms\n", kWidth, kHeight,
                code, kRuns);
    std::printf("  _bmprocess alone:                     %8.1f  %8.1f\n", median(library), median(library_cpu));
    std::printf("  ProcessImage to picture painted:      %8.1f  %8.1f\n", median(window), median(window_cpu));
    std::printf("    of which reading the working file:            %8.1f\n", median(reading));
    std::printf("    of which painting the picture:                %8.1f\n", median(painting));
    std::printf("  ratio window / library:               %8.2f  %8.2f   (budget 1.30)\n",
                median(window) / median(library), median(window_cpu) / median(library_cpu));
    return 0;
}
