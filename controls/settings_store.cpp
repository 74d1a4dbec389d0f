// The settings store over QSettings, with the dialog library's defaults in one table.
#include "settings_store.h"

#include <QDir>

#include <cstdlib>

namespace {

struct Default {
    const char* group;
    const char* name;
    const char* value;
};

// The dialog library's groups and their defaults. The viewer's own group,
// "Show", keeps its defaults in its table of settings, which reads every
// value with its default given (text with a fallback).
constexpr Default kDefaults[] = {
    {"Browser", "WindowTop", "128"},
    {"Browser", "WindowLeft", "196"},
    {"Browser", "WindowWidth", "466"},
    {"Browser", "WindowHeight", "251"},
    {"Browser", "TreeWidth", "166"},
    {"Browser", "ListWidth", "105"},
    {"Browser", "Grid", "0"},
    {"PrintPreview", "WindowLeft", "20"},
    {"PrintPreview", "WindowTop", "10"},
    {"PrintPreview", "ImageLeft", "20"},
    {"PrintPreview", "ImageTop", "10"},
    {"PrintPreview", "Grid", "0"},
    {"PrintPreview", "Proportional", "0"},
    {"PrintPreview", "Metric", "0"},
};

}  // namespace

SettingsStore::SettingsStore(const QString& group)
    : group_(group), settings_(std::make_unique<QSettings>(filePath(), QSettings::IniFormat))
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

QString SettingsStore::defaultText(const QString& group, const QString& name)
{
    for (const Default& entry : kDefaults) {
        if (group == QLatin1String(entry.group) && name == QLatin1String(entry.name))
            return QString::fromLatin1(entry.value);
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

QString SettingsStore::text(const QString& name, const QString& fallback) const
{
    const QVariant value = settings_->value(name);
    if (!value.isValid()) return fallback;
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
