// The icon set: every toolbar button and every drawing shows a picture at single and double density, in full colour.
#include "artwork.h"
#include "glyphs.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QIcon>

namespace {

using namespace zarn::test;

// Drawn, and not in the washed-out grey of a disabled button: some of its
// pixels are dark ink or the accent's colour.
::testing::AssertionResult looks_enabled(const QPixmap& pixmap)
{
    if (pixmap.isNull()) return ::testing::AssertionFailure() << "no pixmap";
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0, inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = QColor::fromRgba(image.pixel(x, y));
            if (colour.alpha() < 128) continue;
            ++opaque;
            if (colour.value() < 90 || colour.hsvSaturation() > 120) ++inked;
        }
    }
    if (opaque == 0) return ::testing::AssertionFailure() << "transparent throughout";
    if (inked * 20 < opaque) return ::testing::AssertionFailure() << inked << " of " << opaque << " pixels inked";
    return ::testing::AssertionSuccess();
}

TEST(Icons, EveryToolbarButtonShowsItsPictureWithoutAnIconTheme)
{
    QIcon::setThemeSearchPaths({});
    QIcon::setThemeName(QString());
    TForm1 form;
    const QList<TMButton*> buttons = form.findChildren<TMButton*>();
    ASSERT_EQ(buttons.size(), 14 + 1 + 9);
    for (TMButton* button : buttons) EXPECT_TRUE(looks_enabled(button->Bitmap())) << button->objectName().toStdString();
    EXPECT_FALSE(form.windowIcon().isNull());

    // The same pictures for a screen of twice the density, at twice the pixels.
    for (int which = int(show::Glyph::MainMenu); which <= int(show::Glyph::PhotoAdjust); ++which) {
        const QPixmap single = show::glyph(show::Glyph(which), 1.0), twice = show::glyph(show::Glyph(which), 2.0);
        EXPECT_EQ(twice.size(), single.size() * 2) << which;
        EXPECT_EQ(twice.deviceIndependentSize(), single.deviceIndependentSize()) << which;
        EXPECT_TRUE(looks_enabled(twice)) << which;
    }
}

TEST(Icons, EveryDrawingRendersAtEverySizeAndDensity)
{
    const QStringList drawings = artwork::names();
    ASSERT_GE(drawings.size(), 40);
    for (const QString& name : drawings) {
        const QIcon icon = artwork::icon(name);
        for (const int side : {16, 24, 32}) {
            for (const qreal ratio : {1.0, 2.0}) {
                const QPixmap pixmap = icon.pixmap(QSize(side, side), ratio);
                EXPECT_EQ(pixmap.size(), QSize(side, side) * ratio) << name.toStdString();
                EXPECT_TRUE(looks_enabled(pixmap)) << name.toStdString() << " at " << side << "x" << ratio;
            }
        }
    }
    EXPECT_TRUE(artwork::icon(QStringLiteral("no-such-drawing")).isNull());
}

}  // namespace
