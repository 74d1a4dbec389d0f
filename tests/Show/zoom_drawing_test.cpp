// TPictureBox at any zoom: area averaged below full size, square pixels when enlarged, a preview in the full geometry.
#include "picturebox.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace zarn::test;

// One-pixel squares of black and white: any sampling shows black or white,
// only an average shows grey.
QImage checkerboard(int width, int height)
{
    QImage picture(width, height, QImage::Format_Mono);
    picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, uint((x + y) % 2));
    return picture;
}

// The control as drawn at `zoom`, sized as the window sizes it.
QImage drawn_at(TPictureBox& box, qreal zoom)
{
    box.setZoom(zoom);
    box.resize(box.sizeForZoom(zoom));
    return grabbed(box);
}

// The largest difference of any channel from `level` over the image.
int furthest_from(const QImage& image, int level)
{
    int furthest = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            furthest = std::max(
                {furthest, std::abs(qRed(c) - level), std::abs(qGreen(c) - level), std::abs(qBlue(c) - level)});
        }
    return furthest;
}

TEST(ZoomDrawing, ReducedPicturesAreAveragedAndEnlargedOnesShowSquarePixels)
{
    TPictureBox box;
    box.setPicture(checkerboard(96, 64));
    ASSERT_TRUE(showAndWait(box));
    QImage shown = drawn_at(box, 0.5);
    ASSERT_EQ(shown.size(), QSize(48, 32));
    EXPECT_LE(furthest_from(shown, 128), 1) << "half size shows the mean grey";
    EXPECT_EQ(drawn_at(box, 1.0), checkerboard(96, 64).convertToFormat(QImage::Format_RGB32))
        << "full size copies pixel for pixel";
    shown = drawn_at(box, 0.25);
    ASSERT_EQ(shown.size(), QSize(24, 16));
    EXPECT_LE(furthest_from(shown, 128), 1);
    // A column of white in every three: sampling at a third hits the same
    // column each time, the mean is a third of white.
    QImage stripes(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) stripes.setPixel(x, y, x % 3 == 0 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    box.setPicture(stripes);
    shown = drawn_at(box, 1.0 / 3);
    ASSERT_EQ(shown.size(), QSize(32, 21));
    EXPECT_LE(furthest_from(shown, 85), 1);

    // At 300% each picture pixel is a block of 3x3 screen pixels of its own colour.
    QImage tiny(2, 2, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    for (int i = 0; i < 4; ++i) tiny.setPixel(i % 2, i / 2, colours[i]);
    box.setPicture(tiny);
    shown = drawn_at(box, 3);
    ASSERT_EQ(shown.size(), QSize(6, 6));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(shown.pixel(x, y), colours[(y / 3) * 2 + x / 3]) << x << "," << y;
}

TEST(ZoomDrawing, APreviewDrawsIntoTheFullPicturesGeometry)
{
    // Smooth, so a reduced decode looks like the whole picture reduced.
    QImage full(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) full.setPixel(x, y, qRgb(x * 255 / 399, y * 255 / 299, (x + y) * 255 / 698));
    const QImage preview = full.scaled(200, 150, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    TPictureBox box;
    box.setPicture(preview, full.size());
    ASSERT_TRUE(showAndWait(box));
    EXPECT_TRUE(box.isPreview());
    for (const qreal zoom : {0.3, 0.5, 1.0}) {
        const QImage from_preview = drawn_at(box, zoom);
        box.setPicture(full);
        const QImage from_full = drawn_at(box, zoom);
        box.setPicture(preview, full.size());
        ASSERT_EQ(from_preview.size(), box.sizeForZoom(zoom));
        ASSERT_EQ(from_full.size(), from_preview.size());
        int furthest = 0;
        for (int y = 0; y < from_full.height(); ++y)
            for (int x = 0; x < from_full.width(); ++x) {
                const QRgb a = from_full.pixel(x, y), b = from_preview.pixel(x, y);
                furthest = std::max({furthest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                     std::abs(qBlue(a) - qBlue(b))});
            }
        EXPECT_LE(furthest, 4) << "at zoom " << zoom << " the preview is no shifted or scaled copy";
    }
}

}  // namespace
