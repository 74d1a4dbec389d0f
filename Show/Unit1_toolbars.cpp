// TForm1: the menus and the two toolbars wired to their commands, and which side the side toolbar sits on.
#include "Unit1.h"

#include "artwork.h"
#include "glyphs.h"
#include "mbutton.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QMenu>

namespace {

using show::Glyph;

struct ButtonSpec {
    const char* name;
    const char* hint;
    Glyph glyph;
};

constexpr ButtonSpec kTopButtons[] = {
    {"MButton1", "Main Menu", Glyph::MainMenu},
    {"MButton2", "Open Image File", Glyph::Open},
    {"MButton3", "Browse Images", Glyph::Browse},
    {"MButton4", "Save Image As...", Glyph::SaveAs},
    {"MButton5", "Slideshow", Glyph::Slideshow},
    {"MButton6", "Show Full Screen", Glyph::FullScreen},
    {"MButton7", "Full/Half size", Glyph::FullHalf},
    {"MButton8", "Copy Image to Clipboard", Glyph::Copy},
    {"MButton9", "Edit Displayed Image", Glyph::EditDisplayed},
    {"MButton10", "Print Displayed Image", Glyph::Print},
    {"MButton11", "Resize", Glyph::Resize},
    {"MButton12", "Image Processing", Glyph::ImageProcessing},
    {"MButton13", "Twain", Glyph::Twain},
    {"MButton14", "24bit Toolbar", Glyph::SideToolbar},
};

// Below "Switch Sides"; the first six are rockers.
constexpr ButtonSpec kSideButtons[] = {
    {"MButton17", "Sharpness", Glyph::Sharpness},
    {"MButton18", "Brightness", Glyph::Brightness},
    {"MButton21", "Contrast", Glyph::Contrast},
    {"MButton24", "Red Channel", Glyph::Red},
    {"MButton27", "Green Channel", Glyph::Green},
    {"MButton30", "Blue Channel", Glyph::Blue},
    {"MButton31", "Equalise Colour Range", Glyph::Equalise},
    {"MButton32", "Special Effects", Glyph::Effects},
    {"MButton33", "Photo Adjustment", Glyph::PhotoAdjust},
};

// Adds an item named `name` that runs `handler`.
template <class Handler>
QAction* add_item(QMenu* menu, const char* caption, const char* name, TForm1* form, Handler handler)
{
    QAction* item = menu->addAction(QString::fromLatin1(caption));
    item->setObjectName(QLatin1String(name));
    QObject::connect(item, &QAction::triggered, form, handler);
    return item;
}

// "Convert to 256 Colour" with its two reductions; returns the submenu's own item.
QAction* colour_menu(QMenu* parent, TForm1* form)
{
    QMenu* menu = parent->addMenu(QStringLiteral("Convert to 256 Colour"));
    menu->menuAction()->setObjectName(QStringLiteral("colour256"));
    add_item(menu, "Ordered Dither", "ordered256", form, &TForm1::ordered256Click);
    add_item(menu, "Error Diffused", "to256", form, &TForm1::to256Click);
    return menu->menuAction();
}

}  // namespace

