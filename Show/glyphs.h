// The pictures on the toolbar buttons: the icon theme's where one fits, else our own drawn in code.
#pragma once

#include <QPixmap>

namespace show {

enum class Glyph {
    MainMenu, Open, Browse, SaveAs, Slideshow, FullScreen, FullHalf, Copy, EditDisplayed, Print, Resize,
    ImageProcessing, Twain, SideToolbar,
    SwitchSides, Sharpness, Brightness, Contrast, Red, Green, Blue, Equalise, Effects, PhotoAdjust,
};

// 16 by 16 for the top toolbar; the side toolbar's 26 by 18 (10 by 10 for
// "Switch Sides") are always our own, since they carry the rocker's halves.
QPixmap glyph(Glyph which);

}  // namespace show
