// Desktop integration: the viewer's desktop entries, MIME defaults and its own MIME package.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace show {

// The desktop id every association points at.
inline constexpr const char* kDesktopId = "Show.Image.desktop";
// The entries' icon: the program's own, installed under the user's icon
// theme folder as $XDG_DATA_HOME/icons/hicolor/scalable/apps/<name>.svg.
inline constexpr const char* kIconName = "zarn-show";
QString iconPath();

// $XDG_DATA_HOME (else ~/.local/share) and $XDG_CONFIG_HOME (else ~/.config),
// read afresh on every call.
QString dataHome();
QString configHome();

// One argument of a desktop entry's Exec line: quoted when it holds a
// reserved character, with what the quotes reserve escaped, and '%' doubled.
QString execArgument(const QString& argument);

struct DesktopEntry {
    QString fileName;  // "Show.Image.desktop", "Show.Image.Browse.desktop", ...
    QString text;
};
// The main entry, whose command opens a file and whose actions carry the
// verbs, then one entry per verb, because file managers offer a file's
// applications, not a launcher's actions.
std::vector<DesktopEntry> desktopEntries(const QString& program, const QStringList& mimeTypes);

// The extensions in a format's extension text: pieces of three characters at
// positions 0, 4, 8 and 12 ("ppm,pgm,pbm"), each running to the next
// separator or the end.
QStringList extensionsOf(const QString& extensionText);

// The MIME type of files with this extension: the shared database's, or for
// an extension it does not know, the type our own package gives it.
QString mimeTypeForExtension(const QString& extension);
bool isOwnMimeType(const QString& type);

// Our package for the extensions the shared database lacks; empty when it
// knows them all.
QString mimePackage(const QStringList& extensions);

// `existing` with `desktopId` made the default application of `type` in the
// [Default Applications] group; every other line is kept as it was, and the
// type's earlier applications stay behind ours as fallbacks.
QString withDefaultApplication(const QString& existing, const QString& type, const QString& desktopId);

// The thumbnailer entry through which file managers have zarnconv draw the
// thumbnails of the formats only this viewer reads:
// $XDG_DATA_HOME/thumbnailers/zarn-show.thumbnailer.
QString thumbnailerPath();
QStringList thumbnailerMimeTypes();
QString thumbnailerEntry(const QString& converter);
// Writes the entry for `converter` when that is an executable file, else
// removes the one an earlier start left, which would name a missing program.
bool installThumbnailer(const QString& converter);
void removeThumbnailer();

// Writes `text` to `path` atomically, and only when it differs from what is
// there, so an unchanged entry is not rewritten at every start.
bool writeFileIfChanged(const QString& path, const QString& text);

}  // namespace show
