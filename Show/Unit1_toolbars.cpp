// TForm1: the menus and the two toolbars, and which side the side toolbar sits on.
#include "Unit1.h"

#include "glyphs.h"
#include "mbutton.h"
#include "ui_Unit1.h"

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

QMenu* colour_menu(QMenu* parent)
{
    QMenu* menu = parent->addMenu(QStringLiteral("Convert to 256 Colour"));
    menu->addAction(QStringLiteral("Ordered Dither"));
    menu->addAction(QStringLiteral("Error Diffused"));
    return menu;
}

}  // namespace

void TForm1::create_menus()
{
    // Items whose commands have not arrived yet are in place and do nothing.
    PopupMenu1 = new QMenu(this);
    QAction* crop = PopupMenu1->addAction(QStringLiteral("Crop to Selection"));
    crop->setObjectName(QStringLiteral("crop"));
    crop->setVisible(false);
    connect(PopupMenu1->addAction(QStringLiteral("&Open New Image")), &QAction::triggered, this, &TForm1::OpenClick);
    PopupMenu1->addAction(QStringLiteral("&Browse"));
    PopupMenu1->addAction(QStringLiteral("Slideshow"));
    PopupMenu1->addAction(QStringLiteral("Load from Clipboard"));
    QMenu* twain = PopupMenu1->addMenu(QStringLiteral("Twain"));
    twain->addAction(QStringLiteral("Select Source"));
    twain->addAction(QStringLiteral("Acquire"));
    twain->addAction(QStringLiteral("Acquire to Clipboard"));
    QMenu* image = PopupMenu1->addMenu(QStringLiteral("Image"));
    image->addAction(QStringLiteral("Resize"));
    image->addAction(QStringLiteral("Convert to 24bit"));
    image->addAction(QStringLiteral("Convert to &Greyscale"));
    image->addAction(QStringLiteral("Convert to Monochrome"));
    colour_menu(image);
    image->addAction(QStringLiteral("&Rotate 90 degrees"));
    image->addAction(QStringLiteral("Invert Monochrome"));
    image->addAction(QStringLiteral("Update "));
    QMenu* edit = PopupMenu1->addMenu(QStringLiteral("&Edit"));
    edit->addAction(QStringLiteral("Displayed Image"));
    edit->addAction(QStringLiteral("Edit Image"));
    edit->addAction(QStringLiteral("Original  Image with..."));
    edit->addAction(QStringLiteral("Select Editor"));
    PopupMenu1->addAction(QStringLiteral("&Copy to Clipboard"));
    PopupMenu1->addAction(QStringLiteral("&Save"));
    PopupMenu1->addAction(QStringLiteral("&Print"));
    PopupMenu1->addSeparator();
    connect(PopupMenu1->addAction(QStringLiteral("&Top Toolbar On/Off")), &QAction::triggered, this,
            &TForm1::TopBarClick);
    connect(PopupMenu1->addAction(QStringLiteral("&Lower Toolbar On/Off")), &QAction::triggered, this,
            &TForm1::SideBarClick);
    PopupMenu1->addAction(QStringLiteral("&Preferences "));
    PopupMenu1->addSeparator();
    connect(PopupMenu1->addAction(QStringLiteral("Exit")), &QAction::triggered, this, &QWidget::close);

    ImageMenu = new QMenu(this);
    ImageMenu->addAction(QStringLiteral("24bit Adjustment"));
    ImageMenu->addAction(QStringLiteral("&Rotate 90 deg"));
    ImageMenu->addAction(QStringLiteral("Convert to 24bit"));
    ImageMenu->addAction(QStringLiteral("Invert Monochrome"));
    ImageMenu->addAction(QStringLiteral("Convert to &Greyscale"));
    ImageMenu->addAction(QStringLiteral("Convert to Monochrome"));
    colour_menu(ImageMenu);

    TwainMenu = new QMenu(this);
    TwainMenu->addAction(QStringLiteral("Acquire"));
    TwainMenu->addAction(QStringLiteral("Acquire to Clipboard"));
    TwainMenu->addAction(QStringLiteral("Select Twain Source"));

    EffectMenu = new QMenu(this);
    for (const char* effect : {"Warm Image", "Cool Image", "Highlight Enhance", "Shadow Enhance", "Sepia", "Emboss",
                               "Effect 27", "Effect 28"})
        EffectMenu->addAction(QString::fromLatin1(effect));
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
    int x = 2;
    for (const ButtonSpec& spec : kTopButtons) {
        TMButton* button = add_button(ui->Panel5, spec.name, spec.hint, QRect(x, 2, 23, 24));
        button->setBitmap(show::glyph(spec.glyph));
        x += 24;
    }
    const auto top = [this](const char* name) { return ui->Panel5->findChild<TMButton*>(QLatin1String(name)); };
    top("MButton1")->setDropDownMenu(PopupMenu1);
    connect(top("MButton2"), &TMButton::clicked, this, &TForm1::OpenClick);
    top("MButton7")->setLatch(true);
    connect(top("MButton7"), &TMButton::clicked, this, &TForm1::SpeedButton13Click);
    top("MButton12")->setDropDownMenu(ImageMenu);
    top("MButton13")->setDropDownMenu(TwainMenu);
    connect(top("MButton14"), &TMButton::clicked, this, &TForm1::SideBarClick);

    TMButton* switch_sides = add_button(ui->Panel6, "Button1", "Switch Sides", QRect(3, 1, 30, 14));
    switch_sides->setBitmap(show::glyph(Glyph::SwitchSides));
    connect(switch_sides, &TMButton::clicked, this, &TForm1::Button1Click);
    int y = 16;
    for (std::size_t i = 0; i < std::size(kSideButtons); ++i) {
        const ButtonSpec& spec = kSideButtons[i];
        TMButton* button = add_button(ui->Panel6, spec.name, spec.hint, QRect(3, y, 30, 22));
        button->setBitmap(show::glyph(spec.glyph));
        button->setRockerLR(i < 6);
        y += 22;
    }
    ui->Panel6->findChild<TMButton*>(QStringLiteral("MButton32"))->setDropDownMenu(EffectMenu);
    ui->Panel6->hide();
}

void TForm1::place_side_toolbar()
{
    ui->MiddleLayout->removeWidget(ui->Panel6);
    if (Settings.ToolAlign == 3) ui->MiddleLayout->insertWidget(0, ui->Panel6);
    else ui->MiddleLayout->addWidget(ui->Panel6);
}
