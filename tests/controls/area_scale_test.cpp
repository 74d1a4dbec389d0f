// areaScaled: every result pixel the mean of the area it covers, for each source format, whole or in parts.
#include "area_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The exact mean of the source area under result pixel (x, y), channel by
// channel, in floating point straight from the definition.
double covered_mean(const QImage& source, QSize target, int x, int y, int channel)
{
    const double sx = double(source.width()) / target.width(), sy = double(source.height()) / target.height();
    const double left = x * sx, right = (x + 1) * sx, top = y * sy, bottom = (y + 1) * sy;
    double sum = 0;
    for (int row = int(top); row < std::ceil(bottom) && row < source.height(); ++row)
        for (int column = int(left); column < std::ceil(right) && column < source.width(); ++column) {
            const double area = (std::min(right, column + 1.0) - std::max(left, double(column))) *
                                (std::min(bottom, row + 1.0) - std::max(top, double(row)));
            const QRgb c = source.pixel(column, row);
            sum += area * (channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c));
        }
    return sum / (sx * sy);
}

TEST(AreaScale, EveryFormatGivesTheMeanOfTheCoveredAreaWholeOrInParts)
{
    std::uint32_t seed = 7;
    QImage noise(37, 23, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            noise.setPixel(x, y, seed >> 8);
        }
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_BGR888, QImage::Format_RGB888, QImage::Format_Indexed8,
          QImage::Format_Grayscale8, QImage::Format_Mono, QImage::Format_RGB16}) {
        const QImage source = noise.convertToFormat(format);
        // Shrinking by uneven ratios, a size kept in one direction, and growing.
        for (const QSize target : {QSize(11, 7), QSize(37, 5), QSize(3, 1), QSize(50, 40)}) {
            const QImage result = controls::areaScaled(source, target);
            ASSERT_EQ(result.size(), target);
            ASSERT_EQ(result.format(), QImage::Format_RGB32);
            int furthest = 0;
            for (int y = 0; y < target.height(); ++y)
                for (int x = 0; x < target.width(); ++x) {
                    const QRgb c = result.pixel(x, y);
                    const int got[3] = {qRed(c), qGreen(c), qBlue(c)};
                    for (int channel = 0; channel < 3; ++channel)
                        furthest = std::max(
                            furthest,
                            int(std::lround(std::abs(got[channel] - covered_mean(source, target, x, y, channel)))));
                }
            EXPECT_LE(furthest, 1) << "format " << format << " to " << target.width() << "x" << target.height();

            // A part is the same pixels as the whole result, wherever it goes.
            QImage into(8, 8, QImage::Format_RGB32);
            into.fill(qRgb(1, 2, 3));
            const QRect part(target.width() / 3, target.height() / 3, 4, 3);
            ASSERT_TRUE(controls::areaScaledPart(source, target, part, into, QPoint(2, 1)));
            const QRect inside = part & QRect(QPoint(0, 0), target);
            for (int y = 0; y < inside.height(); ++y)
                for (int x = 0; x < inside.width(); ++x)
                    ASSERT_EQ(into.pixel(2 + x, 1 + y), result.pixel(inside.x() + x, inside.y() + y));
            EXPECT_EQ(into.pixel(0, 0), qRgb(1, 2, 3)) << "nothing outside the part is written";
        }
    }
}

TEST(AreaScale, AlphaIsAveragedPremultipliedAndBadRequestsAreRefused)
{
    // Half opaque red, half transparent: a half-transparent red, not a dark one.
    QImage half(10, 4, QImage::Format_ARGB32);
    half.fill(Qt::transparent);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) half.setPixel(x, y, qRgba(255, 0, 0, 255));
    const QImage mean = controls::areaScaled(half, QSize(1, 1));
    ASSERT_EQ(mean.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(qUnpremultiply(mean.pixel(0, 0)), qRgba(255, 0, 0, 128));

    EXPECT_TRUE(controls::areaScaled(QImage(), QSize(4, 4)).isNull());
    EXPECT_TRUE(controls::areaScaled(half, QSize(0, 3)).isNull());
    QImage small(2, 2, QImage::Format_ARGB32_Premultiplied);
    EXPECT_FALSE(controls::areaScaledPart(half, QSize(5, 2), QRect(0, 0, 5, 2), small, QPoint(0, 0)))
        << "a part larger than the room for it";
    EXPECT_FALSE(controls::areaScaledPart(half, QSize(2, 2), QRect(0, 0, 2, 2), small, QPoint(-1, 0)));
    QImage wrong(4, 4, QImage::Format_RGB32);
    EXPECT_FALSE(controls::areaScaledPart(half, QSize(2, 2), QRect(0, 0, 2, 2), wrong, QPoint(0, 0)))
        << "the result has the source's alpha";
}

}  // namespace
