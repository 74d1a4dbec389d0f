// Widget tests: a private Xvfb display and one QApplication for the test program, and pixel helpers.
#pragma once

#include <QColor>
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
