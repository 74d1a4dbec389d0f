// The viewer's settings store over QSettings, with every default in one table.
#include "settings_store.h"

#include <QDir>

#include <cstdlib>

namespace {

struct Default {
    const char* name;
    const char* value;
};

// Every value of the "Show" group and its default; "StartDir" and "SaveDir"
// default to the home folder (filled in by defaultText), editors to nothing.
constexpr Default kDefaults[] = {
    {"StartDir", ""},     {"SaveDir", ""},       {"WindowLeft", "200"}, {"WindowTop", "100"},
    {"PhotoCDSize", "3"}, {"JpegQuality", "80"}, {"JpegScale", "0"},    {"SingleClick", "0"},
    {"Centre", "1"},      {"AllowCrop", "1"},    {"CropStep", "2"},     {"Display", "0"},
    {"ToolBar", "1"},     {"ToolBar1", "1"},     {"ToolAlign", "4"},    {"Progress", "1"},
    {"Overwrite", "1"},   {"StdButton", "0"},    {"Slideshow", "10"},   {"Loop", "0"},
    {"SlideBeep", "1"},   {"SlideValid", "1"},   {"Scale", "1"},        {"PrefsLeft", "200"},
    {"PrefsTop", "100"},  {"OnlyOne", "1"},      {"Save", "1"},         {"Program", ""},
};

}  // namespace

SettingsStore::SettingsStore(const QString& group)
    : settings_(std::make_unique<QSettings>(filePath(), QSettings::IniFormat))
{
    settings_->beginGroup(group);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::filePath()
{
    // Read the variable on every call: QSettings' own per-user path is fixed
    // once per process.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const QString folder = (config && *config == '/') ? QFile::decodeName(config) : QDir::homePath() + "/.config";
    return folder + "/Zarn.ini";
}

QString SettingsStore::defaultText(const QString& name)
{
    if (name == QLatin1String("StartDir") || name == QLatin1String("SaveDir")) return QDir::homePath();
    for (const Default& entry : kDefaults) {
        if (name == QLatin1String(entry.name)) return QString::fromLatin1(entry.value);
    }
    return {};
}

std::optional<int> SettingsStore::parseNumber(const QString& text)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    int value = 0;
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) value = trimmed.mid(2).toInt(&ok, 16);
    else value = trimmed.toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return value;
}

QString SettingsStore::text(const QString& name) const
{
    const QVariant value = settings_->value(name);
    if (!value.isValid()) return defaultText(name);
    // A text with commas that was edited in by hand, unquoted, reads back as a list.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(',');
    return value.toString();
}

int SettingsStore::number(const QString& name) const
{
    if (const std::optional<int> value = parseNumber(text(name))) return *value;
    return parseNumber(defaultText(name)).value_or(0);
}

void SettingsStore::setText(const QString& name, const QString& value)
{
    settings_->setValue(name, value);
}

void SettingsStore::setNumber(const QString& name, int value)
{
    settings_->setValue(name, QString::number(value));
}

bool SettingsStore::sync()
{
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}
