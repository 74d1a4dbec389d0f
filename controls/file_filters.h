// The image library's texts as Qt wants them: its strings, its filters as name filters, its save names.
#pragma once

#include <QString>
#include <QStringList>

namespace controls {

// A text the library hands out, in the local encoding; empty for none.
QString library_text(const char* text);

// "Description (*.a *.b)" entries from the library's bar-separated
// "description|pattern|" filter text, for every file dialog that lists its formats.
QStringList nameFilters(const QString& barFilter);

// The patterns of a semicolon-separated list, "*.*" as "*": the library
// reads files by their content, and many have no dot in their names.
QStringList filePatterns(const QString& patternList);

// The name the library writes for save type `saveType` (counted from 1) of
// its save filter text: the extension of `file` (the last dot after the last
// slash) replaced by the type's own, taken from its "*.ext" pattern, or
// appended when the name has none. `file` as it is for a type the filter
// does not list with such a pattern.
QString nameForSaveType(const QString& file, const QString& saveFilter, int saveType);

}  // namespace controls
