// TRuler and TGraphPaper: refused property values and the pixels of ticks, numbers, lines and border.
#include "GraphP.h"
#include "ruler.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

namespace {

using zarn::test::grabbed;
using zarn::test::pixel;

const QColor kPen(200, 30, 30);
const QColor kShadow(30, 30, 200);
const QColor kLegend(20, 140, 20);
const QColor kBack(240, 240, 200);

// The rows from the top edge down that show `colour` in column x.
int run_length(const QImage& image, int x, const QColor& colour)
{
    int y = 0;
    while (y < image.height() && pixel(image, x, y) == colour) ++y;
    return y;
}

bool any_pixel(const QImage& image, const QRect& area, const QColor& colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (pixel(image, x, y) == colour) return true;
    return false;
}

struct PlainRuler {
    TRuler ruler;
    PlainRuler()
    {
        ruler.resize(200, 40);
        ruler.setPenColor(kPen);
        ruler.setShadowColor(kShadow);
        ruler.setLegendColor(kLegend);
        ruler.setColor(kBack);
    }
};

TEST(Ruler, ValuesBelowTheLimitsLeaveTheOldOnes)
{
    TRuler ruler;
    EXPECT_EQ(ruler.TickSpacing(), 10);
    ruler.setTickSpacing(1);
    ruler.setTickSpacing(0);
    EXPECT_EQ(ruler.TickSpacing(), 10);
    ruler.setTickSpacing(2);
    EXPECT_EQ(ruler.TickSpacing(), 2);
    ruler.setStart(-5);
    EXPECT_EQ(ruler.Start(), 0);
    ruler.setEnd(-3);
    EXPECT_EQ(ruler.End(), -3);
    for (auto setter :
         {&TRuler::setBigTicks, &TRuler::setMidTicks, &TRuler::setTickSize, &TRuler::setBigSize, &TRuler::setMidSize})
        (ruler.*setter)(1);
    EXPECT_EQ(ruler.BigTicks(), 10);
    EXPECT_EQ(ruler.MidTicks(), 5);
    EXPECT_EQ(ruler.TickSize(), 10);
    EXPECT_EQ(ruler.BigSize(), 15);
    EXPECT_EQ(ruler.MidSize(), 10);

    TGraphPaper paper;
    paper.setStart(-1);
    paper.setTickSpacing(1);
    paper.setMidSpacing(0);
    EXPECT_EQ(paper.Start(), 0);
    EXPECT_EQ(paper.TickSpacing(), 10);
    EXPECT_EQ(paper.MidSpacing(), 10);
}

TEST(Ruler, TicksAreEtchedAndMidTicksNeedTheirOwnLength)
{
    PlainRuler fixture;
    TRuler& ruler = fixture.ruler;
    ruler.setLegend(false);
    ruler.setTickSize(5);  // mid ticks of 10 every 50, big of 15 every 100
    QImage image = grabbed(ruler);
    EXPECT_EQ(run_length(image, 10, kPen), 5);
    EXPECT_EQ(run_length(image, 11, kShadow), 5);
    EXPECT_EQ(pixel(image, 12, 0), kBack);
    EXPECT_EQ(run_length(image, 50, kPen), 10);
    EXPECT_EQ(run_length(image, 100, kPen), 15);
    EXPECT_EQ(run_length(image, 101, kShadow), 15);

    ruler.setMidSize(5);  // no longer than a small tick: none drawn
    image = grabbed(ruler);
    EXPECT_EQ(run_length(image, 50, kPen), 5);
    EXPECT_EQ(run_length(image, 100, kPen), 15);

    // Ticks stop before W - End - 1: the one at 190 goes with End 10.
    EXPECT_EQ(run_length(image, 190, kPen), 5);
    ruler.setEnd(10);
    EXPECT_EQ(run_length(grabbed(ruler), 190, kPen), 0);
}

TEST(Ruler, NumbersSitBelowTheBigTicksEvenWithoutThem)
{
    PlainRuler fixture;
    TRuler& ruler = fixture.ruler;
    ruler.setStart(20);
    ruler.setTickSize(15);  // as long as the big ticks: those are not drawn
    const QImage image = grabbed(ruler);
    EXPECT_EQ(run_length(image, 20, kPen), 15);
    EXPECT_EQ(run_length(image, 120, kPen), 15);
    // "0" under x = 20 and "1" under x = 120, centred, from y = BigSize down.
    EXPECT_TRUE(any_pixel(image, QRect(16, 15, 9, 15), kLegend));
    EXPECT_TRUE(any_pixel(image, QRect(116, 15, 9, 15), kLegend));
    EXPECT_FALSE(any_pixel(image, QRect(0, 0, 200, 15), kLegend));
    EXPECT_FALSE(any_pixel(image, QRect(40, 15, 60, 25), kLegend));

    // Vertical: the same from the left edge, the numbers from x = BigSize.
    ruler.setHorizontal(false);
    ruler.resize(40, 200);
    const QImage vertical = grabbed(ruler);
    EXPECT_EQ(pixel(vertical, 14, 20), kPen);
    EXPECT_EQ(pixel(vertical, 14, 21), kShadow);
    EXPECT_EQ(pixel(vertical, 15, 30), kBack);
    EXPECT_TRUE(any_pixel(vertical, QRect(15, 112, 20, 16), kLegend));
}

TEST(GraphPaper, EqualSpacingsDrawOnlyMainLinesAndBorder)
{
    const QColor main(200, 0, 0), fine(0, 160, 0), border(0, 0, 200), back(Qt::white);
    TGraphPaper paper;
    paper.resize(101, 81);
    paper.setColor(back);
    paper.setPenColor(main);
    paper.setMidColor(fine);
    paper.setBorderColor(border);
    paper.setTickSpacing(20);
    paper.setMidSpacing(20);
    QImage image = grabbed(paper);
    EXPECT_FALSE(any_pixel(image, image.rect(), fine));
    EXPECT_EQ(pixel(image, 20, 50), main);
    EXPECT_EQ(pixel(image, 50, 40), main);
    EXPECT_EQ(pixel(image, 10, 50), back);
    for (const QPoint at : {QPoint(0, 50), QPoint(100, 50), QPoint(50, 0), QPoint(50, 80), QPoint(100, 80)})
        EXPECT_EQ(pixel(image, at.x(), at.y()), border) << at.x() << "," << at.y();

    paper.setMidSpacing(5);
    paper.setStart(10);
    paper.setEnd(10);
    image = grabbed(paper);
    EXPECT_EQ(pixel(image, 15, 47), fine);
    EXPECT_EQ(pixel(image, 30, 47), main);
    EXPECT_EQ(pixel(image, 10, 47), border);
    EXPECT_EQ(pixel(image, 90, 47), border);  // W - End - 1
    EXPECT_EQ(pixel(image, 52, 70), border);  // H - End - 1
    EXPECT_EQ(pixel(image, 95, 47), back);
    EXPECT_EQ(pixel(image, 5, 5), back);
}

}  // namespace
