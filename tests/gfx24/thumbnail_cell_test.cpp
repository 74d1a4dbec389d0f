// The grid's own decoding of cache entries: every kind of PNG a peer writes lands in its cell as Qt reads it, and
// damaged bytes give no cell.
#include "test_support.h"
#include "thumbnail_cell.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace zarn::test;

constexpr int kSide = 48, kWidth = 37, kHeight = 23;

std::string folder(const std::string& name)
{
    const std::string path = temp_path(name) + "/";
    QDir().mkpath(QString::fromStdString(path));
    return path;
}

QByteArray read_all(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A picture with edges, gradients and partial transparency, so each filter
// and the alpha's premultiplying show.
std::string write_source(const std::string& folder)
{
    QImage picture(kWidth, kHeight, QImage::Format_ARGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.setPixel(
                x, y, qRgba((x * 7 + y * 3) & 255, (x * y * 13) & 255, x < 18 ? 40 : 220, y < 6 ? 255 : 60 + 8 * y));
    const std::string path = folder + "source.png";
    EXPECT_TRUE(picture.save(QString::fromStdString(path)));
    return path;
}

// The largest difference of one channel between the cell and the file as
// Qt reads it, centred in a transparent square.
int difference_from_qt(const QImage& cell, const std::string& path)
{
    const QImage expected = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (cell.isNull() || expected.isNull() || cell.width() != kSide || cell.height() != kSide) return 1000;
    const int left = (kSide - expected.width()) / 2, top = (kSide - expected.height()) / 2;
    int largest = 0;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const bool inside = x >= left && y >= top && x < left + expected.width() && y < top + expected.height();
            const QRgb want = inside ? expected.pixel(x - left, y - top) : 0;
            const QRgb got = reinterpret_cast<const QRgb*>(cell.constScanLine(y))[x];
            for (const int shift : {0, 8, 16, 24})
                largest = std::max(largest, std::abs(int((want >> shift) & 255) - int((got >> shift) & 255)));
        }
    return largest;
}

TEST(ThumbnailCell, EveryKindAPeerWritesLandsInItsCellAsQtReadsIt)
{
    if (!have_program("pnmtopng") || !have_image_magick()) GTEST_SKIP() << "netpbm or ImageMagick is not installed";
    const std::string folder = ::folder("thumbnail_cell");
    const std::string source = write_source(folder);
    const QImage picture(QString::fromStdString(source));
    const std::string ppm = folder + "source.ppm", pgm = folder + "alpha.pgm";
    ASSERT_TRUE(picture.convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(ppm)));
    QImage alpha = picture.convertToFormat(QImage::Format_Alpha8);
    ASSERT_TRUE(alpha.reinterpretAsFormat(QImage::Format_Grayscale8));
    ASSERT_TRUE(alpha.save(QString::fromStdString(pgm)));
    // Each row filter alone, then alpha, interlace, 16-bit samples, grey and a palette.
    const std::vector<std::pair<std::string, std::string>> variants = {
        {"rgb-none", "pnmtopng -nofilter " + ppm},
        {"rgb-sub", "pnmtopng -sub " + ppm},
        {"rgb-up", "pnmtopng -up " + ppm},
        {"rgb-average", "pnmtopng -avg " + ppm},
        {"rgb-paeth", "pnmtopng -paeth " + ppm},
        {"rgba-paeth", "pnmtopng -paeth -alpha=" + pgm + " " + ppm},
        {"rgba-interlaced", "pnmtopng -interlace -alpha=" + pgm + " " + ppm},
        {"rgba-16", "convert " + source + " PNG64:-"},
        {"grey", "convert " + source + " -alpha off -colorspace Gray PNG:-"},
        {"palette", "convert " + source + " -colors 40 PNG8:-"},
    };
    for (const auto& [name, command] : variants) {
        const std::string path = folder + name + ".png";
        ASSERT_TRUE(make(command, path)) << name;
        // 16-bit samples round to eight a little differently in Qt.
        EXPECT_LE(difference_from_qt(gfx24::thumbnail_cell(read_all(path), kSide, 1), path), 1) << name;
    }

    // A picture larger than the cell is fitted inside it, its shape kept.
    const std::string large = folder + "large.png";
    ASSERT_TRUE(make("convert " + source + " -alpha off -resize 200% PNG24:-", large));
    const QImage fitted = gfx24::thumbnail_cell(read_all(large), kSide, 2);
    ASSERT_EQ(fitted.size(), QSize(kSide, kSide));
    EXPECT_EQ(fitted.devicePixelRatio(), 2);
    const int margin = (kSide - kSide * kHeight / kWidth) / 2;
    EXPECT_EQ(qAlpha(fitted.pixel(kSide / 2, margin - 2)), 0);
    EXPECT_EQ(qAlpha(fitted.pixel(kSide / 2, margin + 2)), 255);
}

TEST(ThumbnailCell, DamagedEntriesGiveNoCell)
{
    const std::string folder = ::folder("thumbnail_cell_damaged");
    const QImage picture(QString::fromStdString(write_source(folder)));
    // Qt writes RGB, which the grid reads itself, and a palette, which it
    // leaves to libpng; both are cut short and changed.
    for (const QImage::Format format : {QImage::Format_RGB888, QImage::Format_Indexed8}) {
        const QString path =
            QString::fromStdString(folder) + (format == QImage::Format_RGB888 ? "rgb.png" : "palette.png");
        ASSERT_TRUE(picture.convertToFormat(format).save(path));
        const QByteArray whole = read_all(path.toStdString());
        ASSERT_FALSE(gfx24::thumbnail_cell(whole, kSide, 1).isNull());
        // Only the closing chunk may be missing.
        for (qsizetype length = 0; length + 12 < whole.size(); ++length)
            EXPECT_TRUE(gfx24::thumbnail_cell(whole.left(length), kSide, 1).isNull()) << length;
        for (qsizetype at = 8; at < whole.size(); at += 5) {
            QByteArray changed = whole;
            changed[at] = char(changed[at] ^ 0x5A);
            const QImage cell = gfx24::thumbnail_cell(changed, kSide, 1);
            EXPECT_TRUE(cell.isNull() || cell.size() == QSize(kSide, kSide)) << at;
        }
    }
}

}  // namespace