void TForm1::create_menus()
{
    PopupMenu1 = new QMenu(this);
    QAction* crop = PopupMenu1->addAction(QStringLiteral("Crop to Selection"));
    crop->setObjectName(QStringLiteral("crop"));
    crop->setVisible(false);
    add_item(PopupMenu1, "&Open New Image", "Open", this, &TForm1::OpenClick);
    add_item(PopupMenu1, "&Browse", "browse", this, &TForm1::browseClick);
    add_item(PopupMenu1, "Slideshow", "slide", this, &TForm1::slideClick);
    popup_items_.loadclip = add_item(PopupMenu1, "Load from Clipboard", "loadclip", this, &TForm1::loadclipClick);
    QMenu* twain = PopupMenu1->addMenu(QStringLiteral("Twain"));
    add_item(twain, "Select Source", "select", this, &TForm1::selectClick);
    add_item(twain, "Acquire", "acquire", this, &TForm1::acquireClick);
    add_item(twain, "Acquire to Clipboard", "scan", this, &TForm1::scanClick);
    QMenu* image = PopupMenu1->addMenu(QStringLiteral("Image"));
    add_item(image, "Resize", "resize", this, &TForm1::resizeClick);
    popup_items_.expand24 = add_item(image, "Convert to 24bit", "expand24", this, &TForm1::expand24Click);
    popup_items_.togrey = add_item(image, "Convert to &Greyscale", "togrey", this, &TForm1::togreyClick);
    popup_items_.mono = add_item(image, "Convert to Monochrome", "mono", this, &TForm1::monoClick);
    popup_items_.colour256 = colour_menu(image, this);
    popup_items_.rotate = add_item(image, "&Rotate 90 degrees", "rotate", this, &TForm1::rotateClick);
    popup_items_.invertmono = add_item(image, "Invert Monochrome", "invertmono", this, &TForm1::invertmonoClick);
    add_item(image, "Update ", "reload", this, &TForm1::reloadClick);
    QMenu* edit = PopupMenu1->addMenu(QStringLiteral("&Edit"));
    popup_items_.editasbmp = add_item(edit, "Displayed Image", "editasbmp", this, &TForm1::editasbmpClick);
    popup_items_.edit = add_item(edit, "Edit Image", "edit", this, &TForm1::editClick);
    popup_items_.editwith = add_item(edit, "Original  Image with...", "editwith", this, &TForm1::editwithClick);
    popup_items_.seledit = add_item(edit, "Select Editor", "seledit", this, &TForm1::seleditClick);
    add_item(PopupMenu1, "&Copy to Clipboard", "copy", this, &TForm1::copyClick);
    add_item(PopupMenu1, "&Save", "save1", this, &TForm1::save1Click);
    add_item(PopupMenu1, "&Print", "print", this, &TForm1::printClick);
    PopupMenu1->addSeparator();
    add_item(PopupMenu1, "&Top Toolbar On/Off", "TopBar", this, &TForm1::TopBarClick);
    add_item(PopupMenu1, "&Lower Toolbar On/Off", "SideBar", this, &TForm1::SideBarClick);
    add_item(PopupMenu1, "&Preferences ", "xprefs", this, &TForm1::xprefsClick);
    PopupMenu1->addSeparator();
    add_item(PopupMenu1, "Exit", "exit", this, &TForm1::exitClick);
    PopupMenu1->addSeparator();
    add_item(PopupMenu1, "Copy To Folder...\tCtrl+Shift+C", "copyToFolder", this, &TForm1::copyToFolderClick);
    add_item(PopupMenu1, "Move To Folder...\tCtrl+Shift+M", "moveToFolder", this, &TForm1::moveToFolderClick);
    add_item(PopupMenu1, "Rename...\tF2", "rename", this, &TForm1::renameClick);
    add_item(PopupMenu1, "Delete\tDel", "delete", this, &TForm1::deleteClick);
    add_item(PopupMenu1, "Delete for Good...\tShift+Del", "deleteForGood", this, &TForm1::deleteForGoodClick);
    add_item(PopupMenu1, "Rotate File Right\tCtrl+R", "rotateFileRight", this, &TForm1::rotateFileRightClick);
    add_item(PopupMenu1, "Rotate File Left\tCtrl+Shift+R", "rotateFileLeft", this, &TForm1::rotateFileLeftClick);
    add_item(PopupMenu1, "Flip File", "flipFile", this, &TForm1::flipFileClick);
    connect(PopupMenu1, &QMenu::aboutToShow, this, &TForm1::PopupMenu1Popup);

    ImageMenu = new QMenu(this);
    add_item(ImageMenu, "24bit Adjustment", "process24", this, &TForm1::process24Click);
    image_items_.rotate = add_item(ImageMenu, "&Rotate 90 deg", "rotate", this, &TForm1::rotateClick);
    image_items_.expand24 = add_item(ImageMenu, "Convert to 24bit", "expand24", this, &TForm1::expand24Click);
    image_items_.invertmono = add_item(ImageMenu, "Invert Monochrome", "invertmono", this, &TForm1::invertmonoClick);
    image_items_.togrey = add_item(ImageMenu, "Convert to &Greyscale", "togrey", this, &TForm1::togreyClick);
    image_items_.mono = add_item(ImageMenu, "Convert to Monochrome", "mono", this, &TForm1::monoClick);
    image_items_.colour256 = colour_menu(ImageMenu, this);
    connect(ImageMenu, &QMenu::aboutToShow, this, &TForm1::ImageMenuPopup);

    TwainMenu = new QMenu(this);
    add_item(TwainMenu, "Acquire", "acquire", this, &TForm1::acquireClick);
    add_item(TwainMenu, "Acquire to Clipboard", "scan", this, &TForm1::scanClick);
    add_item(TwainMenu, "Select Twain Source", "select", this, &TForm1::selectClick);

    EffectMenu = new QMenu(this);
    add_item(EffectMenu, "Warm Image", "warm", this, &TForm1::warmClick);
    add_item(EffectMenu, "Cool Image", "cool", this, &TForm1::coolClick);
    add_item(EffectMenu, "Highlight Enhance", "highlight", this, &TForm1::highlightClick);
    add_item(EffectMenu, "Shadow Enhance", "shadow", this, &TForm1::shadowClick);
    add_item(EffectMenu, "Sepia", "Sepia", this, &TForm1::SepiaClick);
    add_item(EffectMenu, "Emboss", "Emboss", this, &TForm1::EmbossClick);
    add_item(EffectMenu, "Effect 27", "effect27", this, &TForm1::effect27Click);
    add_item(EffectMenu, "Effect 28", "effect28", this, &TForm1::effect28Click);
}

