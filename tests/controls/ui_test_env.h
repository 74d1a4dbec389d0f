// Widget tests: a private Xvfb display and one QApplication for the test program, and pixel helpers.
#pragma once

#include <QColor>
#include <QTest>
#include <QImage>
#include <QWidget>

namespace zarn::test {

// The widget as it is drawn, at one device pixel per logical pixel.
QImage grabbed(QWidget& widget);

// Shows a top-level widget and waits until the display has exposed it.
bool showAndWait(QWidget& widget);

inline QColor pixel(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

// Folder for artifacts kept after the run (screenshots), inside the build folder.
QString artifactDir();

}  // namespace zarn::test

// Waits for the window system with a deadline and fails the GoogleTest case
// when the condition never holds (Qt's QTRY_ macros report only inside
// QTest's own runner, so a failure there would pass here unseen).
#define ZARN_WAIT_TRUE(condition, ms) \
    EXPECT_TRUE(QTest::qWaitFor([&] { return bool(condition); }, ms)) << "waited for: " #condition
#define ZARN_WAIT_EQ(actual, expected, ms)                                       \
    do {                                                                         \
        (void)QTest::qWaitFor([&] { return bool((actual) == (expected)); }, ms); \
        EXPECT_EQ(actual, expected);                                             \
    } while (0)
