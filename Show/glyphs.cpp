// The toolbar pictures: which drawing of the icon set each button shows, at what size.
#include "glyphs.h"

#include "artwork.h"

namespace show {
namespace {

const char* drawing(Glyph which)
{
    switch (which) {
    case Glyph::MainMenu: return "menu";
    case Glyph::Open: return "open";
    case Glyph::Browse: return "browse";
    case Glyph::SaveAs: return "save-as";
    case Glyph::Slideshow: return "slideshow";
    case Glyph::FullScreen: return "full-screen";
    case Glyph::FullHalf: return "full-half";
    case Glyph::Copy: return "copy";
    case Glyph::EditDisplayed: return "edit";
    case Glyph::Print: return "print";
    case Glyph::Resize: return "resize";
    case Glyph::ImageProcessing: return "image-processing";
    case Glyph::Twain: return "scanner";
    case Glyph::SideToolbar: return "side-toolbar";
    case Glyph::SwitchSides: return "switch-sides";
    case Glyph::Sharpness: return "sharpness";
    case Glyph::Brightness: return "brightness";
    case Glyph::Contrast: return "contrast";
    case Glyph::Red: return "red";
    case Glyph::Green: return "green";
    case Glyph::Blue: return "blue";
    case Glyph::Equalise: return "equalise";
    case Glyph::Effects: return "effects";
    case Glyph::PhotoAdjust: return "photo-adjust";
    }
    return "menu";
}

}  // namespace

QPixmap glyph(Glyph which, qreal device_pixel_ratio)
{
    const QSize size = which == Glyph::SwitchSides  ? QSize(16, 10)
                       : which > Glyph::SwitchSides ? QSize(26, 18)
                                                    : QSize(16, 16);
    return artwork::pixmap(QLatin1String(drawing(which)), size, device_pixel_ratio);
}

}  // namespace show
