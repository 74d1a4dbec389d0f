// The values the viewer keeps between runs, and the one table that reads, writes and limits them.
#pragma once

#include <QString>

#include <array>
#include <limits>
#include <span>
#include <utility>
#include <variant>

class SettingsStore;

// What the viewer keeps between runs, held by the main window while it runs.
// Each field carries the name of its value in the store; its default, and
// the range a stored value is held to, are its row of the table below.
struct ViewerSettings {
    QString StartDir, SaveDir;
    std::array<QString, 17> Editors;  // by format number; 0 = last "with..." program
    int WindowLeft{}, WindowTop{};
    int PhotoCDSize{}, JpegQuality{}, JpegScale{};
    bool SingleClick{}, Centre{}, AllowCrop{};
    int CropStep{};
    bool Display{}, ToolBar{}, ToolBar1{};
    int ToolAlign{};
    bool Progress{}, Overwrite{}, StdButton{};
    int Slideshow{};
    bool Loop{}, SlideBeep{}, SlideValid{};
    int Scale{};
    int PrefsLeft{}, PrefsTop{};
    bool OnlyOne{};
    bool AskSave{};  // ask before a changed picture is dropped
    int Save{};
    bool FitLarge{};       // a picture larger than the screen opens fitted to it
    bool WheelZoom{};      // the wheel zooms without Ctrl
    QString Destinations;  // the last folders copied or moved to (controls::storedDestinations)
    bool operator==(const ViewerSettings&) const = default;
};

namespace show {

// What a stored number outside its row's range becomes: the nearest end,
// or the default where only the listed choices mean anything.
enum class OutOfRange { Clamp, Default };

// One value of the "Show" group: its name in the store, the field it fills,
// its default as the file would hold it, and the numbers it may take.
// Numbers and flags are decimal or "0x" hexadecimal text; a value missing
// or unreadable is the default.
struct SettingRow {
    const char* key;
    std::variant<int ViewerSettings::*, bool ViewerSettings::*, QString ViewerSettings::*> member;
    const char* fallback;
    int min = std::numeric_limits<int>::min();
    int max = std::numeric_limits<int>::max();
    OutOfRange outside = OutOfRange::Clamp;
};

std::span<const SettingRow> settingRows();

// The numbers a field may take, for the preferences' limits.
std::pair<int, int> settingRange(int ViewerSettings::*member);

// Every row's field from the store, held to its range.
void readSettings(const SettingsStore& store, ViewerSettings& settings);
// Every row's field into the store, as text.
void writeSettings(SettingsStore& store, const ViewerSettings& settings);

}  // namespace show
