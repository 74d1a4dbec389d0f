// The image library's texts as Qt wants them: its strings, its filters as name filters, its save names.
#include "file_filters.h"

#include <algorithm>

namespace controls {

QString library_text(const char* text)
{
    return text ? QString::fromLocal8Bit(text) : QString();
}

QStringList nameFilters(const QString& barFilter)
{
    QStringList parts = barFilter.split('|');
    if (!parts.isEmpty() && parts.back().isEmpty()) parts.removeLast();
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts.at(i) + QStringLiteral(" (") + filePatterns(parts.at(i + 1)).join(' ') + ')';
    return filters;
}

QStringList filePatterns(const QString& patternList)
{
    QStringList patterns = patternList.split(';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns)
        if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
    return patterns;
}

QString nameForSaveType(const QString& file, const QString& saveFilter, int saveType)
{
    const QStringList parts = saveFilter.split('|');
    const qsizetype at = qsizetype(saveType) * 2 - 1;
    if (saveType < 1 || at >= parts.size()) return file;
    const QString extension = parts.at(at).mid(1);
    const bool plain = parts.at(at).startsWith(QLatin1String("*.")) && extension.size() > 1 &&
                       std::none_of(extension.begin(), extension.end(),
                                    [](QChar c) { return c == '*' || c == '?' || c == ';' || c == '/'; });
    if (!plain) return file;
    // Where the library's writer puts it: at the last dot of the name part,
    // or at the end when the name has none (or starts with its only dot).
    const qsizetype name = file.lastIndexOf('/') + 1;
    const qsizetype dot = file.lastIndexOf('.');
    return file.left(dot > name ? dot : file.size()) + extension;
}

}  // namespace controls
