// TForm1: reading the settings at creation and writing them back at close.
#include "Unit1.h"

#include "mbutton.h"
#include "picture_load.h"
#include "ui_Unit1.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace {

QString editor_value(int n)
{
    const char* extension = n == 0 ? "" : _Pic_Extension(n);
    return QStringLiteral("Editor-") + QString::fromLocal8Bit(extension ? extension : "");
}

// A stored position on no screen (one since unplugged, a hand-edited file)
// would open the window where nobody sees it: it is brought onto the
// primary screen, as near the stored place as the window fits.
QPoint on_a_screen(QPoint position, QSize size)
{
    if (QGuiApplication::screenAt(position)) return position;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return position;
    const QRect area = screen->availableGeometry();
    const int x = std::clamp(position.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    const int y = std::clamp(position.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    return QPoint(x, y);
}

}  // namespace

void TForm1::ReadSettings()
{
    store_ = std::make_unique<SettingsStore>();
    SettingsStore& store = *store_;
    Settings.StartDir = dialogFolder(store.text(QStringLiteral("StartDir")));
    OpenDialog1.setup([dir = Settings.StartDir](QFileDialog& dialog) { dialog.setDirectory(dir); });
    Settings.SaveDir = dialogFolder(store.text(QStringLiteral("SaveDir")));
    SaveDialog1.setup([dir = Settings.SaveDir](QFileDialog& dialog) { dialog.setDirectory(dir); });
    for (int n = 0; n <= FormatCount && n < int(Settings.Editors.size()); ++n)
        Settings.Editors[std::size_t(n)] = store.text(editor_value(n));
    Settings.WindowLeft = store.number(QStringLiteral("WindowLeft"));
    Settings.WindowTop = store.number(QStringLiteral("WindowTop"));
    move(on_a_screen(QPoint(Settings.WindowLeft, Settings.WindowTop), size()));
    // Numbers are held to the ranges the preferences offer; a stored value
    // outside them (a hand-edited file) would reach the caption, the
    // selection step or the library as it stands.
    const show::LoadOptions load = show::storedLoadOptions(store);
    Settings.PhotoCDSize = load.photoCdSize;
    Settings.JpegQuality = std::clamp(store.number(QStringLiteral("JpegQuality")), 25, 95);
    Settings.JpegScale = load.jpegScale;
    Settings.SingleClick = store.flag(QStringLiteral("SingleClick"));
    Settings.Centre = store.flag(QStringLiteral("Centre"));
    Settings.AllowCrop = store.flag(QStringLiteral("AllowCrop"));
    Settings.CropStep = std::clamp(store.number(QStringLiteral("CropStep")), 1, 100);
    Settings.Display = load.reduce;
    Settings.ToolBar = store.flag(QStringLiteral("ToolBar"));
    Settings.ToolBar1 = store.flag(QStringLiteral("ToolBar1"));
    // Only left (3) and right (4) exist.
    Settings.ToolAlign = store.number(QStringLiteral("ToolAlign")) == 3 ? 3 : 4;
    Settings.Progress = store.flag(QStringLiteral("Progress"));
    Settings.Overwrite = store.flag(QStringLiteral("Overwrite"));
    Settings.StdButton = store.flag(QStringLiteral("StdButton"));
    Settings.Slideshow = std::clamp(store.number(QStringLiteral("Slideshow")), 5, 30);
    Settings.Loop = store.flag(QStringLiteral("Loop"));
    Settings.SlideBeep = store.flag(QStringLiteral("SlideBeep"));
    Settings.SlideValid = store.flag(QStringLiteral("SlideValid"));
    // The picture is divided by the scale: anything but half size is full size.
    Settings.Scale = store.number(QStringLiteral("Scale")) == 2 ? 2 : 1;
    Settings.PrefsLeft = store.number(QStringLiteral("PrefsLeft"));
    Settings.PrefsTop = store.number(QStringLiteral("PrefsTop"));
    Settings.OnlyOne = store.flag(QStringLiteral("OnlyOne"));
    Settings.AskSave = store.flag(QStringLiteral("AskSave"));
    if (auto* full_half = findChild<TMButton*>(QStringLiteral("MButton7"))) full_half->setDown(Settings.Scale == 2);
    apply_button_frames();  // the buttons exist by now; no load need come first
}

void TForm1::WriteSettings()
{
    if (!store_) return;
    SettingsStore& store = *store_;
    // The dialogs remember where the user last was; one not made yet (the
    // window closed as it started) keeps what was read.
    // The save folder is kept by SavePicture once a save there succeeded.
    if (OpenDialog1.made() && OpenDialog1) Settings.StartDir = dialogFolder(OpenDialog1->directory().absolutePath());
    if (SaveDialog1.made() && SaveDialog1) {
        const qsizetype save_entry = SaveDialog1->nameFilters().indexOf(SaveDialog1->selectedNameFilter());
        if (save_entry >= 0) Settings.Save = int(save_entry) + 1;
    }

    store.setNumber(QStringLiteral("WindowTop"), y());
    store.setNumber(QStringLiteral("WindowLeft"), x());
    store.setNumber(QStringLiteral("PhotoCDSize"), Settings.PhotoCDSize);
    store.setFlag(QStringLiteral("SingleClick"), Settings.SingleClick);
    store.setFlag(QStringLiteral("Centre"), Settings.Centre);
    store.setFlag(QStringLiteral("ToolBar"), Settings.ToolBar);
    store.setFlag(QStringLiteral("ToolBar1"), Settings.ToolBar1);
    store.setNumber(QStringLiteral("ToolAlign"), Settings.ToolAlign);
    store.setFlag(QStringLiteral("AllowCrop"), Settings.AllowCrop);
    store.setNumber(QStringLiteral("CropStep"), Settings.CropStep);
    store.setNumber(QStringLiteral("Save"), Settings.Save);
    store.setNumber(QStringLiteral("JpegQuality"), Settings.JpegQuality);
    store.setNumber(QStringLiteral("JpegScale"), Settings.JpegScale);
    store.setFlag(QStringLiteral("Display"), Settings.Display);
    store.setFlag(QStringLiteral("Overwrite"), Settings.Overwrite);
    store.setFlag(QStringLiteral("Progress"), Settings.Progress);
    store.setNumber(QStringLiteral("Slideshow"), Settings.Slideshow);
    store.setFlag(QStringLiteral("OnlyOne"), Settings.OnlyOne);
    store.setFlag(QStringLiteral("AskSave"), Settings.AskSave);
    store.setFlag(QStringLiteral("StdButton"), Settings.StdButton);
    store.setFlag(QStringLiteral("Loop"), Settings.Loop);
    store.setFlag(QStringLiteral("SlideBeep"), Settings.SlideBeep);
    store.setFlag(QStringLiteral("SlideValid"), Settings.SlideValid);
    store.setNumber(QStringLiteral("Scale"), Settings.Scale);
    store.setNumber(QStringLiteral("PrefsTop"), Settings.PrefsTop);
    store.setNumber(QStringLiteral("PrefsLeft"), Settings.PrefsLeft);
    store.setText(QStringLiteral("StartDir"), Settings.StartDir);
    store.setText(QStringLiteral("SaveDir"), Settings.SaveDir);
    store.setText(QStringLiteral("Program"), QCoreApplication::applicationFilePath());
    for (int n = 0; n <= FormatCount && n < int(Settings.Editors.size()); ++n)
        store.setText(editor_value(n), Settings.Editors[std::size_t(n)]);
    store.sync();
}
