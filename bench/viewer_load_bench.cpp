// The viewer's load, from LoadImage to the picture painted, against the library's conversion alone,
// for a 16-megapixel picture. Runs in a scratch folder; without a display it reruns itself under xvfb-run.
#include "Unit1.h"
#include "bmp_picture.h"
#include "picturebox.h"
#include "viewer_bench_support.h"
#include "zarngfx.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
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

constexpr int kSide = 4096;  // 16 megapixels
constexpr int kRuns = 5;

}  // namespace

int main(int argc, char* argv[])
{
    if (const int unavailable = viewer_bench::ensure_display(argc, argv)) return unavailable;
    // Settings, desktop entries and the working file go to a scratch folder,
    // never the user's own.
    QTemporaryDir scratch;
    if (!scratch.isValid()) return 1;
    viewer_bench::use_scratch_folders(scratch);
    QApplication app(argc, argv);

    const QString input = scratch.path() + "/picture.bmp";
    {
        QImage picture(kSide, kSide, QImage::Format_RGB888);
        for (int y = 0; y < kSide; ++y) {
            uchar* row = picture.scanLine(y);
            for (int x = 0; x < kSide; ++x) {
                row[3 * x] = uchar(x);
                row[3 * x + 1] = uchar(y);
                row[3 * x + 2] = uchar(x ^ y);
            }
        }
        if (!picture.save(input, "BMP")) return 1;
    }
    const QByteArray input_path = QFile::encodeName(input);
    const QByteArray output_path = QFile::encodeName(scratch.path() + "/converted.bmp");

    std::vector<double> conversion, conversion_cpu, window, window_cpu, decode;
    for (int run = 0; run < kRuns; ++run) {
        PicImage pic{};
        const Timing converting;
        if (!_anytobmps(input_path.constData(), output_path.constData(), &pic, 3, 0)) return 1;
        const auto [wall, cpu] = converting.stop();
        conversion.push_back(wall);
        conversion_cpu.push_back(cpu);

        const Timing reading;
        const QImage decoded = controls::readBmpPicture(QString::fromLocal8Bit(output_path));
        decode.push_back(reading.stop().second);
        if (decoded.isNull()) return 1;
    }

    TForm1 form;
    if (std::getenv("ZARN_BENCH_NO_PROGRESS")) form.Settings.Progress = false;
    auto* picture = form.findChild<TPictureBox*>(QStringLiteral("Image1"));
    for (int run = 0; run <= kRuns; ++run) {
        const quint64 painted = picture->paintCount();
        const Timing loading;
        form.LoadImage(input);
        while (picture->paintCount() == painted) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const auto [wall, cpu] = loading.stop();
        if (run > 0) {  // the first run also maps the window
            window.push_back(wall);
            window_cpu.push_back(cpu);
        }
        if (form.windowTitle() != QStringLiteral("Show - picture.bmp")) return 1;
    }
    form.close();

    std::printf("16-megapixel 24-bit BMP, median of %d runs      wall ms    cpu ms\n", kRuns);
    std::printf("  _anytobmps alone:                     %8.1f  %8.1f\n", median(conversion), median(conversion_cpu));
    std::printf("  LoadImage to picture painted:         %8.1f  %8.1f\n", median(window), median(window_cpu));
    std::printf("    of which reading the working file:            %8.1f\n", median(decode));
    std::printf("  ratio window / conversion:            %8.2f  %8.2f   (budget 1.50)\n",
                median(window) / median(conversion), median(window_cpu) / median(conversion_cpu));
    return 0;
}
