// The "Show" group's table of settings, and reading and writing through it.
#include "viewer_settings.h"

#include "settings_store.h"

#include <algorithm>
#include <array>
#include <type_traits>

namespace show {
namespace {

using S = ViewerSettings;

// In the order they are written. The window's place is the one it has at
// close; the folders' "" is the home folder (dialogFolder). The editors and
// the program's own path are named per format and written by the main window.
const std::array kRows{
    SettingRow{"WindowTop", &S::WindowTop, "100"},
    SettingRow{"WindowLeft", &S::WindowLeft, "200"},
    SettingRow{"PhotoCDSize", &S::PhotoCDSize, "3", 1, 3},
    SettingRow{"SingleClick", &S::SingleClick, "0"},
    SettingRow{"Centre", &S::Centre, "1"},
    SettingRow{"ToolBar", &S::ToolBar, "1"},
    SettingRow{"ToolBar1", &S::ToolBar1, "1"},
    // Only left (3) and right (4) exist.
    SettingRow{"ToolAlign", &S::ToolAlign, "4", 3, 4, OutOfRange::Default},
    SettingRow{"AllowCrop", &S::AllowCrop, "1"},
    SettingRow{"CropStep", &S::CropStep, "2", 1, 100},
    SettingRow{"Save", &S::Save, "1"},
    SettingRow{"JpegQuality", &S::JpegQuality, "80", 25, 95},
    SettingRow{"JpegScale", &S::JpegScale, "0", 0, 2},
    SettingRow{"Display", &S::Display, "0"},
    SettingRow{"Overwrite", &S::Overwrite, "1"},
    SettingRow{"Progress", &S::Progress, "1"},
    SettingRow{"Slideshow", &S::Slideshow, "10", 5, 30},
    SettingRow{"OnlyOne", &S::OnlyOne, "1"},
    SettingRow{"AskSave", &S::AskSave, "1"},
    SettingRow{"StdButton", &S::StdButton, "0"},
    SettingRow{"Loop", &S::Loop, "0"},
    SettingRow{"SlideBeep", &S::SlideBeep, "1"},
    SettingRow{"SlideValid", &S::SlideValid, "1"},
    // The picture is divided by the scale: anything but half size is full size.
    SettingRow{"Scale", &S::Scale, "1", 1, 2, OutOfRange::Default},
    SettingRow{"FitLarge", &S::FitLarge, "1"},
    SettingRow{"WheelZoom", &S::WheelZoom, "0"},
    SettingRow{"PrefsTop", &S::PrefsTop, "100"},
    SettingRow{"PrefsLeft", &S::PrefsLeft, "200"},
    SettingRow{"StartDir", &S::StartDir, ""},
    SettingRow{"SaveDir", &S::SaveDir, ""},
    SettingRow{"Destinations", &S::Destinations, ""},
};

int stored_number(const SettingsStore& store, const SettingRow& row)
{
    const int fallback = SettingsStore::parseNumber(QString::fromLatin1(row.fallback)).value_or(0);
    const QString key = QString::fromLatin1(row.key);
    const int value = SettingsStore::parseNumber(store.text(key, QString::fromLatin1(row.fallback))).value_or(fallback);
    if (row.outside == OutOfRange::Clamp) return std::clamp(value, row.min, row.max);
    return value < row.min || value > row.max ? fallback : value;
}

}  // namespace

std::span<const SettingRow> settingRows()
{
    return kRows;
}

std::pair<int, int> settingRange(int ViewerSettings::*member)
{
    for (const SettingRow& row : kRows) {
        if (const auto* number = std::get_if<int ViewerSettings::*>(&row.member); number && *number == member)
            return {row.min, row.max};
    }
    return {std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
}

void readSettings(const SettingsStore& store, ViewerSettings& settings)
{
    for (const SettingRow& row : kRows) {
        std::visit(
            [&](auto member) {
                using Field = std::remove_reference_t<decltype(settings.*member)>;
                if constexpr (std::is_same_v<Field, QString>)
                    settings.*member = store.text(QString::fromLatin1(row.key), QString::fromLatin1(row.fallback));
                else if constexpr (std::is_same_v<Field, bool>) settings.*member = stored_number(store, row) != 0;
                else settings.*member = stored_number(store, row);
            },
            row.member);
    }
}

void writeSettings(SettingsStore& store, const ViewerSettings& settings)
{
    for (const SettingRow& row : kRows) {
        const QString key = QString::fromLatin1(row.key);
        std::visit(
            [&](auto member) {
                using Field = std::remove_cvref_t<decltype(settings.*member)>;
                if constexpr (std::is_same_v<Field, QString>) store.setText(key, settings.*member);
                else if constexpr (std::is_same_v<Field, bool>) store.setFlag(key, settings.*member);
                else store.setNumber(key, settings.*member);
            },
            row.member);
    }
}

}  // namespace show
