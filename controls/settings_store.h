// The settings store of the viewer and the dialog library: one INI file, a group per window.
#pragma once

#include <QSettings>
#include <QString>

#include <memory>
#include <optional>

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

    // The default of a named value of the dialog library's groups, from its
    // one table of defaults; empty for a name it does not list.
    static QString defaultText(const QString& group, const QString& name);
    QString defaultText(const QString& name) const { return defaultText(group_, name); }

    QString text(const QString& name) const { return text(name, defaultText(name)); }
    // The stored text, or `fallback` when there is none.
    QString text(const QString& name, const QString& fallback) const;
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
    QString group_;
    std::unique_ptr<QSettings> settings_;
};