TMButton* TForm1::add_button(QWidget* panel, const char* name, const char* hint, QRect geometry)
{
    auto* button = new TMButton(panel);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(QLatin1String(hint));
    button->setGeometry(geometry);
    button->setStretch(false);
    button->setColorDark(Qt::black);
    button->setColorLight(Qt::white);
    button->setTag(-5);
    return button;
}

void TForm1::create_toolbars()
{
    // The program's icon goes to every window of the viewer, the dialogs it
    // opens included; the pictures are drawn at the screen's own density.
    QApplication::setWindowIcon(artwork::icon(QLatin1String(artwork::kProgramIcon)));
    setWindowIcon(QApplication::windowIcon());
    const qreal ratio = devicePixelRatioF();
    int x = 2;
    for (const ButtonSpec& spec : kTopButtons) {
        TMButton* button = add_button(ui->Panel5, spec.name, spec.hint, QRect(x, 2, 23, 24));
        button->setBitmap(show::glyph(spec.glyph, ratio));
        x += 24;
    }
    const auto top = [this](const char* name) { return ui->Panel5->findChild<TMButton*>(QLatin1String(name)); };
    top("MButton1")->setDropDownMenu(PopupMenu1);
    connect(top("MButton2"), &TMButton::clicked, this, &TForm1::OpenClick);
    connect(top("MButton3"), &TMButton::clicked, this, &TForm1::browseClick);
    connect(top("MButton4"), &TMButton::clicked, this, &TForm1::save1Click);
    connect(top("MButton5"), &TMButton::clicked, this, &TForm1::slideClick);
    connect(top("MButton6"), &TMButton::clicked, this, &TForm1::SpeedButton12Click);
    top("MButton7")->setLatch(true);
    connect(top("MButton7"), &TMButton::clicked, this, &TForm1::SpeedButton13Click);
    connect(top("MButton8"), &TMButton::clicked, this, &TForm1::copyClick);
    connect(top("MButton9"), &TMButton::clicked, this, &TForm1::editasbmpClick);
    connect(top("MButton10"), &TMButton::clicked, this, &TForm1::printClick);
    connect(top("MButton11"), &TMButton::clicked, this, &TForm1::resizeClick);
    top("MButton12")->setDropDownMenu(ImageMenu);
    top("MButton13")->setDropDownMenu(TwainMenu);
    connect(top("MButton14"), &TMButton::clicked, this, &TForm1::SideBarClick);

    TMButton* switch_sides = add_button(ui->Panel6, "Button1", "Switch Sides", QRect(3, 1, 30, 14));
    switch_sides->setBitmap(show::glyph(Glyph::SwitchSides, ratio));
    connect(switch_sides, &TMButton::clicked, this, &TForm1::Button1Click);
    int y = 16;
    for (std::size_t i = 0; i < std::size(kSideButtons); ++i) {
        const ButtonSpec& spec = kSideButtons[i];
        TMButton* button = add_button(ui->Panel6, spec.name, spec.hint, QRect(3, y, 30, 22));
        button->setBitmap(show::glyph(spec.glyph, ratio));
        button->setRockerLR(i < 6);
        y += 22;
    }
    const auto side = [this](const char* name) { return ui->Panel6->findChild<TMButton*>(QLatin1String(name)); };
    connect(side("MButton17"), &TMButton::clicked, this, &TForm1::MButton17Click);
    connect(side("MButton18"), &TMButton::clicked, this, &TForm1::MButton18Click);
    connect(side("MButton21"), &TMButton::clicked, this, &TForm1::MButton21Click);
    connect(side("MButton24"), &TMButton::clicked, this, &TForm1::MButton24Click);
    connect(side("MButton27"), &TMButton::clicked, this, &TForm1::MButton27Click);
    connect(side("MButton30"), &TMButton::clicked, this, &TForm1::MButton30Click);
    connect(side("MButton31"), &TMButton::clicked, this, &TForm1::EqualiseClick);
    // "Special Effects" only drops down its menu: the release that follows
    // the press belongs to the menu, so the button never reports a click of
    // its own and equalising stays on its own button.
    side("MButton32")->setDropDownMenu(EffectMenu);
    connect(side("MButton33"), &TMButton::clicked, this, &TForm1::process24Click);
    ui->Panel6->hide();
}

void TForm1::apply_button_frames()
{
    for (TMButton* button : findChildren<TMButton*>()) {
        if (button->Tag() == -5) button->setBorder(Settings.StdButton);
    }
}

void TForm1::place_side_toolbar()
{
    ui->MiddleLayout->removeWidget(ui->Panel6);
    if (Settings.ToolAlign == 3) ui->MiddleLayout->insertWidget(0, ui->Panel6);
    else ui->MiddleLayout->addWidget(ui->Panel6);
}
