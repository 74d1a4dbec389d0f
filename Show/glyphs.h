// The pictures on the viewer's toolbar buttons, drawn from the program's own icon set.
#pragma once

#include <QPixmap>

namespace show {

enum class Glyph {
    MainMenu,
    Open,
    Browse,
    SaveAs,
    Slideshow,
    FullScreen,
    FullHalf,
    Copy,
    EditDisplayed,
    Print,
    Resize,
    ImageProcessing,
    Twain,
    SideToolbar,
    SwitchSides,
    Sharpness,
    Brightness,
    Contrast,
    Red,
    Green,
    Blue,
    Equalise,
    Effects,
    PhotoAdjust,
};

// 16 by 16 for the top toolbar; 26 by 18 for the side toolbar (16 by 10 for
// "Switch Sides"), whose rockers carry "-" and "+" on their halves. Drawn at
// `device_pixel_ratio` real pixels per pixel, so it is sharp on any screen.
QPixmap glyph(Glyph which, qreal device_pixel_ratio = 1.0);

}  // namespace show
