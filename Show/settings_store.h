// The viewer's settings: the values, their defaults, and the store they live in between runs.
#pragma once

#include <QSettings>
#include <QString>

#include <array>
#include <memory>
#include <optional>

// What the viewer keeps between runs, held by the main window while it runs.
// Each field carries the name of its value in the store.
struct ViewerSettings {
    QString StartDir, SaveDir;
    std::array<QString, 16> Editors;  // by format number; 0 = last "with..." program
    int WindowLeft = 200, WindowTop = 100;
    int PhotoCDSize = 3, JpegQuality = 80, JpegScale = 0;
    bool SingleClick = false, Centre = true, AllowCrop = true;
    int CropStep = 2;
    bool Display = false, ToolBar = true, ToolBar1 = true;
    int ToolAlign = 4;
    bool Progress = true, Overwrite = true, StdButton = false;
    int Slideshow = 10;
    bool Loop = false, SlideBeep = true, SlideValid = true;
    int Scale = 1;
    int PrefsLeft = 200, PrefsTop = 100;
    bool OnlyOne = true;
    int Save = 1;
};

// One INI file per user, "Zarn.ini" in the configuration folder
// ($XDG_CONFIG_HOME, else ~/.config), with a group per program ("Show"), as
// the dialog library keeps "Browser" and "PrintPreview" beside it. Every
// value is text; numbers are decimal, a text beginning "0x" is hexadecimal,
// and anything missing or unreadable reads as its default.
class SettingsStore {
public:
    explicit SettingsStore(const QString& group = QStringLiteral("Show"));
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    static QString filePath();

    // The default of a named value, from the one table of defaults.
    static QString defaultText(const QString& name);

    QString text(const QString& name) const;
    int number(const QString& name) const;
    bool flag(const QString& name) const { return number(name) != 0; }

    void setText(const QString& name, const QString& value);
    void setNumber(const QString& name, int value);
    void setFlag(const QString& name, bool value) { setNumber(name, value ? 1 : 0); }

    // Writes everything set so far to the file.
    bool sync();

    // The decimal or "0x" hexadecimal reading of a text.
    static std::optional<int> parseNumber(const QString& text);

private:
    std::unique_ptr<QSettings> settings_;
};
