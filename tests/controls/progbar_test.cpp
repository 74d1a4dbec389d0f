// TProgbar: level limits, the filled pixels, incremental painting and border colours.
#include "progbar.h"
#include "ui_test_env.h"

#include <gtest/gtest.h>

#include <QPaintEvent>
#include <QTest>

#include <vector>

namespace {

using zarn::test::grabbed;
using zarn::test::pixel;

const QColor kPen(200, 30, 30);
const QColor kBack(20, 160, 40);

// Records the area of every paint the bar receives.
class PaintLog : public QObject {
public:
    std::vector<QRect> rects;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) rects.push_back(static_cast<QPaintEvent*>(event)->rect());
        return false;
    }
};

struct Bar {
    QWidget window;
    TProgbar* bar = new TProgbar(&window);
    Bar(int w, int h)
    {
        window.resize(w + 20, h + 20);
        bar->setGeometry(10, 10, w, h);
        bar->setPenColor(kPen);
        bar->setColor(kBack);
    }
};

TEST(Progbar, LevelIsLimitedToZeroToHundred)
{
    TProgbar bar;
    bar.setLevel(150);
    EXPECT_EQ(bar.Level(), 100);
    bar.setLevel(-5);
    EXPECT_EQ(bar.Level(), 0);
    bar.setLevel(42);
    EXPECT_EQ(bar.Level(), 42);
}

TEST(Progbar, HorizontalFillStopsBeforeTheLevelColumn)
{
    Bar fixture(101, 10);
    fixture.bar->setBorder(TProgbar::bNone);
    fixture.bar->setLevel(50);
    const QImage image = grabbed(*fixture.bar);
    for (int x = 1; x <= 49; ++x) EXPECT_EQ(pixel(image, x, 5), kPen) << "x " << x;
    for (int x = 50; x <= 99; ++x) EXPECT_EQ(pixel(image, x, 5), kBack) << "x " << x;
    // Rows 1 to H-2 only: the border's rows stay unpainted by the fill.
    EXPECT_EQ(pixel(image, 10, 1), kPen);
    EXPECT_EQ(pixel(image, 10, 8), kPen);
}

TEST(Progbar, VerticalFillRisesFromTheBottom)
{
    Bar fixture(10, 101);
    fixture.bar->setBorder(TProgbar::bNone);
    fixture.bar->setHorizontal(false);
    fixture.bar->setLevel(50);
    const QImage image = grabbed(*fixture.bar);
    // a = 101 - 100 * 50 / 100 = 51: colour above, pen from 51 down to 99.
    EXPECT_EQ(pixel(image, 5, 1), kBack);
    EXPECT_EQ(pixel(image, 5, 50), kBack);
    EXPECT_EQ(pixel(image, 5, 51), kPen);
    EXPECT_EQ(pixel(image, 5, 99), kPen);
}

TEST(Progbar, RisingPaintsOnlyTheNewStripAndFallingRepaintsAll)
{
    Bar fixture(101, 12);
    ASSERT_TRUE(zarn::test::showAndWait(fixture.window));
    fixture.bar->setLevel(20);
    PaintLog log;
    fixture.bar->installEventFilter(&log);

    fixture.bar->setLevel(60);  // painted at once, no event loop needed
    ASSERT_EQ(log.rects.size(), 1u);
    EXPECT_EQ(log.rects[0], QRect(20, 1, 40, 10));  // x 20 to 60, y 1 to H-1

    log.rects.clear();
    fixture.bar->setLevel(30);
    ASSERT_EQ(log.rects.size(), 1u);
    EXPECT_EQ(log.rects[0], fixture.bar->rect());

    log.rects.clear();
    fixture.bar->setLevel(30);  // unchanged: nothing
    fixture.bar->setLevel(100);
    fixture.bar->setLevel(120);  // limited to the level it has: nothing
    EXPECT_EQ(log.rects.size(), 1u);
}

TEST(Progbar, VerticalRiseStripRunsBetweenTheTwoLevels)
{
    Bar fixture(12, 101);
    fixture.bar->setHorizontal(false);
    ASSERT_TRUE(zarn::test::showAndWait(fixture.window));
    fixture.bar->setLevel(10);
    PaintLog log;
    fixture.bar->installEventFilter(&log);
    fixture.bar->setLevel(40);
    ASSERT_EQ(log.rects.size(), 1u);
    EXPECT_EQ(log.rects[0], QRect(1, 101 - 40, 10, 30));
}

TEST(Progbar, EachBorderStyleDrawsItsColours)
{
    Bar fixture(40, 10);
    fixture.bar->setLevel(50);
    const QColor light = fixture.bar->palette().color(QPalette::Light);
    const QColor dark = fixture.bar->palette().color(QPalette::Shadow);
    ASSERT_NE(light, dark);
    struct Case {
        TProgbar::BorderStyle style;
        QColor first, second;
    };
    for (const Case& c :
         {Case{TProgbar::bRaised, light, dark}, Case{TProgbar::bLowered, dark, light},
          Case{TProgbar::bBody, kPen, kPen}, Case{TProgbar::bDark, dark, dark}, Case{TProgbar::bLight, light, light}}) {
        fixture.bar->setBorder(c.style);
        const QImage image = grabbed(*fixture.bar);
        SCOPED_TRACE(int(c.style));
        const QRgb first = c.first.rgb(), second = c.second.rgb();
        EXPECT_EQ(image.pixel(0, 5), first);    // left
        EXPECT_EQ(image.pixel(0, 9), first);    // bottom-left corner belongs to the left side
        EXPECT_EQ(image.pixel(20, 0), first);   // top
        EXPECT_EQ(image.pixel(39, 0), second);  // top-right corner belongs to the right side
        EXPECT_EQ(image.pixel(39, 5), second);  // right
        EXPECT_EQ(image.pixel(20, 9), second);  // bottom
    }
    // Without a border the edge shows whatever is behind the bar.
    fixture.bar->setBorder(TProgbar::bNone);
    const QRgb behind = fixture.window.palette().color(QPalette::Window).rgb();
    EXPECT_EQ(grabbed(fixture.window).pixel(10, 15), behind);
    EXPECT_EQ(pixel(grabbed(fixture.window), 10 + 10, 10 + 5), kPen);
}

}  // namespace
