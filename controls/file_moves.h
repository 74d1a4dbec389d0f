// Moving picture files about for the viewer and the browser: to the trash and back, renaming,
// copying and moving into folders without overwriting by accident, and the questions asked first.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace controls {

enum class FileResult { Done, Exists, Failed };

// A file put in the desktop's trash: where it was and where it lies now.
struct TrashedFile {
    QString original;
    QString inTrash;
};

std::optional<TrashedFile> moveToTrash(const QString& path);
// Back to its old place, and its record in the trash removed. Exists when
// something has taken the name meanwhile: nothing is overwritten.
FileResult restoreFromTrash(const TrashedFile& trashed);

// Renames `from` to `to` in one step that refuses (Exists) when `to` is
// there, so nothing can slip in between a check and the rename.
FileResult renameNoReplace(const QString& from, const QString& to);

// The file's copy or the file itself into `folder` under its own name. An
// existing file of that name is replaced only with `replace` (else Exists).
// A copy is written to a temporary name there first and renamed into place;
// a move across file systems copies, then removes the original.
FileResult copyIntoFolder(const QString& path, const QString& folder, bool replace);
FileResult moveIntoFolder(const QString& path, const QString& folder, bool replace);

// The last folders copied or moved to, newest first, as one stored text.
inline constexpr int kDestinationCount = 5;
QStringList readDestinations(const QString& stored);
QString storedDestinations(const QStringList& destinations);
// `folder` first, then the others, at most kDestinationCount.
QStringList withDestination(const QStringList& destinations, const QString& folder);

// The questions, asked over `parent`.
// "Delete NAME for good?", No the default.
bool confirmDeleteForGood(QWidget* parent, const QString& name);
// The new name, the old one offered with its base selected; nothing when
// cancelled or unchanged. A name with a slash, "." or ".." is refused with a
// message and asked for again.
std::optional<QString> askNewName(QWidget* parent, const QString& name);
bool confirmReplace(QWidget* parent, const QString& name, const QString& folder);
// A folder from a directory chooser that offers `recent`; empty when cancelled.
QString chooseFolder(QWidget* parent, const QString& title, const QStringList& recent);
// Tells the user why an operation on `name` did not happen.
void reportFailure(QWidget* parent, const QString& what, const QString& name);

}  // namespace controls
