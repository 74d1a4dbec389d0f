// TForm1: reading the settings at creation, writing them back at close, and the picture the preferences preview.
#include "Unit1.h"

#include "mbutton.h"
#include "picturebox.h"
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

// Wayland gives a client neither its window's place nor a way to set it.
bool on_wayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace

void TForm1::ReadSettings()
{
    store_ = std::make_unique<SettingsStore>();
    SettingsStore& store = *store_;
    // Numbers are held to the ranges the preferences offer; a stored value
    // outside them (a hand-edited file) would reach the caption, the
    // selection step or the library as it stands.
    show::readSettings(store, Settings);
    Settings.StartDir = dialogFolder(Settings.StartDir);
    OpenDialog1.setup([dir = Settings.StartDir](QFileDialog& dialog) { dialog.setDirectory(dir); });
    Settings.SaveDir = dialogFolder(Settings.SaveDir);
    SaveDialog1.setup([dir = Settings.SaveDir](QFileDialog& dialog) { dialog.setDirectory(dir); });
    for (int n = 0; n <= FormatCount && n < int(Settings.Editors.size()); ++n)
        Settings.Editors[std::size_t(n)] = store.text(editor_value(n));
    // Under Wayland the compositor places the window; a client's move is
    // ignored there, and the stored place is left for the next X11 session.
    if (!on_wayland()) move(on_a_screen(QPoint(Settings.WindowLeft, Settings.WindowTop), size()));
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
    if (!on_wayland()) {
        Settings.WindowLeft = x();
        Settings.WindowTop = y();
    }
    show::writeSettings(store, Settings);
    store.setText(QStringLiteral("Program"), QCoreApplication::applicationFilePath());
    for (int n = 0; n <= FormatCount && n < int(Settings.Editors.size()); ++n)
        store.setText(editor_value(n), Settings.Editors[std::size_t(n)]);
    store.sync();
}

QImage TForm1::shownPicture() const
{
    return ui->Image1->Picture();
}
